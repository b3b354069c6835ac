#!/usr/bin/python3
# The desktop's session-bus services for GUI end-to-end tests: a tray host (the status
# notifier watcher) that makes Qt's tray icon available, and a notification server that
# records every balloon a program shows, one JSON object per line, for the test to read.
import json
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

WATCHER_NAME = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
NOTIFICATIONS_NAME = "org.freedesktop.Notifications"
NOTIFICATIONS_PATH = "/org/freedesktop/Notifications"
# A host must be registered, or Qt keeps the tray unavailable; this one never shows anything.
HOST_NAME = "org.kde.StatusNotifierHost-vorn-test"
WATCHER_PROTOCOL_VERSION = 0
SERVER_INFORMATION = ("vorn-test-notifications", "Vorn tests", "1.0", "1.2")
CAPABILITIES = ["body", "icon-static", "persistence"]
CLOSED_BY_CALL = 3
NO_URGENCY = -1

INTERFACES = """
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
  </interface>
  <interface name="org.freedesktop.Notifications">
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="Notify">
      <arg name="app_name" type="s" direction="in"/>
      <arg name="replaces_id" type="u" direction="in"/>
      <arg name="app_icon" type="s" direction="in"/>
      <arg name="summary" type="s" direction="in"/>
      <arg name="body" type="s" direction="in"/>
      <arg name="actions" type="as" direction="in"/>
      <arg name="hints" type="a{sv}" direction="in"/>
      <arg name="expire_timeout" type="i" direction="in"/>
      <arg name="id" type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg name="id" type="u" direction="in"/></method>
    <method name="GetServerInformation">
      <arg name="name" type="s" direction="out"/>
      <arg name="vendor" type="s" direction="out"/>
      <arg name="version" type="s" direction="out"/>
      <arg name="spec_version" type="s" direction="out"/>
    </method>
    <signal name="NotificationClosed"><arg name="id" type="u"/><arg name="reason" type="u"/></signal>
    <signal name="ActionInvoked"><arg name="id" type="u"/><arg name="action_key" type="s"/></signal>
  </interface>
</node>
"""


class DesktopServices:
    def __init__(self, record_path):
        self.record = open(record_path, "a", encoding="utf-8")
        self.items = []  # "busname/object/path" of every registered item, in order
        self.next_id = 1
        self.connection = None
        self.node = Gio.DBusNodeInfo.new_for_xml(INTERFACES)

    def start(self, connection):
        self.connection = connection
        connection.register_object(WATCHER_PATH, self.node.lookup_interface(WATCHER_NAME), self.on_watcher_call,
                                   self.on_watcher_property, None)
        connection.register_object(NOTIFICATIONS_PATH, self.node.lookup_interface(NOTIFICATIONS_NAME),
                                   self.on_notifications_call, None, None)
        # Items that leave the bus leave the tray, as a real host would drop them.
        connection.signal_subscribe("org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                                    "/org/freedesktop/DBus", None, Gio.DBusSignalFlags.NONE, self.on_owner_changed)

    def emit_watcher(self, signal, parameters):
        self.connection.emit_signal(None, WATCHER_PATH, WATCHER_NAME, signal, parameters)

    def on_watcher_call(self, connection, sender, path, interface, method, parameters, invocation):
        if method == "RegisterStatusNotifierItem":
            service = parameters.unpack()[0]
            # An item may name its object path instead of a bus name; it then lives at the caller.
            item = sender + service if service.startswith("/") else service + "/StatusNotifierItem"
            if item not in self.items:
                self.items.append(item)
                self.emit_watcher("StatusNotifierItemRegistered", GLib.Variant("(s)", (item,)))
        elif method == "RegisterStatusNotifierHost":
            self.emit_watcher("StatusNotifierHostRegistered", None)
        invocation.return_value(None)

    def on_watcher_property(self, connection, sender, path, interface, name):
        if name == "RegisteredStatusNotifierItems":
            return GLib.Variant("as", self.items)
        if name == "IsStatusNotifierHostRegistered":
            return GLib.Variant("b", True)
        if name == "ProtocolVersion":
            return GLib.Variant("i", WATCHER_PROTOCOL_VERSION)
        return None

    def on_owner_changed(self, connection, sender, path, interface, signal, parameters):
        name, _old, new = parameters.unpack()
        if new:
            return
        for item in [i for i in self.items if i.split("/", 1)[0] == name]:
            self.items.remove(item)
            self.emit_watcher("StatusNotifierItemUnregistered", GLib.Variant("(s)", (item,)))

    def write_record(self, entry):
        self.record.write(json.dumps(entry, ensure_ascii=False) + "\n")
        self.record.flush()

    def on_notifications_call(self, connection, sender, path, interface, method, parameters, invocation):
        if method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (CAPABILITIES,)))
        elif method == "GetServerInformation":
            invocation.return_value(GLib.Variant("(ssss)", SERVER_INFORMATION))
        elif method == "Notify":
            app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout = parameters.unpack()
            notification_id = replaces_id if replaces_id else self.next_id
            if not replaces_id:
                self.next_id += 1
            self.write_record({"event": "notify", "id": notification_id, "app_name": app_name,
                               "replaces_id": replaces_id, "app_icon": app_icon, "summary": summary, "body": body,
                               "actions": actions, "expire_timeout": expire_timeout,
                               "urgency": int(hints.get("urgency", NO_URGENCY))})
            invocation.return_value(GLib.Variant("(u)", (notification_id,)))
        elif method == "CloseNotification":
            notification_id = parameters.unpack()[0]
            self.write_record({"event": "close", "id": notification_id})
            invocation.return_value(None)
            connection.emit_signal(sender, NOTIFICATIONS_PATH, NOTIFICATIONS_NAME, "NotificationClosed",
                                   GLib.Variant("(uu)", (notification_id, CLOSED_BY_CALL)))


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: desktop_services.py BUS_ADDRESS RECORD_FILE\n")
        return 2
    services = DesktopServices(sys.argv[2])
    connection = Gio.DBusConnection.new_for_address_sync(
        sys.argv[1], Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
        None, None)
    services.start(connection)
    loop = GLib.MainLoop()
    owned = []

    def acquired(_connection, name):
        owned.append(name)
        # The fixture waits for this line: the program under test may start only now.
        if len(owned) == 3:
            print("ready", flush=True)

    def lost(_connection, name):
        sys.stderr.write("lost or could not own %s\n" % name)
        loop.quit()

    # The fixture ends the services by closing their input: no signal needed, nothing left over.
    GLib.io_add_watch(sys.stdin.fileno(), GLib.PRIORITY_DEFAULT, GLib.IOCondition.HUP | GLib.IOCondition.IN,
                      lambda *_args: loop.quit() or False)
    for name in (WATCHER_NAME, NOTIFICATIONS_NAME, HOST_NAME):
        Gio.bus_own_name_on_connection(connection, name, Gio.BusNameOwnerFlags.DO_NOT_QUEUE, acquired, lost)
    loop.run()
    return 0 if len(owned) == 3 else 1


if __name__ == "__main__":
    sys.exit(main())
