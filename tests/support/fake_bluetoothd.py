#!/usr/bin/python3
"""bluetoothd for the tests: python-dbusmock's BlueZ on the bus that
DBUS_SYSTEM_BUS_ADDRESS names.

Adapters and devices come from the command line. Device1.ConnectProfile
behaves as bluetoothd's does: it calls the caller's registered
Profile1.NewConnection with a connected socket and answers only after that
call returned. Behind the socket sits the --sim program (given --fd N) or,
for a dropped link, this script, which closes it as soon as the first
command arrives. "ready" on stdout once everything is on the bus.

  --adapter NAME [--powered-off NAME]
  --device ADAPTER ADDRESS ALIAS FLAGS
        FLAGS, comma-separated: paired, trusted, spp, nearby (found only by
        a discovery), rssi=N, answer=serve|refuse|silent|drop|hold|rogue,
        later=S (known only S seconds after the start), found=S (found S
        seconds after the first StartDiscovery), sim=ARG (one more
        argument for this device's --sim, e.g. sim=--keep-pin); a device is
        announced with InterfacesAdded as unpaired, and its flags follow in a
        PropertiesChanged, as bluetoothd tells of a device it pairs.
        hold: ConnectProfile is never answered ("held PATH" on stdout).
        rogue: before serving, another peer of the bus offers the caller's
        profile a socket of its own ("rogue NewConnection refused: ERROR"
        or "... accepted", then "rogue socket closed" or "... open").
        Without a registered profile ConnectProfile fails as bluetoothd's
        does: br-connection-profile-unavailable.
        pin=PIN: Device1.Pair asks the caller's registered agent for the
        PIN over the bus (RequestPinCode) and pairs the device when it is
        PIN, else answers AuthenticationFailed ("pair asked PATH", then
        "paired PATH" or "wrong pin PATH"; "agent refused ERROR" when the
        agent turns the request down).
        pair=hold|reject|probe: hold never answers Pair ("pair held PATH")
        until CancelPairing, which it answers AuthenticationCanceled
        ("pairing cancelled PATH"); reject answers AuthenticationRejected;
        probe first asks the agent for another device's PIN ("other device
        refused: ERROR" or "other device answered") and, from another peer
        of the bus, for this one's ("rogue refused: ERROR" or "rogue
        answered").
        A device with a PIN is a module in range: a discovery sees it again
        (its RSSI changes), RemoveDevice forgets it
        ("removed PATH"), and a discovery finds it again, unpaired. Its PIN
        is the one the --sim keeps in its --state file, once there is one.
  --desktop-agent       another peer of the bus registers an agent of its
        own as the default one, as a person's desktop does ("desktop agent
        registered" after "ready"); bluetoothd asks it for a device whose
        pairing program has no agent ("desktop agent asked PATH").
  --log FILE            the mock's log of the calls it took (default: none)
  --tell-found          "found PATH" on stdout as a found=S device is found
  --sim PROGRAM ARG...  last; "{address}" in an ARG becomes the address
"""

import argparse
import os
import socket
import subprocess
import sys

import dbus
import dbus.bus
import dbus.mainloop.glib
import dbus.service
import dbusmock
from dbusmock import mockobject
from gi.repository import GLib

DEVICE = 'org.bluez.Device1'
ADAPTER = 'org.bluez.Adapter1'
PROFILE = 'org.bluez.Profile1'
SERIAL_PORT = '00001101-0000-1000-8000-00805f9b34fb'
AUDIO_SINK = '0000110b-0000-1000-8000-00805f9b34fb'
AGENT = 'org.bluez.Agent1'
AGENT_MANAGER = 'org.bluez.AgentManager1'
FAILED = 'org.bluez.Error.Failed'
STRANGER = '/org/bluez/hci0/dev_11_22_33_44_55_66'

