# -*- coding: utf-8 -*-
"""The whole run as one JSON document on stdout at its end, for the
integration test and the bench to read instead of the screen: the shape of
the json callback that ansible.posix carries (which Debian ships only in
the 250 MB `ansible` package, not in ansible-core): plays, each with its
tasks, each with every host's result; then the recap of every host; and
when the run, each play and each task began and (tasks) got their last
result, in seconds since the epoch."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import time

from ansible.parsing.ajson import AnsibleJSONEncoder
from ansible.plugins.callback import CallbackBase

DOCUMENTATION = '''
name: results_json
type: stdout
short_description: the run as one JSON document
description:
  - Prints, once the run ends, its plays, their tasks and each host's result of each task, and the recap.
'''


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'stdout'
    CALLBACK_NAME = 'results_json'

    def __init__(self, display=None):
        super(CallbackModule, self).__init__(display)
        self.plays = []
        self.started = time.time()

    def v2_playbook_on_start(self, playbook):
        self.started = time.time()

    def v2_playbook_on_play_start(self, play):
        self.plays.append({'play': {'name': play.get_name(), 'id': str(play._uuid),
                                    'duration': {'start': time.time()}}, 'tasks': []})

    def _task_entry(self, task):
        # Under the free strategy the hosts reach the tasks at their own
        # pace: a result belongs to its task, not to the latest one started.
        tasks = self.plays[-1]['tasks']
        for entry in reversed(tasks):
            if entry['task']['id'] == str(task._uuid):
                return entry
        entry = {'task': {'name': task.get_name(), 'id': str(task._uuid),
                          'duration': {'start': time.time(), 'end': None}}, 'hosts': {}}
        tasks.append(entry)
        return entry

    def v2_playbook_on_task_start(self, task, is_conditional):
        self._task_entry(task)

    def v2_playbook_on_handler_task_start(self, task):
        self._task_entry(task)

    def _record(self, result, **flags):
        outcome = result._result.copy()
        outcome.update(flags)
        entry = self._task_entry(result._task)
        entry['hosts'][result._host.get_name()] = outcome
        # When the task's last result came, in seconds since the epoch.
        entry['task']['duration']['end'] = time.time()

    def v2_runner_on_ok(self, result, **kwargs):
        self._record(result)

    def v2_runner_on_failed(self, result, ignore_errors=False, **kwargs):
        self._record(result, failed=True)

    def v2_runner_on_skipped(self, result, **kwargs):
        self._record(result, skipped=True)

    def v2_runner_on_unreachable(self, result, **kwargs):
        self._record(result, unreachable=True)

    def v2_playbook_on_stats(self, stats):
        recap = dict((host, stats.summarize(host)) for host in sorted(stats.processed))
        run = {'start': self.started, 'end': time.time()}
        self._display.display(json.dumps({'plays': self.plays, 'stats': recap, 'duration': run}, cls=AnsibleJSONEncoder,
                                         indent=2, sort_keys=True))
