# -*- coding: utf-8 -*-
# Copyright: 2026 KorVan. All rights reserved.
"""What both modules share: the tool's command line, the reading of its run
report, and what a report means for a task (changed, failed, diff).

Everything here but run() is plain functions of plain data, so that the
unit tests need neither a module nor the tool. The report is the only thing
read from a run: the console is for people and may change its wording.
"""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os

DEFAULT_TOOL = 'RavelinFwUpgrade'
DEFAULT_REPORT = '/var/tmp/ravelin-fwupgrade-report.json'
MAX_RETRIES = 5
REPORT_VERSION = 1
# The tool's exit status for a usage error: it opened nothing and may have
# written no report at all, so its own words are all there is to show.
USAGE_STATUS = 2
TAIL_LINES = 15

# The options of every module that runs the tool (their documentation is
# the tool_run fragment).
TOOL_RUN_OPTIONS = dict(
    log_dir=dict(type='path'),
    report=dict(type='path', default=DEFAULT_REPORT),
    tool=dict(type='path', default=DEFAULT_TOOL),
)

# The results of an update run that leave a unit as the operator wants it.
UPDATE_OK = frozenset(['updated', 'up-to-date', 'newer'])

# Words for the results whose record may carry no message of its own.
RESULT_WORDS = {
    'updated': 'updated',
    'not-confirmed': 'the unit took its images but did not show its prompt after the reboot',
    'identified': 'identified',
    'not-found': 'no unit answered',
    'failed': 'failed',
    'stopped': 'stopped before it ended',
    'up-to-date': 'up to date',
    'newer': 'newer than carried',
    'not-verified': 'the unit restarted but could not be verified',
    'no-such-port': 'no such port',
}


class ReportError(Exception):
    """A report that cannot be read as one of this module's version."""


def check_options(params):
    """Returns the faults of the options that their declared types cannot
    catch, one sentence each; an empty list when there are none."""
    faults = []
    ports = params.get('ports')
    if ports is not None:
        seen = set()
        for index, port in enumerate(ports):
            if not isinstance(port, str) or not port.strip():
                faults.append('ports[%d] is empty: give a port as 3, COM3 or a device path' % index)
            elif port != port.strip():
                faults.append('ports[%d] (%r) has spaces around it' % (index, port))
            elif port in seen:
                faults.append('port %s is named twice in ports' % port)
            else:
                seen.add(port)
        if not ports:
            faults.append('ports is an empty list: leave it out to search every port')
    retries = params.get('retries')
    if retries is not None and not 0 <= retries <= MAX_RETRIES:
        faults.append('retries is %d: it must be 0 to %d' % (retries, MAX_RETRIES))
    for name in ('report', 'log_dir', 'tool'):
        value = params.get(name)
        if value is not None and not str(value).strip():
            faults.append('%s is empty' % name)
    return faults


def log_dir_of(params):
    """The folder for the ports' traces: the one asked for, else the
    report's own, since a module runs in a temporary folder that Ansible
    removes once it ends, traces and all."""
    if params.get('log_dir'):
        return params['log_dir']
    return os.path.dirname(os.path.abspath(params['report']))


def command_line(tool, params, identify):
    """The tool's arguments for an update run, or for an identification
    (`identify`: check mode and units_info), which writes nothing to any
    unit and so takes none of the update's options."""
    cmd = [tool, '--all']
    if identify:
        cmd.append('--info')
    cmd += ['--no-wait', '--report', params['report']]
    for port in params.get('ports') or []:
        cmd += ['--port', port]
    if not identify:
        if params.get('allow_reinstall'):
            cmd.append('--allow-reinstall')
        if params.get('allow_older'):
            cmd.append('--allow-older')
        if params.get('retries'):
            cmd += ['--retries', str(params['retries'])]
    cmd += ['--log-dir', log_dir_of(params)]
    return cmd


