#!/usr/bin/python3
"""The unattended Bluetooth station's pace, as the person at the line times it.

On a private system bus with the stand-in bluetoothd (tests/support/fake_bluetoothd.py), MODULES
modules nobody paired are found one after another by the station's own discovery, with a printer and
a phone among them that it must leave alone. One `zk405-cli station --bluetooth --discover --match
--pair-pin --unpair-after --once MODULES` takes them all. Printed: the whole command's time; for each
module, from its appearance in the discovery to the first command it received, less the time the
stand-in's pairing took (what the station itself adds); and what was left behind: bonds, agents, the
discovery, records that are not whole. Not a test.

Usage: bench/bluetooth_station_bench.py [BUILD_DIR] [MODULES] [SPACING_S]
       (default build/release, 50 modules, 0.3 s apart)
"""

import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'build', 'release'))
MODULES = int(sys.argv[2]) if len(sys.argv) > 2 else 50
SPACING = float(sys.argv[3]) if len(sys.argv) > 3 else 0.3
CLI = os.path.join(BUILD, 'tools', 'zk405-cli')
SIM = os.path.join(BUILD, 'tools', 'zk405-sim')
FAKE = os.path.join(ROOT, 'tests', 'support', 'fake_bluetoothd.py')

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>system</type><listen>unix:dir={dir}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/>
<allow send_type="method_call"/><allow send_type="signal"/><allow send_type="method_return"/>
<allow send_type="error"/><allow receive_type="method_call"/><allow receive_type="signal"/>
<allow receive_type="method_return"/><allow receive_type="error"/></policy></busconfig>
"""


def address(index):
    return 'AA:BB:CC:%02X:%02X:01' % (index // 256, index % 256)


def path_of(addr):
    return '/org/bluez/hci0/dev_' + addr.replace(':', '_')


def scene():
    devices = []
    for index in range(MODULES):
        devices += ['--device', 'hci0', address(index), 'ZK405',
                    'spp,pin=1234,found=%.3f' % (0.3 + index * SPACING)]
    # Found among the modules and to be left alone: no match, and no Serial Port Profile.
    devices += ['--device', 'hci0', 'AA:BB:CC:FF:00:01', 'Drukarka', 'spp,pin=1234,found=0.45']
    devices += ['--device', 'hci0', 'AA:BB:CC:FF:00:02', 'ZK405 Telefon', 'pin=1234,found=0.6']
    return devices


class Timed:
    """Reads a process's output on a thread, keeping each line with the time it arrived."""

    def __init__(self, stream):
        self.lines = []
        self.thread = threading.Thread(target=self.read, args=(stream,), daemon=True)
        self.thread.start()

    def read(self, stream):
        for line in iter(stream.readline, b''):
            self.lines.append((time.monotonic(), line.decode('utf-8', 'replace').rstrip('\n')))


def median_p90(values):
    ordered = sorted(values)
    return statistics.median(ordered), ordered[min(len(ordered) - 1, int(0.9 * len(ordered)))]


def station_times(station):
    """The time of each module's first command: its first step on the line, after the pairing."""
    first = {}
    for at, line in station.lines:
        try:
            event = json.loads(line)
        except ValueError:
            continue
        if event.get('event') != 'progress' or event.get('step') in ('open', 'pair', 'prove-pin', 'unpair'):
            continue
        first.setdefault(event['port'][len('bt:'):], at)
    return first


def bluez_times(bluez):
    """found, pair asked and paired, each by the module's address."""
    times = {'found': {}, 'pair asked': {}, 'paired': {}}
    for at, line in bluez.lines:
        match = re.fullmatch(r'(found|pair asked|paired) /org/bluez/hci0/dev_(\S+)', line)
        if match:
            times[match.group(1)].setdefault(match.group(2).replace('_', ':'), at)
    return times


