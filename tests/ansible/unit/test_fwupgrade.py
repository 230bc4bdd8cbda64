"""The modules' shared logic on reports of every kind of run, then one real
run of each module through ansible-core against a stand-in tool."""

import json
import os
import subprocess
import sys

import pytest

COLLECTION = os.path.join(os.path.dirname(__file__), '..', '..', '..', 'ansible')
# The shared logic imports nothing of Ansible's: it loads as a plain module.
sys.path.insert(0, os.path.join(COLLECTION, 'plugins', 'module_utils'))
import fwupgrade as fw  # noqa: E402

V1 = {'mcu': '61.01.01', 'logic': 'XC7A75 1.02', 'device': 7}
V2 = {'mcu': '61.01.02', 'logic': 'XC7A75 1.02', 'device': 7}
V3 = {'mcu': '62.00.00', 'logic': 'XC7A75 1.02', 'device': 7}
CARRIED = {'mcu': '61.01.02', 'logic': 'XC7A75 1.02', 'device': 7, 'logic_tx': 'XC7A75 1.02',
           'logic_rx': 'XC7A75 1.03'}


def rec(port, result, **members):
    record = {'port': port, 'identity': {}, 'result': result, 'written': False, 'message': '',
              'attempts': 1, 'seconds': 1.0}
    record.update(members)
    return record


def report(records, mode='update', complete=True, exit_status=0, **extra):
    doc = {'report_version': 1, 'tool': {'name': 'RavelinFwUpgrade', 'version': '1.0.2', 'carried': CARRIED},
           'host': 'jig-3', 'mode': mode, 'ports': records, 'counts': {'ports': len(records)},
           'complete': complete, 'exit_status': exit_status if complete else None}
    doc.update(extra)
    return doc


@pytest.mark.parametrize('params, faults', [
    ({'ports': ['3', 'COM4', '/dev/ttyUSB0'], 'retries': 5, 'report': '/r.json'}, []),
    ({'ports': None, 'retries': 0}, []),
    ({'ports': []}, ['empty list']),
    ({'ports': ['3', '', ' 4', '3']}, ['ports[1] is empty', 'ports[2]', 'port 3 is named twice']),
    ({'retries': 6}, ['retries is 6: it must be 0 to 5']),
    ({'retries': -1, 'report': ' ', 'tool': ''}, ['retries is -1', 'report is empty', 'tool is empty']),
])
def test_options(params, faults):
    got = fw.check_options(params)
    assert len(got) == len(faults)
    for want, fault in zip(faults, got):
        assert want in fault


def test_command_lines():
    params = {'ports': ['3', '/dev/ttyUSB0'], 'allow_reinstall': True, 'allow_older': True, 'retries': 2,
              'log_dir': '/var/log/r', 'report': '/tmp/r.json'}
    assert fw.command_line('/usr/bin/T', params, identify=False) == [
        '/usr/bin/T', '--all', '--no-wait', '--report', '/tmp/r.json', '--port', '3', '--port', '/dev/ttyUSB0',
        '--allow-reinstall', '--allow-older', '--retries', '2', '--log-dir', '/var/log/r']
    # An identification takes none of the update's options.
    assert fw.command_line('T', params, identify=True) == [
        'T', '--all', '--info', '--no-wait', '--report', '/tmp/r.json', '--port', '3', '--port', '/dev/ttyUSB0',
        '--log-dir', '/var/log/r']
    # The traces go beside the report unless told otherwise, never to the
    # module's temporary folder; retries 0 and false flags add nothing.
    plain = {'ports': None, 'allow_reinstall': False, 'allow_older': False, 'retries': 0, 'log_dir': None,
             'report': '/var/tmp/x/r.json'}
    assert fw.command_line('T', plain, identify=False) == [
        'T', '--all', '--no-wait', '--report', '/var/tmp/x/r.json', '--log-dir', '/var/tmp/x']


