#!/usr/bin/env python3
"""What the rack playbook costs over the tool alone, with real line timing.

  bench/ansible_bench.py [--tool build/bin/RavelinFwUpgrade] [--unit-sim build/bin/unit-sim]
                         [--hosts 4] [--units 8] [--work DIR]

First one outdated unit alone, updated by the tool itself (`--all`); then
ansible/playbooks/update-racks.yml with Debian's ansible-playbook on HOSTS
jig hosts of this machine (local connection), each with UNITS outdated
units of the same kind in a COM folder of its own. Every unit is a
`unit-sim --pace` at 115200 baud that boots in its default 145 s, and the
tool is the product build: each update takes its real time, about 7
minutes. The playbook runs with -e rack_canary=false: the canary host
would add a whole update's time before the others by design, which says
nothing about what Ansible costs (with it the ratio is about 2).

Prints the wall time of each, their ratio, and Ansible's own share of the
playbook's wall time: the wall time less the tool's on the slowest host,
for the check and the update (each tool run's time is its slowest port's
`seconds`, which the module returns with every unit's record). Exit status
0 when every unit was updated and the ratio is at most 1.05, 1 otherwise.
"""

import argparse
import datetime
import json
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, 'tests', 'ansible', 'integration'))
sys.dont_write_bytecode = True
import playbook_racks as racks  # noqa: E402  the integration test's helpers

UNIT_OPTIONS = ['--pace', '--mcu-version', '61.1.1']
TARGET_RATIO = 1.05


def start_units(procs, unit_sim, com_dir, count, options):
    os.makedirs(com_dir)
    stems = []
    for com in range(1, count + 1):
        stem = os.path.join(com_dir, '..', 'unit%d' % com)
        kind = 'tx' if com % 2 else 'rx'
        procs.start([unit_sim, '--dir', com_dir, '--com', str(com), '--type', kind,
                     '--ready-file', stem + '.ready'] + options, stem + '.log')
        stems.append(stem)
    for stem in stems:
        if not racks.wait_for(lambda: os.path.exists(stem + '.ready') and os.path.getsize(stem + '.ready') > 0, 30):
            raise RuntimeError('unit-sim %s did not start' % stem)


def slowest_port(units):
    return max([u.get('seconds') or 0 for u in units] or [0])


