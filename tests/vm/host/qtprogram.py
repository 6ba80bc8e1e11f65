"""The dravolin program on the Debian guest's display, driven as a user drives it.

Input goes through xdotool (mouse and keyboard, as a person would give it); what the user sees
is read through the program's accessibility tree (AT-SPI: the same labels, states and places a
screen reader gets) and the X window list, and kept as screenshots. The guest side of the
reading is tests/vm/debian/uihelper.py, run as the user.
"""

import os
import re
import time
from dataclasses import dataclass
from pathlib import Path

import xwd
from desktopsuite import DialogRows
from guest import CheckFailed

PROGRAM = "/usr/local/bin/dravolin"
# With DRAVOLIN_TRACE_UI=1 in the host's environment, the program's UI thread (its main thread)
# runs under strace, which keeps every poll(2) it makes with the call stack that made it: a wait
# the event loop did not make (a synchronous D-Bus call, a pipe read) names its caller.
UI_TRACE = "/tmp/dravolin-ui.{}.trace"  # one for each start of the program
USER = "user"
HOME = "/home/user"
# The dialog's title, and its title in archive mode.
TITLE = "Dravolin"
ARCHIVE_TITLE = "Dravolin: archive mode"


@dataclass
class Row:
    label: str
    status: str
    checked: bool
    ext: list  # the drive cell's screen rectangle: x, y, width, height

    @property
    def letter(self):
        match = re.search(r"\(([A-Z]):\)$", self.label)
        return match.group(1) if match else None

    @property
    def check_box(self):
        """The check box's centre: at the cell's left, before the icon."""
        x, y, _, h = self.ext
        return x + 10, y + h // 2


def find(node, role=None, name=None, showing=True):
    """Every node under `node` (itself included) with that role and a name matching `name`
    (a regular expression, matched in full)."""
    found = []
    if ((role is None or node.get("role") == role)
            and (name is None or re.fullmatch(name, node.get("name", ""), re.S))
            and (not showing or "showing" in node.get("states", []))):
        found.append(node)
    for child in node.get("children", []):
        found += find(child, role, name, showing)
    return found


def centre(node):
    x, y, w, h = node["ext"]
    return x + w // 2, y + h // 2