def left_behind(log, ledger):
    calls = open(log, encoding='utf-8', errors='replace').read()
    problems = []
    registered, unregistered = calls.count('RegisterAgent "/org/zk405/agent"'), calls.count('UnregisterAgent')
    if registered != unregistered:
        problems.append('agent registered %d times, unregistered %d times' % (registered, unregistered))
    if calls.rfind('StopDiscovery') < calls.rfind('StartDiscovery'):
        problems.append('the discovery was left running')
    removed = sum(1 for index in range(MODULES) if ('RemoveDevice "%s"' % path_of(address(index))) in calls)
    if removed != MODULES:
        problems.append('%d of %d bonds left' % (MODULES - removed, MODULES))
    programmed = 0
    with open(ledger, encoding='utf-8') as records:
        for number, line in enumerate(records, 1):
            try:
                record = json.loads(line)
            except ValueError:
                problems.append('ledger line %d is not whole' % number)
                continue
            programmed += record.get('event') != 'started' and record.get('result') == 'programmed'
    if programmed != MODULES:
        problems.append('%d of %d modules programmed' % (programmed, MODULES))
    return problems


def main():
    for program in (CLI, SIM):
        if not os.access(program, os.X_OK):
            sys.exit('%s is not built: cmake --build %s' % (program, BUILD))
    work = tempfile.mkdtemp(prefix='zk405-bt-bench-')
    os.environ['XDG_RUNTIME_DIR'] = work
    config = os.path.join(work, 'system-bus.conf')
    with open(config, 'w', encoding='utf-8') as out:
        out.write(BUS_CONFIG.format(dir=work))
    daemon = subprocess.Popen(['dbus-daemon', '--nofork', '--print-address', '--config-file=' + config],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    children = [daemon]
    try:
        os.environ['DBUS_SYSTEM_BUS_ADDRESS'] = daemon.stdout.readline().decode().strip()
        log, ledger = os.path.join(work, 'bluez.log'), os.path.join(work, 'ledger.jsonl')
        fake = subprocess.Popen(['/usr/bin/python3', FAKE, '--adapter', 'hci0'] + scene() +
                                ['--tell-found', '--log', log, '--sim', SIM], stdout=subprocess.PIPE,
                                stderr=open(os.path.join(work, 'bluez.err'), 'wb'))
        children.append(fake)
        if fake.stdout.readline().strip() != b'ready':
            sys.exit('the stand-in bluetoothd did not start: ' + open(os.path.join(work, 'bluez.err')).read())
        bluez = Timed(fake.stdout)
        os.mkdir(os.path.join(work, 'dev'))
        start = time.monotonic()
        cli = subprocess.Popen([CLI, 'station', '--bluetooth', '--discover', '--match', 'zk405*', '--pair-pin',
                                '1234', '--pin', '4321', '--name', 'Linia {n}', '--unpair-after', '--once',
                                str(MODULES), '--watch-dir', os.path.join(work, 'dev'), '--ledger', ledger,
                                '--json'], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               cwd=work)  # its traffic logs with the rest
        children.append(cli)
        station = Timed(cli.stdout)
        status = cli.wait(timeout=60 + MODULES * SPACING * 4)
        whole = time.monotonic() - start
        station.thread.join(5)
        time.sleep(0.5)  # the stand-in's last lines
        first, told = station_times(station), bluez_times(bluez)
        added, pairing = [], []
        for addr, commanded in first.items():
            found, asked, paired = (told[key].get(addr) for key in ('found', 'pair asked', 'paired'))
            if None in (found, asked, paired):
                continue
            pairing.append((paired - asked) * 1000)
            added.append((commanded - found) * 1000 - pairing[-1])
        print('%d modules through one station: status %d, %.1f s (modules found %.2f s apart)'
              % (MODULES, status, whole, SPACING))
        if added:
            print('found to first command, less the pairing: median %.0f ms, p90 %.0f ms, max %.0f ms (%d modules)'
                  % (*median_p90(added), max(added), len(added)))
            print('the stand-in\'s pairing: median %.0f ms, p90 %.0f ms' % median_p90(pairing))
        problems = left_behind(log, ledger)
        print('left behind: ' + ('; '.join(problems) if problems else 'nothing (no bond, no agent, '
                                 'discovery stopped, every record whole)'))
        return 0 if status == 0 and not problems else 1
    finally:
        for child in reversed(children):
            child.terminate()
            try:
                child.wait(5)
            except subprocess.TimeoutExpired:
                child.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
