# -*- coding: utf-8 -*-
# Copyright: 2026 KorVan. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    # The options of every module that runs the tool on a host: where its
    # report and traces go, and which tool runs.
    DOCUMENTATION = r'''
options:
  log_dir:
    description:
      - The folder on the host for the trace of each port's run, which support asks for.
      - Defaults to the folder of I(report).
    type: path
  report:
    description:
      - Where the host keeps the report of the run (JSON, one record a port).
      - The report of an earlier run there is replaced; check mode writes one too.
    type: path
    default: /var/tmp/ravelin-fwupgrade-report.json
  tool:
    description:
      - The tool to run, a path or a name looked up in C(PATH).
    type: path
    default: RavelinFwUpgrade
'''