def parse_report(text, path):
    """The report document from its text; raises ReportError saying what is
    wrong with it. Members this module does not know are passed over."""
    try:
        doc = json.loads(text)
    except ValueError as exc:
        raise ReportError('the report %s is not JSON: %s' % (path, exc))
    if not isinstance(doc, dict):
        raise ReportError('the report %s is not a JSON object' % path)
    version = doc.get('report_version')
    if version != REPORT_VERSION or isinstance(version, bool):
        raise ReportError('the report %s has report_version %s; this module reads report_version %d: '
                          'use the collection that comes with this tool'
                          % (path, json.dumps(version), REPORT_VERSION))
    ports = doc.get('ports')
    if not isinstance(ports, list):
        raise ReportError('the report %s has no list of ports' % path)
    for index, record in enumerate(ports):
        if not isinstance(record, dict) or not isinstance(record.get('port'), str) \
                or not isinstance(record.get('result'), str):
            raise ReportError('the report %s has a port record (ports[%d]) without its port and result'
                              % (path, index))
    for name in ('counts', 'tool'):
        if not isinstance(doc.get(name, {}), dict):
            raise ReportError('the report %s has a %s that is not an object' % (path, name))
    return doc


def read_report(path):
    """The report at path; raises ReportError when there is none or it cannot be read."""
    try:
        with open(path, 'rb') as handle:
            raw = handle.read()
    except (IOError, OSError) as exc:
        if not os.path.lexists(path):
            raise ReportError('the tool wrote no report at %s' % path)
        raise ReportError('the report %s cannot be read: %s' % (path, exc.strerror or exc))
    try:
        text = raw.decode('utf-8')
    except UnicodeDecodeError:
        raise ReportError('the report %s is not UTF-8 text' % path)
    return parse_report(text, path)


def carried_of(doc):
    carried = (doc.get('tool') or {}).get('carried')
    return carried if isinstance(carried, dict) else {}


def unit_name(record):
    """How a message names a port's unit: its port, then its type and serial
    number where they are known, so that the operator finds it in the rack."""
    details = []
    if record.get('type'):
        details.append('%s unit' % record['type'])
    identity = record.get('identity')
    if isinstance(identity, dict) and identity.get('serial_number'):
        details.append('serial %s' % identity['serial_number'])
    if details:
        return '%s (%s)' % (record['port'], ', '.join(details))
    return record['port'] or '(no port)'


def why(record):
    message = record.get('message')
    if isinstance(message, str) and message.strip():
        return message.strip()
    if record.get('verdict') == 'not supported':
        return 'not supported'
    return RESULT_WORDS.get(record['result'], record['result'])


def is_found(record):
    """Whether a unit answered on the port (whatever became of it)."""
    return record['result'] not in ('not-found', 'no-such-port')


def would_write(record, allow_reinstall, allow_older):
    """Whether the update run would send its images to the unit of an
    identification record: the rule that each port's process applies."""
    verdict = record.get('verdict')
    return (record['result'] == 'identified'
            and (verdict == 'update needed'
                 or (verdict == 'up to date' and bool(allow_reinstall))
                 or (verdict == 'newer than carried' and bool(allow_older))))


def failed_records(doc, identify, ports_named):
    """The records that make the task fail. A port searched because no port
    was named and found empty is only an empty slot; a port that was named
    and gave no unit is one the operator expected a unit on."""
    failed = []
    for record in doc['ports']:
        result = record['result']
        if result == 'not-found':
            if ports_named:
                failed.append(record)
        elif identify:
            if result != 'identified' or record.get('verdict') == 'not supported':
                failed.append(record)
        elif result not in UPDATE_OK:
            failed.append(record)
    return failed


def incomplete_message(doc):
    """Why a report cannot be taken as the whole run, or None."""
    if doc.get('complete') is not True:
        return ('the run did not end: its report is incomplete (the tool was stopped before it could '
                'write its end); run the task again')
    return None


def failure_message(doc, identify, ports_named, exit_status=None):
    """The task's failure message, or None when the run did what was asked."""
    records = doc['ports']
    stopped = incomplete_message(doc)
    if stopped:
        return stopped
    failed = failed_records(doc, identify, ports_named)
    if not any(is_found(r) for r in records) and not any(r['result'] == 'no-such-port' for r in records):
        searched = ', '.join(r['port'] for r in records if r['port'])
        return 'no unit answered on any port searched' + (' (%s)' % searched if searched else '')
    if failed:
        what = 'identified' if identify else 'updated'
        verb = 'was' if len(failed) == 1 else 'were'
        return '%d of %d ports %s not %s: %s' % (
            len(failed), len(records), verb, what,
            '; '.join('%s: %s' % (unit_name(r), why(r)) for r in failed))
    if exit_status not in (None, 0):
        # The tool knows of a fault that no record shows: trust it.
        return 'the tool ended with exit status %s' % exit_status
    return None


