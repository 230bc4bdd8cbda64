#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 KorVan. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: units_info
short_description: Identify every video extender unit on a host, changing nothing
version_added: 1.0.0
description:
  - Runs C(RavelinFwUpgrade --all --info) on the host, which searches every serial port (or the ports named) at
    the same time and asks each unit found which firmware versions it runs. Nothing is written to any unit.
  - Returns every port and its unit with its versions and verdict (C(up to date), C(update needed),
    C(newer than carried), C(not supported), C(no unit)), as the tool's run report has them.
  - A unit that could not be identified is returned with its verdict and does not fail the task; the task
    fails only when the tool could not run or left no complete report.
author:
  - KorVan firmware tools (@korvan)
options:
  ports:
    description:
      - The ports to search, in this order; each as the tool's C(--port) takes it (C(3), C(COM3), a device
        path, a C(/dev/serial/by-id/) name). Left out, every serial port of the host is searched.
      - The same port may not be named twice.
    type: list
    elements: str
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - ravelin.fwupgrade.tool_run
attributes:
  check_mode:
    support: full
    details: The same run as without check mode, which writes nothing to any unit.
  diff_mode:
    support: none
  platform:
    platforms: posix
notes:
  - The tool runs with the module's environment, so a play's C(environment) reaches it.
  - The whole rack is identified in the time one unit takes, a few seconds.
seealso:
  - module: ravelin.fwupgrade.units
'''

EXAMPLES = r'''
- name: Identify every unit of the rack
  ravelin.fwupgrade.units_info:
  register: rack

- name: Show the units that need an update
  ansible.builtin.debug:
    msg: "{{ rack.units | selectattr('verdict', 'defined') | selectattr('verdict', '==', 'update needed')
             | map(attribute='port') | list }}"
'''

RETURN = r'''
units:
  description:
    - The record of every port searched, as the report has it, in port order (C(port), C(path), C(identity),
      C(baud), C(type), C(versions_before), C(result), C(verdict), C(message), C(attempts), C(trace), ...).
    - Members not listed here may appear in later versions of the tool.
  returned: success
  type: list
  elements: dict
  sample:
    - port: COM2
      baud: 9600
      type: RX
      versions_before: {mcu: 61.01.01, logic: XC7A75 1.02, device: 7}
      result: identified
      verdict: update needed
      written: false
      message: ''
      attempts: 1
counts:
  description: C(ports), and how many ports had each result.
  returned: success
  type: dict
  sample: {ports: 4, identified: 3, not-found: 1}
carried:
  description: The versions of the images the tool carries (C(mcu), C(logic), C(device), C(logic_tx), C(logic_rx)).
  returned: success
  type: dict
  sample: {mcu: 61.01.02, logic: XC7A75 1.02, device: 7, logic_tx: XC7A75 1.02, logic_rx: XC7A75 1.02}
report:
  description: The path of the run's report on the host.
  returned: always
  type: str
  sample: /var/tmp/ravelin-fwupgrade-report.json
exit_status:
  description: The tool's exit status (1 when a unit was not identified or none was found).
  returned: when the tool ran
  type: int
cmd:
  description: The tool's command line.
  returned: when the tool ran
  type: list
  elements: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ravelin.fwupgrade.plugins.module_utils.fwupgrade import (
    TOOL_RUN_OPTIONS, incomplete_message, run)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            ports=dict(type='list', elements='str'),
            **TOOL_RUN_OPTIONS
        ),
        supports_check_mode=True,
    )
    doc, result = run(module, identify=True)
    result['changed'] = False
    msg = incomplete_message(doc)
    if msg:
        module.fail_json(msg=msg, **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