@pytest.mark.parametrize('text, words', [
    ('{"report_version": 1, "ports": [', 'is not JSON'),
    ('[1, 2]', 'is not a JSON object'),
    ('{"report_version": 2, "ports": []}', 'has report_version 2; this module reads report_version 1'),
    ('{"ports": []}', 'has report_version null'),
    ('{"report_version": true, "ports": []}', 'has report_version true'),
    ('{"report_version": 1}', 'has no list of ports'),
    ('{"report_version": 1, "ports": [{"port": "COM1"}]}', 'ports[0]) without its port and result'),
    ('{"report_version": 1, "ports": [], "counts": 3}', 'counts that is not an object'),
])
def test_unreadable_reports(text, words):
    with pytest.raises(fw.ReportError) as caught:
        fw.parse_report(text, '/r.json')
    assert words in str(caught.value) and '/r.json' in str(caught.value)


def test_report_files(tmp_path):
    # Members this module does not know are passed over and handed back as they are.
    record = rec('COM1', 'updated', written=True, wiring={'loom': 'B'})
    doc = report([record], future_member=[1])
    path = tmp_path / 'r.json'
    path.write_text(json.dumps(doc))
    assert fw.read_report(str(path))['ports'] == [record]
    for content, words in ((None, 'wrote no report at'), (b'\xff\xfe{', 'is not UTF-8')):
        if content is not None:
            path.write_bytes(content)
        else:
            path.unlink()
        with pytest.raises(fw.ReportError, match=words):
            fw.read_report(str(path))
    with pytest.raises(fw.ReportError, match='cannot be read'):
        fw.read_report(str(tmp_path))


GOOD_RACK = [rec('COM1', 'updated', type='TX', versions_before=V1, versions_after=V2, written=True),
             rec('COM2', 'up-to-date', type='RX', versions_before=V2, verdict='up to date'),
             rec('COM3', 'newer', type='TX', versions_before=V3, verdict='newer than carried'),
             rec('COM4', 'not-found', verdict='no unit')]


@pytest.mark.parametrize('records, named, complete, status, changed, words', [
    (GOOD_RACK, False, True, 0, True, None),
    (GOOD_RACK[1:], False, True, 0, False, None),
    # A named port that gives no unit is a failure, an empty slot of a search is not.
    (GOOD_RACK, True, True, 1, True, ['1 of 4 ports was not updated: COM4: no unit answered']),
    (GOOD_RACK[:1] + [
        rec('COM5', 'failed', type='RX', versions_before=V1, written=True, identity={'serial_number': 'A5XK'},
            message='FAILED during logic 100%: the unit answered "ERROR: flash write"'),
        rec('COM6', 'not-verified', type='TX', versions_before=V1, versions_after=V1, written=True),
        rec('/dev/ttyUSB9', 'no-such-port'),
        rec('COM7', 'not-confirmed', type='TX', versions_before=V1, written=True),
        rec('COM8', 'failed', type='TX', versions_before=V1, verdict='not supported')],
     False, True, 1, True,
     ['5 of 6 ports were not updated: ',
      'COM5 (RX unit, serial A5XK): FAILED during logic 100%: the unit answered "ERROR: flash write"; ',
      'COM6 (TX unit): the unit restarted but could not be verified; ', '/dev/ttyUSB9: no such port; ',
      'COM7 (TX unit): the unit took its images but did not show its prompt', 'COM8 (TX unit): not supported']),
    ([rec('COM1', 'not-found'), rec('COM2', 'not-found')], False, True, 1, False,
     ['no unit answered on any port searched (COM1, COM2)']),
    # A rack stopped by Ctrl-C writes its end; one killed outright does not.
    ([rec('COM1', 'stopped', type='TX', versions_before=V1, written=True)], False, True, 130, True,
     ['COM1 (TX unit): stopped before it ended']),
    (GOOD_RACK, False, False, None, True, ['the run did not end: its report is incomplete']),
    # The tool's own verdict counts where no record shows why.
    (GOOD_RACK, False, True, 1, True, ['the tool ended with exit status 1']),
])
def test_update_outcome(records, named, complete, status, changed, words):
    doc = report(records, complete=complete, exit_status=status)
    assert fw.changed(doc, identify=False) is changed
    msg = fw.failure_message(doc, False, named, status)
    if words is None:
        assert msg is None
    else:
        for word in words:
            assert word in msg


