#!/usr/bin/env python3
"""The collection's playbook, run by Debian's ansible-playbook, on four jig
hosts of this machine with simulated units.

  playbook_racks.py --tool TOOL --unit-sim UNIT_SIM --collection ANSIBLE_DIR
                    --work WORK_DIR [--unit-minutes M]

jig-a, jig-b and jig-c are reached with the local connection, jig-d over
real SSH, through an sshd started here on a free loopback port with
throw-away keys. Each host has a COM folder of its own (RAVELIN_COM_DIR,
through rack_environment) with two unit-sim units:

  jig-a  both units current                      the canary: nothing to do
  jig-b  both outdated (MCU on one, logic on the other)
  jig-c  one outdated, one that restarts on its old versions (keep-versions)
  jig-d  both outdated, ports named (rack_ports), over SSH

Three runs, read from the JSON document of Ansible's json callback
(ansible.posix.json), never from Ansible's screen:
  1. --check --diff: the hosts with outdated units are changed, the diff
     names them, and no unit got an announcement or an image byte (their
     wire logs);
  2. the update: jig-a runs alone first, then the others; jig-b and jig-d
     are changed and pass, every unit of theirs got its images; jig-c fails
     naming COM2 and why, its COM1 updated all the same;
  3. the same again with jig-c's rack_ports naming COM1 alone (its COM2
     still runs the old versions, so every run would write it again):
     nothing changes and nothing fails, and no unit gets another image.
Every process started here, and any tool run an interrupted playbook left
running on the hosts, is ended on every way out. Exit status 0 when every
check held, 1 otherwise.
"""

import argparse
import ctypes
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

HOSTS = ['jig-a', 'jig-b', 'jig-c', 'jig-d']
CHECK_TASK = 'Identify every unit'
UPDATE_TASK = 'Update every unit that needs it'
SHOW_TASK = 'Show each unit'
FAIL_TASK = 'Fail the host whose units were not all updated'
CARRIED_MCU = '61.01.02'

# The units of each host: (COM number, unit-sim options). The quick-boot
# tool listens for the prompt from about 4.4 s to 15.4 s after the last
# image; a unit that boots in 8 s lands inside that window with room on
# both sides (1 s lands before it: the prompt is taken for the reply).
UNITS = {
    'jig-a': [(1, ['--type', 'tx']), (2, ['--type', 'rx'])],
    'jig-b': [(1, ['--type', 'tx', '--mcu-version', '61.1.1']),
              (2, ['--type', 'rx', '--logic-version', '1.1'])],
    'jig-c': [(1, ['--type', 'tx', '--mcu-version', '61.1.1']),
              (2, ['--type', 'tx', '--mcu-version', '61.1.1', '--fault', 'keep-versions'])],
    'jig-d': [(1, ['--type', 'rx', '--mcu-version', '61.1.1']),
              (2, ['--type', 'tx', '--mcu-version', '61.1.1'])],
}
OUTDATED = {'jig-b', 'jig-c', 'jig-d'}
BOOT_MS = 8000
PLAYBOOK_LIMIT = 600   # seconds for one ansible-playbook run, loaded machine

failures = []


def check(condition, what):
    if condition:
        print('ok: ' + what)
    else:
        print('FAIL: ' + what)
        failures.append(what)
    return condition


def wait_for(predicate, limit, step=0.1):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


PR_SET_PDEATHSIG = 1


def end_with_parent():
    # Should this test be killed outright (a CTest time-out), its children
    # end too: the kernel sends them SIGTERM when it goes.
    try:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    except (OSError, AttributeError):
        pass


def stop_on_signal(signum, frame):
    # Into the `finally` that ends every process started.
    raise SystemExit(128 + signum)