class QtProgram(DialogRows):
    def __init__(self, agent, share: Path, shots: Path, log=print):
        self.agent = agent
        self.share = share
        self.shots = shots
        self.log = log
        self.helper = None
        self.pid = None
        self.starts = 0
        self.title = TITLE
        shots.mkdir(parents=True, exist_ok=True)

    # --- session and program ---

    def start_session(self, binary: Path):
        """The program from the shared folder, the user's session bus with its accessibility
        bus, and the reader of the screen. Qt joins the accessibility bus only when that bus
        is already there as it starts."""
        # The disc layout helper goes where the program looks for it, beside its bin/ folder:
        # without it every copy keeps name order.
        self.agent.run(sh=f"set -e; install -m 0755 '/mnt/host/{binary}' {PROGRAM}; "
                          "if [ -d /mnt/host/libexec/dravolin ]; then install -D -m 0755 -t "
                          "/usr/local/libexec/dravolin /mnt/host/libexec/dravolin/*; fi")
        self.agent.spawn("session-bus", user=USER, argv=[
            "dbus-daemon", "--session", "--nofork",
            "--address=unix:path=/run/user/1000/bus"])
        self.agent.run(sh="for i in $(seq 100); do [ -S /run/user/1000/bus ] && exit 0; "
                          "sleep 0.1; done; exit 1", user=USER)
        self.agent.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                        "/org/a11y/bus", "org.a11y.Bus.GetAddress"], user=USER)
        self.helper = self.agent.spawn("uihelper", user=USER, server=True,
                                       argv=["python3", "-B", "/opt/guest/uihelper.py"])

    def start(self, env=None, nofile=(1024, 1024), name="dravolin", wait=True, args=()):
        """Starts the program as the user with `args` on its command line, with the
        descriptor limit of a desktop session (soft and hard 1024 unless told otherwise), and
        waits for its dialog (titled as archive mode titles it when `args` ask for that)."""
        self.title = ARCHIVE_TITLE if "--archive" in args else TITLE
        # DRAVOLIN_TICK_LOG: the program writes each poll tick's time on its UI thread.
        full_env = {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "DRAVOLIN_TICK_LOG": "1"}
        full_env.update(env or {})
        argv = [PROGRAM, *args]
        self.starts += 1
        if os.environ.get("DRAVOLIN_TRACE_UI"):
            argv = ["strace", "-o", UI_TRACE.format(self.starts), "-T", "-k", "-e",
                    "trace=poll,ppoll"] + argv
        self.pid = self.agent.spawn(name, user=USER, argv=argv, env=full_env,
                                    nofile=list(nofile))
        if wait:
            self.wait_dialog(60)
        return self.pid

    def running(self):
        return self.pid is not None and self.agent.poll(self.pid) is None

    def wait_exit(self, timeout):
        """The program's exit code, or None if it is still running after `timeout`."""
        rc = self.agent.wait(self.pid, timeout)
        return rc

    def ui_waits(self, longer_than=0.02):
        """The UI thread's polls that the event loop did not make and that waited longer than
        `longer_than` seconds, each as (seconds, call, stack), from the strace log kept under
        DRAVOLIN_TRACE_UI; empty without it."""
        if not os.environ.get("DRAVOLIN_TRACE_UI"):
            return []
        text = "\n".join(self.agent.read(UI_TRACE.format(n)).decode("utf-8", "replace")
                         for n in range(1, self.starts + 1))
        (self.shots.parent / "ui-trace.txt").write_text(text)
        waits = []
        for block in re.split(r"\n(?=[^ >])", text):
            lines = block.splitlines()
            took = re.search(r"<(\d+\.\d+)>$", lines[0]) if lines else None
            stack = [line.strip(" >") for line in lines[1:]]
            if not took or float(took.group(1)) <= longer_than:
                continue
            if any("QEventDispatcher" in frame for frame in stack):
                continue
            waits.append((float(took.group(1)), lines[0], stack))
        return waits

    def program_log(self, name="dravolin"):
        return self.agent.read(f"/run/guest/{name}.log").decode("utf-8", "replace")

    @staticmethod
    def ticks(log_text):
        """The poll ticks' times on the UI thread, in milliseconds, from the program's log."""
        return [int(m) / 1000 for m in re.findall(r"^tick (\d+) us$", log_text, re.M)]

    # --- what the user sees ---

    def ask(self, request, timeout=60):
        return self.agent.ask(self.helper, request, timeout)

    def app(self, extents=True):
        apps = self.ask({"op": "tree", "app": "Dravolin", "extents": extents})["apps"]
        return apps[0] if apps else None

    def windows(self):
        """The mapped top-level X windows: [{id, name, geometry, pid}]."""
        return self.ask({"op": "windows"})["windows"]

    def dialog(self, app=None):
        app = app or self.app()
        if app:
            for node in app.get("children", []):
                if node.get("name") == self.title and find(node, role="tree"):
                    return node
        return None

    def rows(self, app=None):
        dialog = self.dialog(app)
        if not dialog:
            return []
        tree = find(dialog, role="tree")[0]
        cells = [c for c in tree.get("children", []) if c.get("role") == "tree item"]
        return [Row(cells[i]["name"], cells[i + 1]["name"] if i + 1 < len(cells) else "",
                    "checked" in cells[i]["states"], cells[i].get("ext"))
                for i in range(0, len(cells), 2)]

    def row(self, letter, app=None):
        row = self.row_of(self.rows(app), letter)
        if row is None:
            raise CheckFailed(f"the dialog shows no drive {letter}: {self.rows(app)}")
        return row

    @staticmethod
    def row_of(rows, letter):
        return next((row for row in rows if row.letter == letter), None)

    @staticmethod
    def shown(row):
        return row.label, row.status, row.checked

    def wait_window(self, pattern, timeout=60, gone=False):
        """The first mapped top-level window whose name matches `pattern` in full; with
        `gone`, waits until there is none."""
        deadline = time.monotonic() + timeout
        while True:
            matching = [w for w in self.windows() if re.fullmatch(pattern, w["name"], re.S)]
            if bool(matching) != gone:
                return matching[0] if matching else None
            if time.monotonic() > deadline:
                raise CheckFailed(f"a window named /{pattern}/ was still "
                                  f"{'there' if gone else 'not there'} after {timeout} s; "
                                  f"windows: {[w['name'] for w in self.windows()]}")
            time.sleep(0.2)

    def top_level(self, name, role=None, app=None):
        """The program's top-level accessible (dialog, prompt, progress window) named `name`."""
        app = app or self.app()
        for node in (app or {}).get("children", []):
            if re.fullmatch(name, node.get("name", ""), re.S) and (role is None or
                                                                node.get("role") == role):
                return node
        return None

    def texts(self, node):
        """Every label's text under a node, in order: what the window says."""
        return [n["name"] for n in find(node, role="label") if n.get("name")]

    # --- what the user does ---

    def xdotool(self, *args):
        return self.agent.run(["xdotool", *map(str, args)], user=USER)

    def click(self, x, y, button=1, repeat=1):
        args = ["mousemove", x, y, "click"]
        if repeat > 1:
            args += ["--repeat", repeat, "--delay", 120]
        self.xdotool(*args, button)

    def click_node(self, node, button=1, repeat=1):
        self.click(*centre(node), button=button, repeat=repeat)

    def press(self, window, name):
        """Clicks the push button named `name` (its mnemonic ampersand left out) in a window."""
        buttons = find(window, role="push button", name=re.escape(name.replace("&", "")))
        if not buttons:
            names = [b["name"] for b in find(window, role="push button")]
            raise CheckFailed(f"no button '{name}' in {window.get('name')!r}: {names}")
        self.click_node(buttons[0])

    def set_checked(self, letter, checked, timeout=10):
        """Clicks the row's check box. A click the X server lost under emulation leaves the
        box as it was while the dialog goes on answering: it is clicked once more, and the log
        says so."""
        row = self.row(letter)
        if row.checked == checked:
            return
        self.click(*row.check_box)
        try:
            self.wait_checked(letter, checked, min(timeout, 5))
        except CheckFailed:
            if self.row(letter).checked == checked:
                return
            self.log(f"       (the click on drive {letter}'s check box was not taken, "
                     "clicked again)")
            self.click(*self.row(letter).check_box)
            self.wait_checked(letter, checked, timeout)

    def tick_all(self, letters, timeout=20):
        """Ticks several drives one click after the other, as fast as a user would."""
        rows = {row.letter: row for row in self.rows()}
        for letter in letters:
            if not rows[letter].checked:
                self.click(*rows[letter].check_box)
        self.wait_rows(lambda now: all(r.checked for r in now if r.letter in letters),
                       timeout, f"drives {', '.join(letters)} ticked")

    def type_target(self, text):
        """Clicks into the target folder's field, selects what is there and types over it."""
        dialog = self.dialog()
        field = find(find(dialog, role="combo box")[0], role="text")[0]
        self.click_node(field)
        self.xdotool("key", "--clearmodifiers", "ctrl+a")
        self.xdotool("type", "--delay", 30, text)
        # The field completes from the history in a popup list, which takes the next click
        # anywhere (to close itself) and may open a moment after the last key: a click on the
        # field's label closes it, as a user's click elsewhere would.
        label = find(dialog, role="label", name="Target Folder:")[0]
        dialog_window = self.dialog_window()["id"]
        deadline, clicks = time.monotonic() + 1.5, 0
        while time.monotonic() < deadline and clicks < 3:
            # A popup carries the program's name, as the dialog does.
            if [w for w in self.windows() if w["name"] == "Dravolin" and w["id"] != dialog_window]:
                self.click_node(label)
                clicks += 1
                deadline = time.monotonic() + 1.0
            time.sleep(0.2)

    def target_text(self):
        dialog = self.dialog()
        field = find(find(dialog, role="combo box")[0], role="text")[0]
        return field.get("text", "")

    def close_box(self, window_id):
        """What a window manager sends when the window's close box is clicked: Xvfb runs no
        window manager, so there is no drawn title bar to click."""
        self.ask({"op": "close", "window": window_id})

    # --- screenshots and responsiveness ---

    def shot(self, name):
        """The screen as NAME.png under the screenshot folder (the pointer is moved aside
        first, so that it hides nothing)."""
        self.xdotool("mousemove", 1010, 760)
        dump = self.agent.shot(name, self.share)
        png = xwd.to_png(dump, self.shots / f"{name}.png")
        dump.unlink()
        return png

    def dialog_window(self):
        for w in self.windows():
            if w["name"] == self.title and w["pid"] == self.pid:
                return w
        for w in self.windows():
            if w["name"] == self.title:
                return w
        raise CheckFailed("the dialog's window is not on the screen")

    def ping_start(self, period_ms=20):
        self.ask({"op": "ping_start", "window": self.dialog_window()["id"],
                  "period_ms": period_ms})

    def ping_stop(self):
        return self.ask({"op": "ping_stop"})
