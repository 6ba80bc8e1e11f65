"""What a user sees on the guest's X display, and what a window manager would do to it.

Runs as the desktop user (the user's session and accessibility buses admit only their owner),
started by the agent as a line server: one JSON request per line on stdin, one JSON answer per
line on stdout. Requests:

  {"op": "tree", "app": "Dravolin"}  -> the application's accessible objects (AT-SPI), each with
                                        role, name, states, screen extents, text and children
  {"op": "windows"}                  -> the mapped top-level X windows: id, name, geometry, pid
  {"op": "close", "window": id}      -> WM_DELETE_WINDOW to the window, as a window manager
                                        sends it when its close box is clicked
  {"op": "ping_start", "window": id, "period_ms": 20}
  {"op": "ping_stop"}                -> round trips of _NET_WM_PING through the window's UI
                                        thread (how window managers detect a hung program),
                                        beside the X server's own round trips as the control
Every answer carries "ok" and, on failure, "error".
"""

import json
import os
import select
import statistics
import sys
import threading
import time

import dbus
import dbus.lowlevel
import Xlib.error
from Xlib import X, Xatom, display, protocol

ACCESSIBLE = "org.a11y.atspi.Accessible"
COMPONENT = "org.a11y.atspi.Component"
TEXT = "org.a11y.atspi.Text"
PROPERTIES = "org.freedesktop.DBus.Properties"
STATES = ["invalid", "active", "armed", "busy", "checked", "collapsed", "defunct", "editable",
          "enabled", "expandable", "expanded", "focusable", "focused", "has-tooltip",
          "horizontal", "iconified", "modal", "multi-line", "multiselectable", "opaque",
          "pressed", "resizable", "selectable", "selected", "sensitive", "showing",
          "single-line", "stale", "transient", "vertical", "visible", "manages-descendants",
          "indeterminate", "required", "truncated", "animated", "invalid-entry",
          "supports-autocompletion", "selectable-text", "is-default", "visited", "checkable",
          "has-popup", "read-only"]