class Processes:
    """What this test starts, and whatever it leaves on the hosts."""

    def __init__(self, work):
        self.work = work
        self.started = []

    def start(self, args, log, **kwargs):
        with open(log, 'wb') as out:
            proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                    start_new_session=True, preexec_fn=end_with_parent, **kwargs)
        self.started.append(proc)
        return proc

    def left_on_hosts(self):
        """Processes whose environment points into this test's COM folders:
        the tool and Ansible's async wrapper, which outlive a killed run."""
        found = []
        marker = ('RAVELIN_COM_DIR=' + self.work).encode()
        for name in os.listdir('/proc'):
            if not name.isdigit() or int(name) == os.getpid():
                continue
            try:
                with open('/proc/%s/environ' % name, 'rb') as f:
                    environ = f.read().split(b'\0')
            except OSError:
                continue
            if any(entry.startswith(marker) for entry in environ):
                found.append(int(name))
        return found

    def hosts_settle(self, limit=20):
        """Whether the hosts are left with no such process within `limit`
        seconds: Ansible's async wrapper looks at its job only every 5 s,
        so it may outlive the job, and the poll that saw the job end, by
        that much."""
        deadline = time.monotonic() + limit
        while self.left_on_hosts():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.5)
        return True

    def descendants(self, root):
        children = {}
        for name in os.listdir('/proc'):
            if not name.isdigit():
                continue
            try:
                with open('/proc/%s/stat' % name) as f:
                    ppid = int(f.read().rsplit(')', 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(ppid, []).append(int(name))
        found, todo = [], [root]
        while todo:
            for child in children.get(todo.pop(), []):
                found.append(child)
                todo.append(child)
        return found

    def end_all(self):
        # sshd's sessions leave its process group (setsid): end them by
        # ancestry; then the groups of everything started here.
        doomed = set(self.left_on_hosts())
        for proc in self.started:
            doomed.update(self.descendants(proc.pid))
        for pid in doomed:
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass
        for proc in self.started:
            try:
                os.killpg(proc.pid, signal.SIGTERM)
            except OSError:
                pass
        for proc in self.started:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except OSError:
                    pass
                proc.wait(timeout=10)
        for pid in doomed:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def start_units(procs, unit_sim, work):
    ready = []
    for host, units in UNITS.items():
        com_dir = os.path.join(work, host, 'com')
        os.makedirs(com_dir)
        for com, options in units:
            stem = os.path.join(work, host, 'com%d' % com)
            args = [unit_sim, '--dir', com_dir, '--com', str(com), '--boot-ms', str(BOOT_MS),
                    '--ready-file', stem + '.ready', '--save-fpga', stem + '.logic.bin',
                    '--save-mcu', stem + '.mcu.bin', '--wire-log', stem + '.wire', '--verbose'] + options
            procs.start(args, stem + '.log')
            ready.append(stem)
    for stem in ready:
        if not wait_for(lambda: os.path.exists(stem + '.ready') and os.path.getsize(stem + '.ready') > 0, 20):
            with open(stem + '.log', errors='replace') as f:
                raise RuntimeError('unit-sim for %s did not start:\n%s' % (stem, f.read()))


def start_sshd(procs, work):
    """An sshd of this test's own on a free loopback port: throw-away host
    and client keys, and the client key the only one it takes."""
    ssh = os.path.join(work, 'ssh')
    os.makedirs(ssh)
    for key in ('host_key', 'client_key'):
        subprocess.run(['ssh-keygen', '-q', '-t', 'ed25519', '-N', '', '-C', 'ansible-test', '-f',
                        os.path.join(ssh, key)], check=True, stdin=subprocess.DEVNULL, timeout=60)
    shutil.copy(os.path.join(ssh, 'client_key.pub'), os.path.join(ssh, 'authorized_keys'))
    port = free_port()
    config = os.path.join(ssh, 'sshd_config')
    with open(config, 'w') as f:
        f.write('\n'.join([
            'ListenAddress 127.0.0.1:%d' % port,
            'HostKey %s' % os.path.join(ssh, 'host_key'),
            'AuthorizedKeysFile %s' % os.path.join(ssh, 'authorized_keys'),
            'PidFile %s' % os.path.join(ssh, 'sshd.pid'),
            'PermitRootLogin prohibit-password',
            'PasswordAuthentication no',
            'KbdInteractiveAuthentication no',
            'StrictModes no',
            'UsePAM no',
            'Subsystem sftp /usr/lib/openssh/sftp-server',
            '']))
    # The privilege separation folder that the package's service would make.
    os.makedirs('/run/sshd', mode=0o755, exist_ok=True)
    proc = procs.start(['/usr/sbin/sshd', '-D', '-f', config, '-e'], os.path.join(ssh, 'sshd.log'))
    key = os.path.join(ssh, 'client_key')
    ssh_options = ['-o', 'UserKnownHostsFile=/dev/null', '-o', 'StrictHostKeyChecking=no',
                   '-o', 'IdentitiesOnly=yes', '-i', key]

    def answers():
        if proc.poll() is not None:
            return True
        try:
            return subprocess.run(['ssh', '-p', str(port), '-o', 'BatchMode=yes', '-o', 'ConnectTimeout=5']
                                  + ssh_options + ['%s@127.0.0.1' % user_name(), 'true'],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=20).returncode == 0
        except subprocess.TimeoutExpired:
            return False
    if not wait_for(answers, 30, step=0.5) or proc.poll() is not None:
        with open(os.path.join(ssh, 'sshd.log'), errors='replace') as f:
            raise RuntimeError('sshd on port %d does not take the test key:\n%s' % (port, f.read()))
    return port, ' '.join(ssh_options), os.path.join(ssh, 'sshd.log')


def user_name():
    import pwd
    return pwd.getpwuid(os.getuid()).pw_name


def write_inventory(path, work, tool, unit_minutes, ssh_port, ssh_args, jig_c_ports=None):
    hosts = {}
    for host in HOSTS:
        folder = os.path.join(work, host)
        hosts[host] = {
            'ansible_connection': 'local',
            'rack_environment': {'RAVELIN_COM_DIR': os.path.join(folder, 'com')},
            'rack_report': os.path.join(folder, 'report.json'),
            'rack_log_dir': os.path.join(folder, 'traces'),
        }
        os.makedirs(os.path.join(folder, 'traces'), exist_ok=True)
    hosts['jig-d'].update({
        'ansible_connection': 'ssh',
        'ansible_host': '127.0.0.1',
        'ansible_port': ssh_port,
        'ansible_user': user_name(),
        'ansible_ssh_common_args': ssh_args,
        # No master connection to outlive the run.
        'ansible_ssh_args': '-o ControlMaster=no -o ControlPath=none',
        'rack_ports': ['COM1', 'COM2'],
    })
    if jig_c_ports:
        hosts['jig-c']['rack_ports'] = jig_c_ports
    inventory = {'all': {
        'vars': {
            'ansible_python_interpreter': '/usr/bin/python3',
            'rack_tool': tool,
            'rack_retries': 0,
            'rack_port_count': 2,
            'rack_unit_minutes': unit_minutes,
        },
        'hosts': hosts,
    }}
    # JSON is YAML: the inventory's own plugin reads it.
    with open(path, 'w') as f:
        json.dump(inventory, f, indent=2)


def run_playbook(procs, work, playbook, inventory, label, extra=()):
    env = dict(os.environ)
    for name in ('ANSIBLE_CALLBACKS_ENABLED', 'ANSIBLE_CALLBACK_WHITELIST', 'ANSIBLE_CONFIG'):
        env.pop(name, None)
    env.update({
        'ANSIBLE_STDOUT_CALLBACK': 'ansible.posix.json',
        'ANSIBLE_COLLECTIONS_PATH': os.path.join(work, 'collections'),
        'ANSIBLE_LOCAL_TEMP': os.path.join(work, 'ansible-local'),
        'ANSIBLE_REMOTE_TMP': os.path.join(work, 'ansible-remote'),
        'ANSIBLE_ASYNC_DIR': os.path.join(work, 'ansible-async'),
        'ANSIBLE_HOME': os.path.join(work, 'ansible-home'),
        'ANSIBLE_RETRY_FILES_ENABLED': 'false',
        'ANSIBLE_NOCOLOR': '1',
        'ANSIBLE_FORKS': '8',
        'PYTHONDONTWRITEBYTECODE': '1',
    })
    out_path = os.path.join(work, label + '.json')
    err_path = os.path.join(work, label + '.stderr')
    started = time.monotonic()
    with open(out_path, 'wb') as out, open(err_path, 'wb') as err:
        proc = subprocess.Popen(['ansible-playbook', '-i', inventory, playbook] + list(extra),
                                cwd=work, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                start_new_session=True, preexec_fn=end_with_parent)
        procs.started.append(proc)
        try:
            status = proc.wait(timeout=PLAYBOOK_LIMIT)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            raise RuntimeError('%s: ansible-playbook did not end within %d s' % (label, PLAYBOOK_LIMIT))
    seconds = time.monotonic() - started
    with open(out_path, errors='replace') as f:
        text = f.read()
    try:
        doc = json.loads(text)
    except ValueError:
        with open(err_path, errors='replace') as f:
            raise RuntimeError('%s: no JSON from ansible-playbook (status %d):\n%s\n%s'
                               % (label, status, text[-3000:], f.read()[-3000:]))
    print('%s: ansible-playbook exit status %d in %.1f s' % (label, status, seconds))
    return status, doc, seconds


def task_results(doc, name):
    """host -> the result of the task of that name (the last one if a
    batch ran it more than once)."""
    found = {}
    for play in doc.get('plays', []):
        for task in play.get('tasks', []):
            if task['task']['name'] == name:
                found.update(task['hosts'])
    return found


def units_of(result):
    return {u['port']: u for u in result.get('units') or []}


def wire_text(work, host, com):
    try:
        with open(os.path.join(work, host, 'com%d.wire' % com), 'rb') as f:
            return f.read()
    except FileNotFoundError:
        return b''


def images_sent(work, host, com, since=None):
    """Whether the unit got an image announcement ("%fw -l", "%fw -h") on
    its line, or saved an image (since the byte offset `since` of its wire
    log, when given)."""
    wire = wire_text(work, host, com)[since or 0:]
    announced = b'fw -l' in wire or b'fw -h' in wire
    if since is not None:
        return announced
    stem = os.path.join(work, host, 'com%d' % com)
    return announced or os.path.exists(stem + '.logic.bin') or os.path.exists(stem + '.mcu.bin')


def check_run_basics(label, doc, results_expected):
    stats = doc.get('stats', {})
    for host in HOSTS:
        s = stats.get(host, {})
        check(s.get('unreachable', 0) == 0, '%s: %s reached' % (label, host))
        changed, failed = results_expected[host]
        check((s.get('changed', 0) > 0) == changed,
              '%s: %s changed=%s (recap changed %s)' % (label, host, changed, s.get('changed')))
        check((s.get('failures', 0) > 0) == failed,
              '%s: %s failed=%s (recap failures %s)' % (label, host, failed, s.get('failures')))


def check_run(work, doc, status):
    label = 'check'
    check(status == 0, '%s: ansible-playbook exit status 0 (%d)' % (label, status))
    check_run_basics(label, doc, {h: (h in OUTDATED, False) for h in HOSTS})
    checks = task_results(doc, CHECK_TASK)
    updates = task_results(doc, UPDATE_TASK)
    for host in HOSTS:
        result = checks.get(host, {})
        units = units_of(result)
        check(sorted(units) == ['COM1', 'COM2'], '%s: %s identified COM1 and COM2 (%s)' % (label, host, sorted(units)))
        check(all(u['result'] == 'identified' for u in units.values()),
              '%s: %s every unit identified' % (label, host))
        want = 'update needed' if host in OUTDATED else 'up to date'
        check(all(u.get('verdict') == want for u in units.values()),
              '%s: %s verdicts %s (%s)' % (label, host, want, [u.get('verdict') for u in units.values()]))
        check(result.get('changed') is (host in OUTDATED), '%s: %s check task changed' % (label, host))
        diff = result.get('diff') or {}
        if isinstance(diff, list):
            diff = diff[0] if diff else {}
        if host in OUTDATED:
            check('COM1' in diff.get('before', '') and CARRIED_MCU in diff.get('after', ''),
                  '%s: %s diff names COM1 and the carried MCU version' % (label, host))
        check(updates.get(host, {}).get('skipped') is True, '%s: %s update task skipped' % (label, host))
        for com, _ in UNITS[host]:
            check(not images_sent(work, host, com), '%s: %s COM%d got no announcement and no image' % (label, host, com))


def update_run(work, doc, status, sshd_log):
    label = 'update'
    check(status == 2, '%s: ansible-playbook exit status 2, a host failed (%d)' % (label, status))
    check_run_basics(label, doc, {'jig-a': (False, False), 'jig-b': (True, False),
                                  'jig-c': (True, True), 'jig-d': (True, False)})
    # The canary: the update play's first batch is jig-a alone.
    batches = [set(t['hosts']) for p in doc.get('plays', []) for t in p.get('tasks', [])
               if t['task']['name'] == UPDATE_TASK]
    check(len(batches) == 2 and batches[0] == {'jig-a'} and batches[1] == {'jig-b', 'jig-c', 'jig-d'},
          '%s: jig-a updated alone first, then the others (%s)' % (label, batches))
    updates = task_results(doc, UPDATE_TASK)
    for host in HOSTS:
        result = updates.get(host, {})
        units = units_of(result)
        check('ansible_job_id' in result, '%s: %s update ran as an async job' % (label, host))
        check(sorted(units) == ['COM1', 'COM2'], '%s: %s report has COM1 and COM2' % (label, host))
        if host == 'jig-a':
            check(all(u['result'] == 'up-to-date' and u['written'] is False for u in units.values()),
                  '%s: jig-a units up to date, nothing written' % label)
            check(result.get('changed') is False, '%s: jig-a not changed' % label)
        elif host in ('jig-b', 'jig-d'):
            check(all(u['result'] == 'updated' and u['written'] is True
                      and (u.get('versions_after') or {}).get('mcu') == CARRIED_MCU for u in units.values()),
                  '%s: %s units updated to %s (%s)' % (label, host, CARRIED_MCU,
                                                       [(u['result'], u.get('message')) for u in units.values()]))
            check(result.get('changed') is True and not result.get('failed'), '%s: %s changed, passed' % (label, host))
        for com, _ in UNITS[host]:
            stem = os.path.join(work, host, 'com%d' % com)
            got = os.path.exists(stem + '.logic.bin') and os.path.exists(stem + '.mcu.bin')
            check(got == (host in OUTDATED), '%s: %s COM%d %s its images' % (label, host, com,
                                                                             'got' if host in OUTDATED else 'got none of'))
    jig_c = updates.get('jig-c', {})
    units = units_of(jig_c)
    check(jig_c.get('failed') is True, '%s: jig-c update task failed' % label)
    check(units.get('COM1', {}).get('result') == 'updated', '%s: jig-c COM1 updated all the same' % label)
    check(units.get('COM2', {}).get('result') == 'not-verified', '%s: jig-c COM2 not verified (%s)'
          % (label, units.get('COM2', {}).get('result')))
    msg = jig_c.get('msg', '')
    check('COM2' in msg and 'does not run the carried versions' in msg
          and 'COM1' not in msg, '%s: jig-c message names COM2 alone and why: %r' % (label, msg))
    fail = task_results(doc, FAIL_TASK)
    check(fail.get('jig-c', {}).get('failed') is True and 'COM2' in fail.get('jig-c', {}).get('msg', ''),
          '%s: jig-c ends failed, naming COM2' % label)
    check(all(fail.get(h, {}).get('skipped') is True for h in ('jig-a', 'jig-b', 'jig-d')),
          '%s: the other hosts do not fail' % label)
    shown = task_results(doc, SHOW_TASK)
    lines = shown.get('jig-c', {}).get('msg')
    check(isinstance(lines, list) and any(l.startswith('COM2 TX not-verified: 61.01.01') for l in lines)
          and any(l.startswith('COM1 TX updated: 61.01.01, XC7A75 1.02 -> 61.01.02') for l in lines),
          '%s: jig-c shows one line a unit: %r' % (label, lines))
    with open(sshd_log, errors='replace') as f:
        check('Accepted publickey' in f.read(), '%s: jig-d was reached through sshd' % label)


def again_run(work, doc, status, wire_sizes):
    label = 'again'
    check(status == 0, '%s: ansible-playbook exit status 0 (%d)' % (label, status))
    check_run_basics(label, doc, {h: (False, False) for h in HOSTS})
    updates = task_results(doc, UPDATE_TASK)
    for host in HOSTS:
        units = units_of(updates.get(host, {}))
        want = ['COM1'] if host == 'jig-c' else ['COM1', 'COM2']
        check(sorted(units) == want and all(u['result'] == 'up-to-date' for u in units.values()),
              '%s: %s units %s up to date (%s)' % (label, host, want,
                                                   [(p, u['result']) for p, u in units.items()]))
        for com, _ in UNITS[host]:
            check(not images_sent(work, host, com, since=wire_sizes[(host, com)]),
                  '%s: %s COM%d got no image this time' % (label, host, com))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--tool', required=True)
    parser.add_argument('--unit-sim', required=True)
    parser.add_argument('--collection', required=True)
    parser.add_argument('--work', required=True)
    # One quick-boot update of a simulated unit takes about a minute here
    # (59 s measured on a loaded 2-core machine: the tool's fixed reply
    # windows, not the load); four times that bounds the async job.
    parser.add_argument('--unit-minutes', type=float, default=4)
    args = parser.parse_args()
    args.tool = os.path.abspath(args.tool)
    args.unit_sim = os.path.abspath(args.unit_sim)

    missing = [p for p in ('ansible-playbook', 'ssh', 'ssh-keygen') if shutil.which(p) is None]
    if not os.access('/usr/sbin/sshd', os.X_OK):
        missing.append('/usr/sbin/sshd')
    if missing:
        print('missing: %s (scripts/install-deps installs ansible-core, openssh-server and openssh-client)'
              % ' '.join(missing))
        return 1

    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    collections = os.path.join(work, 'collections', 'ansible_collections', 'ravelin')
    os.makedirs(collections)
    os.symlink(os.path.abspath(args.collection), os.path.join(collections, 'fwupgrade'))
    playbook = os.path.join(os.path.abspath(args.collection), 'playbooks', 'update-racks.yml')
    inventory = os.path.join(work, 'inventory.yml')

    procs = Processes(work)
    started = time.monotonic()
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, stop_on_signal)
    try:
        start_units(procs, args.unit_sim, work)
        ssh_port, ssh_args, sshd_log = start_sshd(procs, work)
        write_inventory(inventory, work, args.tool, args.unit_minutes, ssh_port, ssh_args)

        status, doc, _ = run_playbook(procs, work, playbook, inventory, 'check', ['--check', '--diff'])
        check_run(work, doc, status)

        status, doc, _ = run_playbook(procs, work, playbook, inventory, 'update')
        update_run(work, doc, status, sshd_log)
        check(procs.hosts_settle(), 'update: no tool run left on the hosts')

        wire_sizes = {(h, c): len(wire_text(work, h, c)) for h in HOSTS for c, _ in UNITS[h]}
        write_inventory(inventory, work, args.tool, args.unit_minutes, ssh_port, ssh_args, jig_c_ports=['COM1'])
        status, doc, _ = run_playbook(procs, work, playbook, inventory, 'again')
        again_run(work, doc, status, wire_sizes)
    except RuntimeError as exc:
        check(False, str(exc))
    finally:
        procs.end_all()
    print('%.0f s in all; logs and reports in %s' % (time.monotonic() - started, work))
    if failures:
        print('%d checks failed' % len(failures))
        return 1
    print('every check held')
    return 0


if __name__ == '__main__':
    sys.exit(main())