profiles = {}  # profile path by the bus name that registered it
children = []
dropped_links = []
held = set()  # device object paths whose ConnectProfile is never answered
agents = {}  # agent path by the bus name that registered it
pairings = {}  # (PIN, mode) by device object path
held_pairs = {}  # the unanswered Pair call by device object path
entries = {}  # the --device entry by device object path
found_later = []  # (seconds, entry) found that long after the first discovery
default_agent = []  # the (bus name, path) of the default agent, when one is
desktop = []  # the desktop's bus connection and agent, kept alive


def parse():
    parser = argparse.ArgumentParser()
    parser.add_argument('--adapter', action='append', default=[])
    parser.add_argument('--powered-off', action='append', default=[])
    parser.add_argument('--device', nargs=4, action='append', default=[])
    parser.add_argument('--log', default=os.devnull)
    parser.add_argument('--desktop-agent', action='store_true')
    parser.add_argument('--tell-found', action='store_true')
    parser.add_argument('--sim', nargs=argparse.REMAINDER, default=[])
    return parser.parse_args()


def remember_profiles(_bus, message):
    """Keeps who registered which profile: the mock's methods never see
    the caller."""
    if (message.get_type() == 1 and message.get_member() == 'RegisterProfile'
            and message.get_interface() == 'org.bluez.ProfileManager1'):
        profiles[message.get_sender()] = message.get_args_list()[0]
    return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED


def remember_agents(_bus, message):
    """Keeps who registered which agent, as bluetoothd asks the agent of
    the program that called Pair."""
    if message.get_type() == 1 and message.get_interface() == AGENT_MANAGER:
        if message.get_member() == 'RegisterAgent':
            agents[message.get_sender()] = message.get_args_list()[0]
        elif message.get_member() == 'UnregisterAgent':
            agents.pop(message.get_sender(), None)
        elif message.get_member() == 'RequestDefaultAgent':
            default_agent[:] = [(message.get_sender(),
                                 message.get_args_list()[0])]
    return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED


def reply_to(bus, call, error=None, text=''):
    if error is None:
        bus.send_message(dbus.lowlevel.MethodReturnMessage(call))
    else:
        bus.send_message(dbus.lowlevel.ErrorMessage(call, error, text))


def mark_paired(path):
    device = mockobject.objects[path]
    device.paired = True
    changed = {'Paired': dbus.Boolean(True, variant_level=1)}
    device.props[DEVICE].update(changed)
    device.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                      [DEVICE, dbus.Dictionary(changed, signature='sv'),
                       dbus.Array([], signature='s')])


def probe_agent(bus, sender, agent, path):
    """Asks the agent what it must not tell: another device's PIN, and
    this one's from a peer that is not bluetoothd."""
    askers = [('other device', bus, STRANGER)]
    rogue = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])
    askers.append(('rogue', rogue, path))
    for who, asker, asked in askers:
        try:
            asker.call_blocking(sender, agent, AGENT, 'RequestPinCode', 'o',
                                [dbus.ObjectPath(asked)], timeout=5)
            print(who, 'answered', flush=True)
        except dbus.exceptions.DBusException as e:
            print(who, 'refused:', e.get_dbus_name(), flush=True)
    rogue.close()


def state_file(options, path):
    """The --state file of the device's simulator, when it keeps one."""
    sim = options.sim
    if '--state' not in sim or sim.index('--state') + 1 >= len(sim):
        return None
    address = entries[path][1]
    return sim[sim.index('--state') + 1].replace('{address}', address)


def current_pin(options, path):
    """The PIN the module has now: the one its simulator kept last."""
    pin = pairings[path][0]
    kept = state_file(options, path)
    if kept is not None and os.path.exists(kept):
        with open(kept, encoding='latin-1') as state:
            for line in state:
                if line.startswith('pin='):
                    pin = line[4:].rstrip('\n')
    return pin


