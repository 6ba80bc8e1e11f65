#!/usr/bin/python3
"""A private session bus with a stand-in notification service, for the notification tests.

Arguments: folder, mode ("plain": a service without markup, "markup": one that reads the body as
markup, "stall": one that never answers, "absent": the bus alone).
Starts its own dbus-daemon, writes the bus's address to FOLDER/address once the service is
there, and appends every call to FOLDER/calls.log; a Notify as
"app|replaces_id|icon|summary|actions|hints|expire_timeout|body". Ends, with its bus, when its
standard input closes.
"""
import os
import subprocess
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

INTERFACE = "org.freedesktop.Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, log, mode):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log, self.mode = log, mode

    def note(self, text):
        with open(self.log, "a", encoding="utf-8") as out:
            out.write(text + "\n")

    @dbus.service.method(INTERFACE, in_signature="", out_signature="as",
                         async_callbacks=("reply", "error"))
    def GetCapabilities(self, reply, error):
        self.note("GetCapabilities")
        if self.mode != "stall":
            reply(["body", "body-markup"] if self.mode == "markup" else ["body"])

    @dbus.service.method(INTERFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        shown = " ".join(f"{key}={type(value).__name__}:"
                         f"{value if isinstance(value, str) else int(value)}"
                         for key, value in sorted(hints.items()))
        self.note("|".join([app, str(replaces), icon, summary, str(list(actions)), shown,
                            str(timeout), body]))
        return 1


def main():
    folder, mode = sys.argv[1:3]
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    address = daemon.stdout.readline().strip()
    try:
        dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
        bus = dbus.bus.BusConnection(address)
        names = []  # the name is owned while its object lives
        if mode != "absent":
            names.append(dbus.service.BusName(INTERFACE, bus, do_not_queue=True))
            Notifications(bus, os.path.join(folder, "calls.log"), mode)
        with open(os.path.join(folder, "address.new"), "w") as out:
            out.write(address)
        os.rename(os.path.join(folder, "address.new"), os.path.join(folder, "address"))
        loop = GLib.MainLoop()
        GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP,
                          lambda *_: loop.quit() or False)
        loop.run()
        names.clear()
        bus.close()
    finally:
        daemon.terminate()
        daemon.wait()


if __name__ == "__main__":
    main()