INFO_RACK = [rec('COM1', 'identified', type='TX', versions_before=V2, verdict='up to date'),
             rec('COM2', 'identified', type='RX', versions_before=V1, verdict='update needed'),
             rec('COM3', 'identified', type='TX', versions_before=V3, verdict='newer than carried'),
             rec('COM4', 'not-found', verdict='no unit')]


@pytest.mark.parametrize('reinstall, older, written', [
    (False, False, ['COM2']),
    (True, False, ['COM1', 'COM2']),
    (False, True, ['COM2', 'COM3']),
    (True, True, ['COM1', 'COM2', 'COM3']),
])
def test_check_mode_decision(reinstall, older, written):
    doc = report(INFO_RACK, mode='info')
    assert [r['port'] for r in doc['ports'] if fw.would_write(r, reinstall, older)] == written
    assert fw.changed(doc, True, reinstall, older) is True
    assert fw.changed(report(INFO_RACK[2:], mode='info'), True, reinstall, False) is False
    assert fw.failure_message(doc, True, False, 0) is None
    # The update would fail a unit it does not support or cannot identify.
    bad = INFO_RACK + [rec('COM5', 'failed', type='TX', verdict='not supported',
                           message='not supported: reports logic model XC7A50'),
                       rec('COM6', 'failed', message='the unit did not answer "%fw -v"')]
    assert fw.failure_message(report(bad, mode='info'), True, False, 1) == (
        '2 of 6 ports were not identified: COM5 (TX unit): not supported: reports logic model XC7A50; '
        'COM6: the unit did not answer "%fw -v"')


def test_diff():
    update = report(GOOD_RACK + [rec('COM5', 'failed', type='RX', versions_before=V1, written=True)])
    assert fw.diff(update, identify=False) == {
        'before_header': 'firmware before', 'after_header': 'firmware after',
        'before': 'COM1 TX: 61.01.01, XC7A75 1.02\nCOM2 RX: 61.01.02, XC7A75 1.02\n'
                  'COM3 TX: 62.00.00, XC7A75 1.02\nCOM5 RX: 61.01.01, XC7A75 1.02\n',
        'after': 'COM1 TX: 61.01.02, XC7A75 1.02\nCOM2 RX: 61.01.02, XC7A75 1.02\n'
                 'COM3 TX: 62.00.00, XC7A75 1.02\nCOM5 RX: written, versions not read back\n'}
    # In check mode the units that would change get the carried versions of their type.
    info = fw.diff(report(INFO_RACK, mode='info'), True, allow_reinstall=True)
    assert info['after'] == ('COM1 TX: 61.01.02, XC7A75 1.02\nCOM2 RX: 61.01.02, XC7A75 1.03\n'
                             'COM3 TX: 62.00.00, XC7A75 1.02\n')


FAKE_TOOL = r'''#!/usr/bin/python3
import json, os, sys
args = sys.argv[1:]
with open(os.environ['FAKE_TOOL_LOG'], 'a') as log:
    log.write(json.dumps(args) + '\n')
with open(os.path.join(os.environ['FAKE_TOOL_REPORTS'], 'info.json' if '--info' in args else 'update.json')) as f:
    doc = json.load(f)
with open(args[args.index('--report') + 1], 'w') as f:
    json.dump(doc, f)
sys.exit(doc['exit_status'])
'''