def agent_for(sender):
    """bluetoothd asks the pairing program's own agent, else the default
    one."""
    if sender in agents:
        return sender, agents[sender]
    if default_agent:
        return default_agent[0]
    return None, None


def start_pairing(bus, options, call, path):
    pin = current_pin(options, path)
    mode = pairings[path][1]
    sender = call.get_sender()
    print('pair asked', path, flush=True)
    if mode == 'hold':
        held_pairs[path] = call
        print('pair held', path, flush=True)
        return
    if mode == 'reject':
        reply_to(bus, call, 'org.bluez.Error.AuthenticationRejected',
                 'Authentication Rejected')
        return
    sender, agent = agent_for(sender)
    if agent is None:
        reply_to(bus, call, 'org.bluez.Error.AuthenticationFailed', 'no agent')
        return
    if mode == 'probe':
        probe_agent(bus, sender, agent, path)

    def given(code):
        if str(code) == pin:
            mark_paired(path)
            print('paired', path, flush=True)
            reply_to(bus, call)
        else:
            print('wrong pin', path, flush=True)
            reply_to(bus, call, 'org.bluez.Error.AuthenticationFailed',
                     'Authentication Failed')

    def refused(error):
        print('agent refused', error.get_dbus_name(), flush=True)
        reply_to(bus, call, 'org.bluez.Error.AuthenticationCanceled',
                 'Authentication Canceled')

    bus.call_async(sender, agent, AGENT, 'RequestPinCode', 'o',
                   [dbus.ObjectPath(path)], given, refused, timeout=10)


def pair_devices(bus, options, message):
    """Pair and CancelPairing of the devices with a PIN; CancelPairing
    goes on to the mock as well, which logs it."""
    if message.get_type() != 1 or message.get_interface() != DEVICE:
        return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED
    path = message.get_path()
    if message.get_member() == 'Pair' and path in pairings:
        start_pairing(bus, options, message, path)
        return dbus.lowlevel.HANDLER_RESULT_HANDLED
    if message.get_member() == 'CancelPairing' and path in held_pairs:
        reply_to(bus, held_pairs.pop(path),
                 'org.bluez.Error.AuthenticationCanceled',
                 'Authentication Canceled')
        print('pairing cancelled', path, flush=True)
    return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED


def hold_connections(_bus, message):
    """Takes a held device's ConnectProfile without ever answering it, as
    a bluetoothd waits on a device out of range."""
    if (message.get_type() == 1 and message.get_member() == 'ConnectProfile'
            and message.get_path() in held):
        print('held', message.get_path(), flush=True)
        return dbus.lowlevel.HANDLER_RESULT_HANDLED
    return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED


def offer_rogue_socket(device_path):
    """Another program on the bus hands the registered profile a socket
    of its own, as if it were bluetoothd."""
    sender, path = list(profiles.items())[-1]
    rogue = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])
    ours, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        rogue.call_blocking(sender, path, PROFILE, 'NewConnection', 'oha{sv}',
                            [dbus.ObjectPath(device_path),
                             dbus.types.UnixFd(ours), {}], timeout=5)
        print('rogue NewConnection accepted', flush=True)
    except dbus.exceptions.DBusException as e:
        print('rogue NewConnection refused:', e.get_dbus_name(), flush=True)
    ours.close()
    theirs.settimeout(0.5)
    try:
        closed = theirs.recv(1) == b''
    except socket.timeout:
        closed = False
    print('rogue socket', 'closed' if closed else 'open', flush=True)
    theirs.close()
    rogue.close()


def drop_on_first_command(source, _condition):
    source.recv(4096)
    source.close()
    return False