def when(text):
    """Seconds since the epoch of the json callback's UTC time stamps."""
    return datetime.datetime.strptime(text, '%Y-%m-%dT%H:%M:%S.%fZ').replace(
        tzinfo=datetime.timezone.utc).timestamp()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--tool', default=os.path.join(ROOT, 'build', 'bin', 'RavelinFwUpgrade'))
    parser.add_argument('--unit-sim', default=os.path.join(ROOT, 'build', 'bin', 'unit-sim'))
    parser.add_argument('--hosts', type=int, default=4)
    parser.add_argument('--units', type=int, default=8)
    parser.add_argument('--work', default=os.path.join(ROOT, 'build', 'ansible-bench'))
    parser.add_argument('--quick', action='store_true',
                        help='the quick-boot tool and unpaced units that boot in 8 s: the bench tried in a'
                             ' few minutes, its figures not those of real lines')
    args = parser.parse_args()
    options = UNIT_OPTIONS
    if args.quick:
        args.tool = os.path.join(os.path.dirname(args.tool), 'RavelinFwUpgrade-quickboot')
        options = ['--mcu-version', '61.1.1', '--boot-ms', '8000']
    tool = os.path.abspath(args.tool)
    unit_sim = os.path.abspath(args.unit_sim)
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    collections = os.path.join(work, 'collections', 'ansible_collections', 'ravelin')
    os.makedirs(collections)
    os.symlink(os.path.join(ROOT, 'ansible'), os.path.join(collections, 'fwupgrade'))
    playbook = os.path.join(ROOT, 'ansible', 'playbooks', 'update-racks.yml')
    hosts = ['jig-%d' % (n + 1) for n in range(args.hosts)]

    procs = racks.Processes(work)
    try:
        # One unit alone, the tool without Ansible.
        start_units(procs, unit_sim, os.path.join(work, 'alone', 'com'), 1, options)
        report = os.path.join(work, 'alone', 'report.json')
        started = time.monotonic()
        run = subprocess.run([tool, '--all', '--no-wait', '--report', report, '--log-dir',
                              os.path.join(work, 'alone')],
                             env=dict(os.environ, RAVELIN_COM_DIR=os.path.join(work, 'alone', 'com')),
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             timeout=1200)
        alone = time.monotonic() - started
        with open(report) as f:
            alone_ports = json.load(f)['ports']
        print('one unit alone: %.1f s wall, exit status %d, port %.1f s, %s'
              % (alone, run.returncode, slowest_port(alone_ports), alone_ports[0]['result']))
        ok = run.returncode == 0 and alone_ports[0]['result'] == 'updated'

        # The rack: HOSTS x UNITS through the playbook.
        inventory = {'all': {'vars': {
            'ansible_connection': 'local',
            'ansible_python_interpreter': '/usr/bin/python3',
            'rack_tool': tool,
            'rack_retries': 0,
            'rack_port_count': args.units,
            # A 7-minute unit, with room.
            'rack_unit_minutes': 10,
        }, 'hosts': {}}}
        for host in hosts:
            folder = os.path.join(work, host)
            start_units(procs, unit_sim, os.path.join(folder, 'com'), args.units, options)
            inventory['all']['hosts'][host] = {
                'rack_environment': {'RAVELIN_COM_DIR': os.path.join(folder, 'com')},
                'rack_report': os.path.join(folder, 'report.json'),
                'rack_log_dir': folder,
            }
        inventory_path = os.path.join(work, 'inventory.yml')
        with open(inventory_path, 'w') as f:
            json.dump(inventory, f, indent=2)
        racks.PLAYBOOK_LIMIT = 1500
        status, doc, wall = racks.run_playbook(procs, work, playbook, inventory_path, 'playbook',
                                               ['-e', 'rack_canary=false', '-f', str(max(5, args.hosts))])
        checks = racks.task_results(doc, racks.CHECK_TASK)
        updates = racks.task_results(doc, racks.UPDATE_TASK)
        check_tool = max(slowest_port(checks.get(h, {}).get('units') or []) for h in hosts)
        update_tool = max(slowest_port(updates.get(h, {}).get('units') or []) for h in hosts)
        updated = sum(1 for h in hosts for u in updates.get(h, {}).get('units') or [] if u['result'] == 'updated')
        ok = ok and status == 0 and updated == args.hosts * args.units
        ansible = wall - check_tool - update_tool
        # Where Ansible's share goes, from the json callback's times: the
        # time of the process around the plays (Python, the inventory, the
        # playbook read), each task beyond the tool's own time, the rest. A
        # task of the free check play has an entry a host: its span is from
        # the first start to the last end.
        def spans(entries):
            starts = [when(e['duration']['start']) for e in entries if e['duration'].get('start')]
            ends = [when(e['duration']['end']) for e in entries if e['duration'].get('end')]
            return (min(starts), max(ends)) if starts and ends else (0.0, 0.0)

        def took(name):
            start, end = spans([t['task'] for p in doc['plays'] for t in p['tasks'] if t['task']['name'] == name])
            return end - start
        first, last = spans([p['play'] for p in doc['plays']])
        outside = wall - (last - first)
        check_task = took(racks.CHECK_TASK)
        update_task = took(racks.UPDATE_TASK)
        rest = wall - outside - check_task - update_task
        ratio = wall / alone
        print('playbook, %d hosts x %d units: %.1f s wall, exit status %d, %d of %d units updated'
              % (args.hosts, args.units, wall, status, updated, args.hosts * args.units))
        print('  the tool: check %.1f s, update %.1f s (slowest port of the slowest host)' % (check_tool, update_tool))
        print('  Ansible itself: %.1f s (%.1f%% of the wall time)' % (ansible, 100 * ansible / wall))
        print('    before and after the playbook (Python, inventory, playbook): %.1f s' % outside)
        print('    check task %.1f s, of it beyond the tool %.1f s' % (check_task, check_task - check_tool))
        print('    update task (async, polled every 5 s) %.1f s, of it beyond the tool %.1f s'
              % (update_task, update_task - update_tool))
        print('    every other task, between the tasks: %.1f s' % rest)
        print('ratio playbook / one unit alone: %.3f (target at most %.2f)' % (ratio, TARGET_RATIO))
        return 0 if ok and ratio <= TARGET_RATIO else 1
    except (RuntimeError, subprocess.TimeoutExpired) as exc:
        print('ansible_bench: %s' % exc)
        return 1
    finally:
        procs.end_all()


if __name__ == '__main__':
    sys.exit(main())