def ansible(tmp_path, module, args, *flags):
    """Runs one module on localhost through ansible-core; returns its result,
    with `failed` from ansible's exit status (the tree keeps neither it nor the
    diff), and what ansible printed, where the diff is shown."""
    tree = tmp_path / 'collections' / 'ansible_collections' / 'ravelin'
    if not tree.exists():
        tree.mkdir(parents=True)
        (tree / 'fwupgrade').symlink_to(os.path.abspath(COLLECTION))
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=str(tmp_path / 'collections'),
               ANSIBLE_LOCAL_TEMP=str(tmp_path / 'tmp'), ANSIBLE_REMOTE_TEMP=str(tmp_path / 'tmp'),
               ANSIBLE_NOCOLOR='1', ANSIBLE_PYTHON_INTERPRETER=sys.executable,
               FAKE_TOOL_LOG=str(tmp_path / 'calls'), FAKE_TOOL_REPORTS=str(tmp_path))
    # The tree callback, the one of ansible-core's that writes each host's
    # whole result as JSON, into a folder of its own for each run.
    tree_dir = tmp_path / ('tree-%d' % len(list(tmp_path.glob('tree-*'))))
    done = subprocess.run(['ansible', 'localhost', '-c', 'local', '-i', 'localhost,', '-m', module,
                           '-a', json.dumps(args), '-t', str(tree_dir)] + list(flags),
                          env=env, capture_output=True, text=True, timeout=90, check=False)
    try:
        result = json.loads((tree_dir / 'localhost').read_text())
    except (OSError, ValueError):
        pytest.fail('ansible left no result (%d): %s %s' % (done.returncode, done.stdout, done.stderr))
    result['failed'] = done.returncode != 0
    return result, done.stdout


def test_modules_through_ansible(tmp_path):
    tool = tmp_path / 'fake-tool'
    tool.write_text(FAKE_TOOL)
    tool.chmod(0o755)
    (tmp_path / 'info.json').write_text(json.dumps(report(INFO_RACK, mode='info', exit_status=0)))
    failed = rec('COM2', 'failed', type='RX', versions_before=V1, written=True, message='flash write')
    (tmp_path / 'update.json').write_text(json.dumps(report(GOOD_RACK[:1] + [failed], exit_status=1)))
    rep = str(tmp_path / 'out' / 'r.json')
    os.mkdir(os.path.dirname(rep))
    base = {'tool': str(tool), 'report': rep}

    info, _ = ansible(tmp_path, 'ravelin.fwupgrade.units_info', dict(base, ports=['COM1', 'COM2']))
    assert info['failed'] is False and info['changed'] is False, info
    assert [u['verdict'] for u in info['units']] == ['up to date', 'update needed', 'newer than carried', 'no unit']
    assert info['carried'] == CARRIED and info['report'] == rep

    check, shown = ansible(tmp_path, 'ravelin.fwupgrade.units', dict(base, allow_older=True), '--check', '--diff')
    assert check['changed'] is True and check['failed'] is False, check
    for line in ('-COM2 RX: 61.01.01, XC7A75 1.02', '+COM2 RX: 61.01.02, XC7A75 1.03',
                 '-COM3 TX: 62.00.00, XC7A75 1.02', '+COM3 TX: 61.01.02, XC7A75 1.02', ' COM1 TX: 61.01.02'):
        assert line in shown.splitlines() or shown.find('\n' + line) >= 0, shown

    update, _ = ansible(tmp_path, 'ravelin.fwupgrade.units', dict(base, retries=1))
    assert update['failed'] is True and update['changed'] is True, update
    assert update['msg'] == '1 of 2 ports was not updated: COM2 (RX unit): flash write'
    assert [u['result'] for u in update['units']] == ['updated', 'failed'] and update['exit_status'] == 1

    bad, _ = ansible(tmp_path, 'ravelin.fwupgrade.units', dict(base, retries=9, ports=['3', '3']))
    assert bad['failed'] is True and 'retries is 9' in bad['msg'] and 'named twice' in bad['msg'], bad

    # A tool that ends without a report: the last run's report is not taken for its own.
    (tmp_path / 'update.json').unlink()
    gone, _ = ansible(tmp_path, 'ravelin.fwupgrade.units', base)
    assert gone['failed'] is True and 'units' not in gone, gone
    assert gone['msg'].startswith('the tool wrote no report at %s (the tool ended with exit status 1): ' % rep)
    assert 'update.json' in gone['msg']

    calls = [json.loads(line) for line in (tmp_path / 'calls').read_text().splitlines()]
    logs = ['--log-dir', str(tmp_path / 'out')]
    assert calls == [[ '--all', '--info', '--no-wait', '--report', rep, '--port', 'COM1', '--port', 'COM2'] + logs,
                     ['--all', '--info', '--no-wait', '--report', rep] + logs,
                     ['--all', '--no-wait', '--report', rep, '--retries', '1'] + logs,
                     ['--all', '--no-wait', '--report', rep] + logs]