def connect_profile(bus, options, address, answer):
    def method(device, uuid):
        if uuid.lower() != SERIAL_PORT:
            raise dbus.exceptions.DBusException('Profile unavailable',
                                                name=FAILED)
        if answer == 'refuse':
            raise dbus.exceptions.DBusException('br-connection-refused',
                                                name=FAILED)
        if answer == 'silent':
            return
        if not profiles:
            raise dbus.exceptions.DBusException(
                'br-connection-profile-unavailable', name=FAILED)
        if answer == 'rogue':
            offer_rogue_socket(device.path)
        ours, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_STREAM)
        if answer == 'drop':
            dropped_links.append(theirs)
            GLib.io_add_watch(theirs, GLib.IO_IN | GLib.IO_HUP,
                              drop_on_first_command)
        else:
            extra = [f[4:] for f in entries[device.path][3].split(',')
                     if f.startswith('sim=')]
            args = [arg.replace('{address}', address)
                    for arg in options.sim + extra]
            fd = theirs.fileno()
            children.append(subprocess.Popen(args + ['--fd', str(fd)],
                                             pass_fds=[fd]))
            theirs.close()
        sender, path = list(profiles.items())[-1]
        bus.call_blocking(sender, path, PROFILE, 'NewConnection', 'oha{sv}',
                          [dbus.ObjectPath(device.path),
                           dbus.types.UnixFd(ours), {}], timeout=10)
        ours.close()
    return method


def add_device(bus, options, main, entry):
    adapter, address, alias, flags = entry
    flags = flags.split(',')
    path = main.AddDevice(adapter, address, alias)
    entries[path] = entry
    device = mockobject.objects[path]
    properties = device.props[DEVICE]
    uuid = SERIAL_PORT if 'spp' in flags else AUDIO_SINK
    changed = {
        'Paired': dbus.Boolean('paired' in flags, variant_level=1),
        'Trusted': dbus.Boolean('trusted' in flags, variant_level=1),
        'UUIDs': dbus.Array([uuid], signature='s', variant_level=1),
    }
    properties.pop('RSSI', None)
    answer = 'serve'
    pin = None
    mode = None
    for flag in flags:
        if flag.startswith('rssi='):
            changed['RSSI'] = dbus.Int16(int(flag[5:]), variant_level=1)
        if flag.startswith('answer='):
            answer = flag[7:]
        if flag.startswith('pin='):
            pin = flag[4:]
        if flag.startswith('pair='):
            mode = flag[5:]
    if pin is not None or mode is not None:
        pairings[path] = (pin, mode)
    properties.update(changed)
    # As bluetoothd tells of a device it resolved and paired after announcing it.
    device.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                      [DEVICE, dbus.Dictionary(changed, signature='sv'),
                       dbus.Array([] if 'RSSI' in changed else ['RSSI'],
                                  signature='s')])
    device.AddMethod(DEVICE, 'ConnectProfile', 's', '',
                     connect_profile(bus, options, address, answer))
    if answer == 'hold':
        held.add(path)


def discovering(adapter):
    return bool(mockobject.objects['/org/bluez/' + adapter].props[ADAPTER]
                ['Discovering'])


def find_again(bus, options, root, nearby, path):
    """A module in range is found again, unpaired, by a discovery."""
    adapter, address, alias, flags = entries[path]
    kept = [f for f in flags.split(',')
            if f not in ('paired', 'trusted') and not f.startswith('later=')
            and not f.startswith('found=')]
    entry = [adapter, address, alias, ','.join(kept)]
    if discovering(adapter):
        add_device(bus, options, root, entry)
    else:
        nearby.append(entry)
    return False


def forget_devices(bus, options, root, nearby, message):
    """RemoveDevice goes on to the mock, which removes the object; a module
    in range is there to be found again."""
    if (message.get_type() == 1 and message.get_interface() == ADAPTER
            and message.get_member() == 'RemoveDevice'):
        path = str(message.get_args_list()[0])
        if path in pairings and path in mockobject.objects:
            print('removed', path, flush=True)
            pairings.pop(path)
            GLib.timeout_add(200, lambda: find_again(bus, options, root,
                                                    nearby, path))
    return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED


class DesktopAgent(dbus.service.Object):
    """A person's desktop agent, which gives any PIN it is asked for."""

    @dbus.service.method(AGENT, in_signature='o', out_signature='s')
    def RequestPinCode(self, device):
        print('desktop agent asked', device, flush=True)
        return '0000'


def start_desktop_agent():
    connection = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])
    agent = DesktopAgent(connection, '/org/desktop/agent')
    manager = connection.get_object('org.bluez', '/org/bluez')
    desktop.extend([connection, agent])

    def failed(error):
        print('desktop agent refused', error.get_dbus_name(), flush=True)

    def registered():
        manager.RequestDefaultAgent(
            '/org/desktop/agent', dbus_interface=AGENT_MANAGER,
            reply_handler=lambda: print('desktop agent registered',
                                        flush=True),
            error_handler=failed)

    manager.RegisterAgent('/org/desktop/agent', 'KeyboardDisplay',
                          dbus_interface=AGENT_MANAGER,
                          reply_handler=registered, error_handler=failed)
    return False


def main():
    options = parse()
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    bus.add_message_filter(remember_profiles)
    bus.add_message_filter(hold_connections)
    bus.add_message_filter(remember_agents)
    bus.add_message_filter(lambda b, m: pair_devices(bus, options, m))
    name = dbus.service.BusName('org.bluez', bus, do_not_queue=True)
    root = mockobject.DBusMockObject(name, '/', dbusmock.OBJECT_MANAGER_IFACE,
                                     {}, options.log, True)
    mockobject.objects['/'] = root
    root.AddTemplate('bluez5', None)

    nearby = []
    for adapter in options.adapter:
        path = root.AddAdapter(adapter, 'test host')
        powered = adapter not in options.powered_off
        mockobject.objects[path].props[ADAPTER]['Powered'] = dbus.Boolean(
            powered, variant_level=1)
    for entry in options.device:
        flags = entry[3].split(',')
        later = [float(f[6:]) for f in flags if f.startswith('later=')]
        found = [float(f[6:]) for f in flags if f.startswith('found=')]
        if found:
            found_later.append((found[0], entry))
        elif 'nearby' in flags:
            nearby.append(entry)
        elif later:
            # Paired by a person while the program already runs.
            GLib.timeout_add(int(later[0] * 1000),
                             lambda s=entry: add_device(bus, options, root, s))
        else:
            add_device(bus, options, root, entry)

    def start_discovery(adapter):
        adapter.props[ADAPTER]['Discovering'] = True
        # A module known before and in range is seen again: its RSSI changes.
        for path in list(pairings):
            if path in mockobject.objects:
                changed = {'RSSI': dbus.Int16(-50, variant_level=1)}
                mockobject.objects[path].props[DEVICE].update(changed)
                mockobject.objects[path].EmitSignal(
                    dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                    [DEVICE, dbus.Dictionary(changed, signature='sv'),
                     dbus.Array([], signature='s')])
        while nearby:
            add_device(bus, options, root, nearby.pop())
        def found(entry):
            add_device(bus, options, root, entry)
            if options.tell_found:
                print('found /org/bluez/%s/dev_%s'
                      % (entry[0], entry[1].replace(':', '_')), flush=True)

        while found_later:
            seconds, entry = found_later.pop(0)
            GLib.timeout_add(int(seconds * 1000), lambda s=entry: found(s))

    bus.add_message_filter(
        lambda b, m: forget_devices(bus, options, root, nearby, m))

    for adapter in options.adapter:
        mockobject.objects['/org/bluez/' + adapter].AddMethod(
            ADAPTER, 'StartDiscovery', '', '', start_discovery)

    if options.desktop_agent:
        GLib.idle_add(start_desktop_agent)
    print('ready', flush=True)
    try:
        GLib.MainLoop().run()
    finally:
        for child in children:
            child.terminate()
            child.wait()


if __name__ == '__main__':
    sys.exit(main())
