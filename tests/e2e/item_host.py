#!/usr/bin/python3
"""A status-notifier watcher with its own host, for the end-to-end scenarios on Wayland.

    item_host.py LOG

Owns org.kde.StatusNotifierWatcher on the session bus and registers a host with itself, as a
desktop panel's tray does, so that a program asking for a host finds one. Every item that
registers is written to LOG as

    item SERVICE PATH PID

(the bus name and object of the item, and the process of the connection that registered
it), and "gone SERVICE" when its name leaves the bus; "ready" once the watcher and the host
are on the bus. Ends on SIGTERM or SIGINT, which takes both off the bus.
"""
import os
import signal
import sys

from gi.repository import Gio, GLib

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_XML = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
    <signal name="StatusNotifierHostUnregistered"/>
  </interface>
</node>
"""

log = open(sys.argv[1], "a", buffering=1)
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
loop = GLib.MainLoop()
items = {}  # bus name -> "name/path" as listed
owned = set()


def emit(name, *args):
    body = GLib.Variant("(s)", args) if args else None
    bus.emit_signal(None, "/StatusNotifierWatcher", WATCHER, name, body)


def process_of(sender):
    reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                          "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                          GLib.Variant("(s)", (sender,)), GLib.VariantType("(u)"),
                          Gio.DBusCallFlags.NONE, -1, None)
    return reply.unpack()[0]


def on_call(_conn, sender, _path, _iface, method, params, invocation):
    (service,) = params.unpack()
    if method == "RegisterStatusNotifierItem":
        # An item names its bus name, or only its object path on the caller's connection.
        name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
        items[name] = name + path
        log.write("item %s %s %d\n" % (name, path, process_of(sender)))
        emit("StatusNotifierItemRegistered", name + path)
    else:
        emit("StatusNotifierHostRegistered")
    invocation.return_value(None)


def on_property(_conn, _sender, _path, _iface, name):
    if name == "RegisteredStatusNotifierItems":
        return GLib.Variant("as", sorted(items.values()))
    if name == "IsStatusNotifierHostRegistered":
        return GLib.Variant("b", True)
    return GLib.Variant("i", 0)


def on_owner_changed(_conn, _sender, _path, _iface, _signal, params):
    name, _old, new = params.unpack()
    if not new and name in items:
        emit("StatusNotifierItemUnregistered", items.pop(name))
        log.write("gone %s\n" % name)


def on_acquired(_conn, name):
    owned.add(name)
    if len(owned) == 2:
        emit("StatusNotifierHostRegistered")
        log.write("ready\n")


def on_lost(_conn, name):
    log.write("lost %s\n" % name)
    loop.quit()


node = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML)
bus.register_object("/StatusNotifierWatcher", node.interfaces[0], on_call, on_property, None)
bus.signal_subscribe("org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                     "/org/freedesktop/DBus", None, Gio.DBusSignalFlags.NONE, on_owner_changed)
for wanted in (WATCHER, "org.kde.StatusNotifierHost-%d" % os.getpid()):
    Gio.bus_own_name_on_connection(bus, wanted, Gio.BusNameOwnerFlags.NONE, on_acquired, on_lost)
for sig in (signal.SIGTERM, signal.SIGINT):
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, sig, loop.quit)
loop.run()