def versions_text(versions):
    if not isinstance(versions, dict):
        return None
    return '%s, %s' % (versions.get('mcu', 'unknown'), versions.get('logic', 'unknown'))


def carried_for(record, carried):
    """The versions the tool would install on the unit of a record."""
    logic = carried.get('logic')
    if record.get('type') == 'TX' and carried.get('logic_tx'):
        logic = carried['logic_tx']
    elif record.get('type') == 'RX' and carried.get('logic_rx'):
        logic = carried['logic_rx']
    return {'mcu': carried.get('mcu', 'unknown'), 'logic': logic or 'unknown'}


def diff(doc, identify, allow_reinstall=False, allow_older=False):
    """Before and after, one line a unit whose versions were read: in an
    update run what it runs now, in an identification what the update would
    install on it."""
    before, after = [], []
    carried = carried_of(doc)
    for record in doc['ports']:
        old = versions_text(record.get('versions_before'))
        if old is None:
            continue
        label = record['port'] + (' %s' % record['type'] if record.get('type') else '')
        new = old
        if identify:
            if would_write(record, allow_reinstall, allow_older):
                new = versions_text(carried_for(record, carried))
        elif record.get('written') is True:
            new = versions_text(record.get('versions_after')) or 'written, versions not read back'
        before.append('%s: %s\n' % (label, old))
        after.append('%s: %s\n' % (label, new))
    return {'before_header': 'firmware before', 'after_header': 'firmware after',
            'before': ''.join(before), 'after': ''.join(after)}


def changed(doc, identify, allow_reinstall=False, allow_older=False):
    if identify:
        return any(would_write(r, allow_reinstall, allow_older) for r in doc['ports'])
    return any(r.get('written') is True for r in doc['ports'])


def tail(text, lines=TAIL_LINES):
    text = (text or '').strip()
    return '\n'.join(text.splitlines()[-lines:])


def find_tool(module, tool):
    """The tool's path: a name is looked up in PATH, a path taken as it is."""
    if os.sep in tool:
        if not (os.path.isfile(tool) and os.access(tool, os.X_OK)):
            module.fail_json(msg='the tool %s is not an executable file' % tool)
        return tool
    found = module.get_bin_path(tool)
    if not found:
        module.fail_json(msg='%s is not in PATH (%s): install the RavelinFwUpgrade package or give tool'
                         % (tool, os.environ.get('PATH', '')))
    return found


def run(module, identify):
    """Runs the tool as the options say and returns (report, result): the
    report read back, and the members every task returns. Fails the task
    itself when there is no report to judge."""
    params = module.params
    faults = check_options(params)
    if faults:
        module.fail_json(msg='; '.join(faults))
    tool = find_tool(module, params['tool'] or DEFAULT_TOOL)
    cmd = command_line(tool, params, identify)
    report = params['report']
    # A report left by an earlier run must not be taken for this one's, when
    # this run ends before it writes one. Anything but a plain file is left
    # for the tool to refuse.
    if os.path.isfile(report) and not os.path.islink(report):
        try:
            os.unlink(report)
        except OSError as exc:
            module.fail_json(msg='the earlier report %s cannot be removed: %s' % (report, exc.strerror), cmd=cmd)
    # The module's own environment is passed on as it is, so that a play's
    # `environment:` reaches the tool.
    rc, out, err = module.run_command(cmd, check_rc=False)
    result = {'cmd': cmd, 'report': report, 'exit_status': rc}
    console = tail(err) or tail(out)
    if rc == USAGE_STATUS:
        module.fail_json(msg='the tool refused its command line (exit status 2): %s' % (console or 'no output'),
                         **result)
    try:
        doc = read_report(report)
    except ReportError as exc:
        module.fail_json(msg='%s (the tool ended with exit status %d)%s'
                         % (exc, rc, ': ' + console if console else ''), **result)
    mode = 'info' if identify else 'update'
    if doc.get('mode', mode) != mode:
        module.fail_json(msg='the report %s is of an %s run, not of this %s run' % (report, doc['mode'], mode),
                         **result)
    result['units'] = doc['ports']
    result['counts'] = doc.get('counts', {})
    result['carried'] = carried_of(doc)
    return doc, result
