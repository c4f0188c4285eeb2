#!/usr/bin/env python3
# A notification service for tests: owns org.freedesktop.Notifications on the bus named by
# DBUS_SESSION_BUS_ADDRESS, appends every call as one JSON line to the file named by its argument,
# and emits ActionInvoked when told to through its own Invoke method. Prints "ready" once it owns
# the name.
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

IFACE = "org.freedesktop.Notifications"


class Service(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log = log
        self.last_id = 0

    def record(self, **call):
        with open(self.log, "a") as f:
            f.write(json.dumps(call) + "\n")

    @dbus.service.method(IFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        if replaces_id:
            nid = int(replaces_id)
        else:
            self.last_id += 1
            nid = self.last_id
        self.record(call="Notify", app_name=str(app_name), replaces_id=int(replaces_id), summary=str(summary),
                    body=str(body), actions=[str(a) for a in actions], id=nid)
        return nid

    @dbus.service.method(IFACE, out_signature="as")
    def GetCapabilities(self):
        return ["body", "actions"]

    @dbus.service.method(IFACE, out_signature="ssss")
    def GetServerInformation(self):
        return ("fake", "ormisk tests", "1", "1.2")

    @dbus.service.method(IFACE, in_signature="u")
    def CloseNotification(self, nid):
        self.record(call="CloseNotification", id=int(nid))
        self.NotificationClosed(nid, 3)

    @dbus.service.signal(IFACE, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass

    @dbus.service.signal(IFACE, signature="us")
    def ActionInvoked(self, nid, key):
        pass

    @dbus.service.method("org.ormisk.FakeNotifications", in_signature="us")
    def Invoke(self, nid, key):
        self.ActionInvoked(nid, key)


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
service = Service(bus, sys.argv[1])
name = dbus.service.BusName(IFACE, bus)
print("ready", flush=True)
GLib.MainLoop().run()