class Accessibility:
    """Reads the accessible objects of an application level by level, sending every call of a
    level at once and then collecting the replies: under TCG a call costs tens of
    milliseconds, most of it waiting, so pipelining them makes a whole read take a fraction."""

    def __init__(self):
        self.bus = None

    def connect(self):
        if self.bus is None:
            session = dbus.SessionBus()
            address = session.get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(
                dbus_interface="org.a11y.Bus")
            self.bus = dbus.bus.BusConnection(address)
        return self.bus

    def _calls(self, calls):
        """[(bus name, path, interface, method, signature, args)] -> their replies' first
        values, or None for a call that failed (an object that went away meanwhile)."""
        pending, results = [], [None] * len(calls)
        for i, (name, path, interface, method, signature, args) in enumerate(calls):
            message = dbus.lowlevel.MethodCallMessage(name, path, interface, method)
            if args:
                message.append(signature=signature, *args)

            def done(reply, i=i):
                if isinstance(reply, dbus.lowlevel.MethodReturnMessage):
                    values = reply.get_args_list()
                    results[i] = values[0] if len(values) == 1 else values
            pending.append(self.bus.send_message_with_reply(message, done, 30))
        for call in pending:
            call.block()
        return results

    def tree(self, app, extents=True):
        self.connect()
        registry = ("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")
        apps = self._calls([(*registry, ACCESSIBLE, "GetChildren", "", ())])[0] or []
        names = self._calls([(n, p, PROPERTIES, "Get", "ss", (ACCESSIBLE, "Name"))
                             for n, p in apps])
        roots = [{"ref": (str(n), str(p))} for (n, p), title in zip(apps, names)
                 if title == app]
        level = roots
        depth = 0
        while level and depth < 12:
            calls = []
            for node in level:
                n, p = node["ref"]
                calls += [(n, p, ACCESSIBLE, "GetRoleName", "", ()),
                          (n, p, PROPERTIES, "Get", "ss", (ACCESSIBLE, "Name")),
                          (n, p, ACCESSIBLE, "GetState", "", ()),
                          (n, p, ACCESSIBLE, "GetChildren", "", ()),
                          (n, p, COMPONENT, "GetExtents", "u", (dbus.UInt32(0),)) if extents
                          else (n, p, ACCESSIBLE, "GetRoleName", "", ())]
            results = self._calls(calls)
            following = []
            for i, node in enumerate(level):
                role, name, state, children, ext = results[i * 5:i * 5 + 5]
                bits = [int(word) for word in state or [0, 0]]
                node.update({
                    "role": str(role or ""), "name": str(name or ""),
                    "states": [STATES[b] for b in range(len(STATES))
                               if bits[b // 32] & (1 << (b % 32))]})
                if extents and ext is not None:
                    node["ext"] = [int(v) for v in ext]
                node["children"] = [{"ref": (str(n), str(p))} for n, p in children or []]
                following += node["children"]
            level = following
            depth += 1
        texts = []
        def collect(node):
            if node.get("role") in ("text", "entry", "editbar"):
                texts.append(node)
            for child in node.get("children", []):
                collect(child)
        for root in roots:
            collect(root)
        values = self._calls([(*node["ref"], TEXT, "GetText", "ii", (0, -1)) for node in texts])
        for node, value in zip(texts, values):
            node["text"] = str(value or "")
        return roots


def window_name(d, win):
    for atom, kind in ((d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING")),
                       (Xatom.WM_NAME, Xatom.STRING)):
        prop = win.get_property(atom, kind, 0, 1024)
        if prop and prop.value:
            value = prop.value
            return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
    return ""


class Screen:
    def __init__(self):
        self.d = display.Display()
        self.root = self.d.screen().root
        self.pinger = None

    def windows(self):
        out = []
        pid_atom = self.d.intern_atom("_NET_WM_PID")
        for win in self.root.query_tree().children:
            try:
                attrs = win.get_attributes()
                if attrs.map_state != X.IsViewable:
                    continue
                geometry = win.get_geometry()
                pid = win.get_property(pid_atom, Xatom.CARDINAL, 0, 1)
                name = window_name(self.d, win)
            except (Xlib.error.BadWindow, Xlib.error.BadDrawable):
                continue  # destroyed while the list was read
            out.append({"id": win.id, "name": name,
                        "geometry": [geometry.x, geometry.y, geometry.width, geometry.height],
                        "pid": int(pid.value[0]) if pid and len(pid.value) else None})
        return out

    def close(self, window_id):
        win = self.d.create_resource_object("window", window_id)
        protocols = self.d.intern_atom("WM_PROTOCOLS")
        event = protocol.event.ClientMessage(
            window=win, client_type=protocols,
            data=(32, [self.d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        win.send_event(event, event_mask=0)
        self.d.sync()


# When this helper walked a program's accessibility tree, (start, end) in monotonic seconds: the
# program's UI thread answers every call of the walk, so a round trip then is partly our doing.
WALKS = []


class Heartbeat(threading.Thread):
    """Wakes every 5 ms and notes every gap over 50 ms: the times when the whole guest did not
    run (TCG on a busy host), which no program can be blamed for."""

    def __init__(self):
        super().__init__(daemon=True)
        self.stop = threading.Event()
        self.gaps = []  # (start, end) in monotonic seconds

    def run(self):
        last = time.monotonic()
        while not self.stop.wait(0.005):
            now = time.monotonic()
            if now - last > 0.05:
                self.gaps.append((last, now))
            last = now

    def overlap(self, start, end):
        return sum(max(0.0, min(end, b) - max(start, a)) for a, b in self.gaps)


class Pinger(threading.Thread):
    """Keeps one _NET_WM_PING in flight to the window: the round trip of each, measured from
    outside, is how long the window's UI thread took to get to it."""

    def __init__(self, window_id, period):
        super().__init__(daemon=True)
        self.d = display.Display()
        self.root = self.d.screen().root
        # Qt sends the answer to the root window for clients that select its structure
        # events (a window manager selects both).
        self.root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
        self.win = self.d.create_resource_object("window", window_id)
        # The window's UI thread is its process's main thread: its scheduler figures tell a
        # slow round trip's time on the CPU and waiting for one from the time it waited on
        # something else (a disc, a lock, another process).
        pid = self.win.get_full_property(self.d.intern_atom("_NET_WM_PID"), Xatom.CARDINAL)
        self.schedstat = (f"/proc/{pid.value[0]}/task/{pid.value[0]}/schedstat"
                          if pid and len(pid.value) else None)
        # Where in the kernel the thread waits, sampled while a round trip is long.
        self.wchan = self.schedstat and self.schedstat.replace("schedstat", "wchan")
        self.period = period
        self.stop = threading.Event()
        # (sent at, round trip, of which the whole guest stood still, the UI thread ran,
        # it waited for a CPU)
        self.trips = []
        self.server = []  # the X server's own round trip at the same moments
        self.error = None
        self.started = time.monotonic()
        self.heartbeat = Heartbeat()

    def run(self):
        try:
            self.loop()
        except Exception as error:
            self.error = f"{type(error).__name__}: {error}"

    def loop(self):
        self.heartbeat.start()
        protocols = self.d.intern_atom("WM_PROTOCOLS")
        ping = self.d.intern_atom("_NET_WM_PING")
        started = self.started = time.monotonic()
        serial = 0
        while not self.stop.is_set():
            before = time.monotonic()
            self.d.get_input_focus()  # a round trip to the server alone
            self.server.append(time.monotonic() - before)
            serial += 1
            event = protocol.event.ClientMessage(
                window=self.win, client_type=protocols,
                data=(32, [ping, serial, self.win.id, 0, 0]))
            before_sched = self.sched()
            sent = time.monotonic()
            self.win.send_event(event, event_mask=0)
            self.d.flush()
            waits = {}
            sampled = sent
            while not self.stop.is_set():
                now = time.monotonic()
                if now - sent > 0.05 and now - sampled >= 0.01:
                    sampled = now
                    where = self.where()
                    waits[where] = waits.get(where, 0) + 1
                if self.d.pending_events() == 0:
                    select.select([self.d], [], [], 0.01)
                if self.d.pending_events() == 0:
                    continue
                got = self.d.next_event()
                if (got.type == X.ClientMessage and got.client_type == protocols
                        and got.data[1][0] == ping and got.data[1][1] == serial):
                    back = time.monotonic()
                    after_sched = self.sched()
                    ran, queued = (after_sched[0] - before_sched[0],
                                   after_sched[1] - before_sched[1])
                    self.trips.append((sent - started, back - sent,
                                       self.heartbeat.overlap(sent, back), ran, queued,
                                       sorted(waits.items(), key=lambda kv: -kv[1])[:3]))
                    break
            left = self.period - (time.monotonic() - before)
            if left > 0:
                self.stop.wait(left)

    def sched(self):
        """The UI thread's time on a CPU and waiting for one so far, in seconds (0, 0 where the
        kernel does not tell)."""
        try:
            with open(self.schedstat) as f:
                ran, queued = f.read().split()[:2]
            return int(ran) / 1e9, int(queued) / 1e9
        except (OSError, TypeError, ValueError):
            return 0.0, 0.0

    def during_walk(self, at, trip):
        sent = self.started + at
        return any(a < sent + trip and sent < b for a, b in list(WALKS))

    def where(self):
        """The kernel function the UI thread sleeps in ("0" while it runs); for a poll(2), also
        how many descriptors it waits on and for how long: the event loop waits on several
        with its next timer's time-out, a synchronous request to the X server or a bus on one,
        without a time-out or with the call's own."""
        try:
            with open(self.wchan) as f:
                where = f.read().strip() or "?"
        except (OSError, TypeError):
            return "?"
        if where == "do_sys_poll":
            try:
                with open(self.wchan.replace("wchan", "syscall")) as f:
                    fields = f.read().split()
                if fields and fields[0] == "7":  # poll(2)
                    timeout = int(fields[3], 16)
                    timeout = "none" if timeout >= 2**63 else f"{timeout}"
                    where += f"({int(fields[2], 16)} fds, time-out {timeout})"
            except (OSError, ValueError, IndexError):
                pass
        return where

    def summary(self):
        """Round trips in milliseconds: all of them, and without the time the whole guest
        stood still (the program's own share); the long ones with their moment."""
        self.heartbeat.stop.set()
        trips = [t for _, t, *_ in self.trips]
        if not trips:
            return {"count": 0, "error": self.error}
        own = [t - still for _, t, still, *_ in self.trips]
        long_ones = [[round(at, 3), round(t * 1000, 1), round((t - still) * 1000, 1)]
                     for at, t, still, *_ in self.trips if t > 0.1]
        # The same with, of each round trip, the UI thread's time on a CPU, waiting for one,
        # and off both (blocked: waiting on something else).
        split = [entry + [round(ran * 1000, 1), round(queued * 1000, 1),
                          round(max(0.0, t - ran - queued) * 1000, 1), waits,
                          self.during_walk(at, t)]
                 for entry, (at, t, _, ran, queued, waits) in zip(
                     long_ones, [trip for trip in self.trips if trip[1] > 0.1])]
        return {"count": len(trips), "median_ms": statistics.median(trips) * 1000,
                "max_ms": max(trips) * 1000, "own_max_ms": max(own) * 1000,
                "own_median_ms": statistics.median(own) * 1000,
                "blocked_max_ms": max(max(0.0, t - r - q) for _, t, _, r, q, _ in self.trips) * 1000,
                "sched": self.schedstat is not None,
                "over_100ms": long_ones[:50], "over_100ms_split": split[:400],
                "guest_still_ms": sum(b - a for a, b in self.heartbeat.gaps) * 1000,
                "server_median_ms": statistics.median(self.server) * 1000,
                "server_max_ms": max(self.server) * 1000, "error": self.error}


def main():
    access = Accessibility()
    screen = Screen()
    pinger = None
    for line in sys.stdin:
        req = json.loads(line)
        try:
            op = req["op"]
            if op == "tree":
                walk = time.monotonic()
                try:
                    answer = {"apps": access.tree(req.get("app", "Dravolin"))}
                finally:
                    WALKS[:] = WALKS[-200:] + [(walk, time.monotonic())]
            elif op == "windows":
                answer = {"windows": screen.windows()}
            elif op == "close":
                screen.close(req["window"])
                answer = {}
            elif op == "ping_start":
                if pinger:
                    pinger.stop.set()
                pinger = Pinger(req["window"], req.get("period_ms", 20) / 1000)
                pinger.start()
                answer = {}
            elif op == "ping_stop":
                if not pinger:
                    raise RuntimeError("no ping running")
                pinger.stop.set()
                pinger.join(5)
                answer = pinger.summary()
                pinger = None
            else:
                raise ValueError(f"unknown op {op!r}")
            answer["ok"] = True
        except Exception as error:
            answer = {"ok": False, "error": f"{type(error).__name__}: {error}"}
        sys.stdout.write(json.dumps(answer) + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    os.environ.setdefault("DISPLAY", ":0")
    main()
