#!/usr/bin/python3
"""A stand-in for the UDisks2 service on a private bus, for the mounting tests.

Arguments: bus address, log file, folder to answer Mount with, mode ("ok", "refuse", "late": the
first three Mount calls find no file system on the device, as before udev has probed a new disc,
or "stall": Unmount never answers, as while a password dialog waits for a person).
Every call is appended to the log, with " no-interaction" when the caller asked the service not
to ask a person; "ready" is written once the name is owned. LoopSetup answers with one loop
device, whatever it is given, and logs the first bytes of the file it was passed.
"""
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

FILESYSTEM = "org.freedesktop.UDisks2.Filesystem"
LOOP = "org.freedesktop.UDisks2.Loop"
MANAGER = "org.freedesktop.UDisks2.Manager"
BLOCKS = "/org/freedesktop/UDisks2/block_devices/"


class Block(dbus.service.Object):
    def __init__(self, bus, path, log, folder, mode):
        super().__init__(bus, path)
        self.log, self.folder, self.mode = log, folder, mode
        self.unknown_left = 3 if mode == "late" else 0

    def note(self, text, options):
        if options.get("auth.no_user_interaction"):
            text += " no-interaction"
        with open(self.log, "a") as out:
            out.write(text + "\n")

    @dbus.service.method(FILESYSTEM, in_signature="a{sv}", out_signature="s")
    def Mount(self, options):
        self.note("Mount options=" + str(options.get("options", "")), options)
        if self.mode == "refuse":
            raise dbus.exceptions.DBusException(
                "Not authorized to mount", name="org.freedesktop.UDisks2.Error.NotAuthorized")
        if self.unknown_left:
            self.unknown_left -= 1
            raise dbus.exceptions.DBusException(
                f"No such interface “{FILESYSTEM}”",
                name="org.freedesktop.DBus.Error.UnknownMethod")
        return self.folder

    @dbus.service.method(FILESYSTEM, in_signature="a{sv}", out_signature="",
                         async_callbacks=("reply", "error"))
    def Unmount(self, options, reply, error):
        self.note("Unmount", options)
        if self.mode != "stall":
            reply()


class LoopBlock(Block):
    @dbus.service.method(LOOP, in_signature="a{sv}", out_signature="")
    def Delete(self, options):
        self.note("Delete", options)


class Manager(dbus.service.Object):
    def __init__(self, bus, loop):
        super().__init__(bus, "/org/freedesktop/UDisks2/Manager")
        self.loop = loop

    @dbus.service.method(MANAGER, in_signature="ha{sv}", out_signature="o")
    def LoopSetup(self, fd, options):
        image = fd.take()
        try:
            # Without moving the offset the caller's descriptor shares.
            start = os.pread(image, 32, 0).decode(errors="replace")
        finally:
            os.close(image)
        read_only = " read-only" if options.get("read-only") else ""
        self.loop.note(f"LoopSetup{read_only} {start}", options)
        return BLOCKS + "loop7"


def main():
    address, log, folder, mode = sys.argv[1:5]
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(address)
    name = dbus.service.BusName("org.freedesktop.UDisks2", bus)
    Block(bus, BLOCKS + "sr0", log, folder, mode)
    Manager(bus, LoopBlock(bus, BLOCKS + "loop7", log, folder, mode))
    with open(log, "a") as out:
        out.write("ready\n")
    loop = GLib.MainLoop()
    bus.call_on_disconnection(lambda _: loop.quit())
    loop.run()
    del name


if __name__ == "__main__":
    main()
