#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 KorVan. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: units
short_description: Make every video extender unit on a host run the carried firmware
version_added: 1.0.0
description:
  - Runs C(RavelinFwUpgrade --all) on the host, which searches every serial port (or the ports named) at the
    same time and updates each unit found that does not run the firmware versions the tool carries.
  - A unit that already runs the carried versions, or newer ones, is left alone unless I(allow_reinstall) or
    I(allow_older) says otherwise.
  - The outcome is read from the run report that the tool writes (C(--report)), never from its console.
  - The task fails when any unit was not updated, naming each such unit, its port and why; the records of
    every port are returned all the same.
  - In check mode the tool identifies every unit instead (C(--all --info)), writes nothing to any, and the
    task says which units the update would write.
author:
  - KorVan firmware tools (@korvan)
options:
  ports:
    description:
      - The ports to search, in this order; each as the tool's C(--port) takes it (C(3), C(COM3), a device
        path, a C(/dev/serial/by-id/) name).
      - Left out, every serial port of the host is searched, and a port where no unit answers is an empty
        slot, not a failure.
      - A port named that does not exist, or on which no unit answers, fails the task.
      - The same port may not be named twice.
    type: list
    elements: str
  allow_reinstall:
    description:
      - Update a unit that already runs the carried versions all the same.
    type: bool
    default: false
  allow_older:
    description:
      - Install the carried versions on a unit that runs newer ones.
    type: bool
    default: false
  retries:
    description:
      - How many more times a port whose update failed is run again from its search (0 to 5).
    type: int
    default: 0
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - ravelin.fwupgrade.tool_run
attributes:
  check_mode:
    support: full
    details: Identifies every unit (C(--all --info)) and writes nothing to any.
  diff_mode:
    support: full
    details: One line a unit with its versions before, and after (or, in check mode, those it would get).
  platform:
    platforms: posix
notes:
  - The tool runs with the module's environment, so a play's C(environment) reaches it (for example
    C(RAVELIN_COM_DIR) for simulated units).
  - An update of one unit takes several minutes and every unit of a host is updated at the same time; run the
    task with C(async) long enough for the slowest unit and its retries.
  - A run stopped before its end (its report says C(complete) is false) fails the task; run it again for the
    units not updated.
seealso:
  - module: ravelin.fwupgrade.units_info
'''

EXAMPLES = r'''
- name: Update every unit of the rack
  ravelin.fwupgrade.units:
    retries: 1
  async: 1080
  poll: 5

- name: See which units an update would write, and their versions
  ravelin.fwupgrade.units:
    ports:
      - /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5XK3RJT-if00-port0
      - /dev/ttyUSB1
  check_mode: true
  diff: true

- name: Put the carried versions back on every unit, newer ones too
  ravelin.fwupgrade.units:
    allow_reinstall: true
    allow_older: true
    log_dir: /var/log/ravelin
    report: /var/log/ravelin/last-run.json
'''

RETURN = r'''
units:
  description:
    - The record of every port searched, as the report has it, in port order; also when the task fails.
    - Members not listed here may appear in later versions of the tool.
  returned: when the tool wrote a report
  type: list
  elements: dict
  contains:
    port:
      description: The tool's name of the port.
      type: str
      sample: COM3
    path:
      description: The device the tool opens.
      type: str
      sample: /dev/ttyUSB0
    identity:
      description: What the system says of the device (C(by_id), C(usb_vendor), C(serial_number), ...).
      type: dict
    type:
      description: C(TX) or C(RX); absent when not identified.
      type: str
    versions_before:
      description: The versions the unit reported first (C(mcu), C(logic), C(device)); null when not read.
      type: dict
    versions_after:
      description: The versions it reported after its reboot; null when not read.
      type: dict
    result:
      description: >-
        C(updated), C(up-to-date), C(newer), C(not-found), C(no-such-port), C(failed), C(not-confirmed),
        C(not-verified), C(stopped); C(identified) in check mode.
      type: str
      sample: updated
    verdict:
      description: C(up to date), C(update needed), C(newer than carried), C(not supported) or C(no unit), where known.
      type: str
    written:
      description: Whether any image byte was sent to the unit.
      type: bool
    message:
      description: Why the port failed, in words; empty otherwise.
      type: str
    attempts:
      description: 1, plus the retries used.
      type: int
    trace:
      description: The trace of the port's last try on the host.
      type: str
  sample:
    - port: COM1
      type: TX
      versions_before: {mcu: 61.01.01, logic: XC7A75 1.02, device: 7}
      versions_after: {mcu: 61.01.02, logic: XC7A75 1.02, device: 7}
      result: updated
      verdict: update needed
      written: true
      message: ''
      attempts: 1
counts:
  description: C(ports), and how many ports had each result.
  returned: when the tool wrote a report
  type: dict
  sample: {ports: 5, updated: 3, not-found: 2}
carried:
  description: The versions of the images the tool carries (C(mcu), C(logic), C(device), C(logic_tx), C(logic_rx)).
  returned: when the tool wrote a report
  type: dict
report:
  description: The path of the run's report on the host.
  returned: always
  type: str
  sample: /var/tmp/ravelin-fwupgrade-report.json
exit_status:
  description: The tool's exit status.
  returned: when the tool ran
  type: int
  sample: 0
cmd:
  description: The tool's command line.
  returned: when the tool ran
  type: list
  elements: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ravelin.fwupgrade.plugins.module_utils.fwupgrade import (
    TOOL_RUN_OPTIONS, changed, diff, failure_message, run)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            ports=dict(type='list', elements='str'),
            allow_reinstall=dict(type='bool', default=False),
            allow_older=dict(type='bool', default=False),
            retries=dict(type='int', default=0),
            **TOOL_RUN_OPTIONS
        ),
        supports_check_mode=True,
    )
    identify = module.check_mode
    params = module.params
    doc, result = run(module, identify)
    allow = dict(allow_reinstall=params['allow_reinstall'], allow_older=params['allow_older'])
    result['changed'] = changed(doc, identify, **allow)
    if module._diff:
        result['diff'] = diff(doc, identify, **allow)
    exit_status = doc.get('exit_status', result['exit_status'])
    msg = failure_message(doc, identify, bool(params['ports']), exit_status)
    if msg:
        module.fail_json(msg=msg, **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
