#!/usr/bin/python3
"""A stand-in for the desktop session manager on a private bus: it answers Inhibit and
Uninhibit as org.gnome.SessionManager does and tells the test, through Calls(), what it was
asked."""
import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.gnome.SessionManager"


class SessionManager(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/gnome/SessionManager")
        self.calls = []
        self.next_cookie = 41
        self.delay_ms = 0

    @dbus.service.method(NAME, in_signature="susu", out_signature="u",
                         async_callbacks=("answer", "fail"))
    def Inhibit(self, app_id, toplevel_xid, reason, flags, answer, fail):
        self.next_cookie += 1
        cookie = self.next_cookie
        self.calls.append("Inhibit %s %d %d %s" % (app_id, flags, cookie, reason))
        if not self.delay_ms:
            answer(dbus.UInt32(cookie))
            return
        GLib.timeout_add(self.delay_ms, lambda: answer(dbus.UInt32(cookie)) and False)

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def Uninhibit(self, cookie):
        self.calls.append("Uninhibit %d" % cookie)

    @dbus.service.method("org.dravolin.Test", in_signature="", out_signature="as")
    def Calls(self):
        return self.calls

    @dbus.service.method("org.dravolin.Test", in_signature="u", out_signature="")
    def AnswerInhibitAfter(self, milliseconds):
        """A session manager slow to answer, as a hung one is until the caller's time-out."""
        self.delay_ms = milliseconds


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
session_bus = dbus.SessionBus()
manager = SessionManager(session_bus)
owned = dbus.service.BusName(NAME, session_bus)
GLib.MainLoop().run()
