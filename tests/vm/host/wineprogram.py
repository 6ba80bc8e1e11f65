"""Dravolin.exe on the Debian guest's display, under Wine, as its desktop user runs it.

The program runs from the prefix's Program Files as the user; the guest's automounter
(tests/vm/wine/automount.py, root) mounts the discs at the folders the drive letters name.
What the dialog shows is read by a probe of our own (tests/vm/wine, a Win32 console program in
the same prefix, driven over the agent's line channel); the user's input goes through xdotool
at the places the probe reports, and the messages that stand for the window frame's buttons
through the probe. Screenshots come from the X server.
"""

import re
import time
from pathlib import Path

import xwd
from desktopsuite import DialogRows
from guest import CheckFailed

USER = "user"
PREFIX = "/home/user/.wine"
PROGRAM = r"C:\Program Files\Dravolin\Dravolin.exe"
PROGRAM_DIR = f"{PREFIX}/drive_c/Program Files/Dravolin"
PROBE = "/opt/wine/dravolin_wine_probe.exe"
LOADER = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
MOUNTS = {"E": ("/dev/sr0", "/media/cdrom0"), "F": ("/dev/sr1", "/media/cdrom1")}
# Wine's own channels off but for the CD-ROM layer's, with the guest's clock: every device
# command the program makes. Mono, Gecko and the desktop menu builder are left out, as the
# Windows tests' prefix leaves them: nothing here uses them, and under TCG they cost minutes.
WINE_ENV = {"WINEDEBUG": "-all,+cdrom,+timestamp",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}
# The program's own calls with their answers too: the relay trace, narrowed by the prefix to the
# device commands and the drive types (host/wineprefix.py).
PROGRAM_ENV = {**WINE_ENV, "WINEDEBUG": "-all,+cdrom,+relay,+timestamp"}
# The rows, in the order the program finds the drives. A row's text is the disc's label, or
# the shell's name of the drive when no disc can be read, which Wine leaves empty for a drive
# whose disc it has seen leave.
ROWS = {"E": 0, "F": 1}


def windows_path(linux_path):
    """The C: path of a file inside the prefix's drive_c."""
    rel = linux_path.split("/drive_c/", 1)[1]
    return "C:\\" + rel.replace("/", "\\")


class WineProgram(DialogRows):
    def __init__(self, agent, share: Path, shots: Path, log=print):
        self.agent = agent
        self.share = share
        self.shots = shots
        self.log = log
        self.probe = None
        self.pid = None
        self.runs = 0
        shots.mkdir(parents=True, exist_ok=True)

    # --- session ---

    def start(self, exe: Path, probe: Path):
        """The automounter, the program in Program Files, the Wine session (its first process,
        the probe, starts the wineserver and Wine's services). Returns the seconds the Wine
        session took to answer."""
        self.agent.run(sh="test \"$(stat -c %u /home/user/.wine)\" = 1000 || "
                          "chown -R user:user /home/user/.wine")
        self.agent.spawn("automount", argv=["python3", "-B", "/opt/wine/automount.py"]
                         + [f"{dev}:{mnt}" for dev, mnt in MOUNTS.values()])
        self.wait_log("automount", r" READY$", 30)
        self.agent.run(["install", "-D", "-o", USER, "-g", USER, "-m", "0755",
                        f"/mnt/host/{exe}", f"{PROGRAM_DIR}/Dravolin.exe"])
        self.agent.run(["install", "-D", "-m", "0755", f"/mnt/host/{probe}", PROBE])
        started = time.monotonic()
        # Started on its own, so that it and Wine's services do not hold the probe's channel.
        self.agent.run(sh=f"{WINESERVER} -p </dev/null >/dev/null 2>&1", user=USER,
                       env=WINE_ENV)
        self.probe = self.agent.spawn("probe", user=USER, server=True, env=WINE_ENV,
                                      argv=[LOADER, PROBE])
        self.ask("dialog", timeout=300)
        # The virtual desktop in which Wine shows the program's windows (there is no window
        # manager to give them frames): up before the program starts, as in a user's session.
        # Its first start builds Wine's caches, which takes minutes while another guest shares
        # the host's cores.
        deadline = time.monotonic() + 300
        while self.agent.run(["xdotool", "search", "--name", "Wine desktop"], user=USER,
                             check=False)["rc"] != 0:
            if time.monotonic() > deadline:
                raise CheckFailed("Wine's desktop window never appeared")
            time.sleep(0.5)
        return time.monotonic() - started

    def stop(self):
        if self.probe:
            self.agent.run(sh=f"{WINESERVER} -k", user=USER, env=WINE_ENV, check=False)

    def keep_logs(self):
        """The guest's logs (the program's Wine trace, the automounter's, the probe's) into the
        shared folder's logs/."""
        self.agent.run(sh="mkdir -p /mnt/host/logs && cp /run/guest/*.log /mnt/host/logs/",
                       check=False)

    def wait_log(self, name, pattern, timeout):
        deadline = time.monotonic() + timeout
        while True:
            text = self.log_text(name)
            if re.search(pattern, text, re.M):
                return text
            if time.monotonic() > deadline:
                raise CheckFailed(f"/run/guest/{name}.log never showed /{pattern}/:\n{text[-2000:]}")
            time.sleep(0.3)

    def log_text(self, name):
        try:
            return self.agent.read(f"/run/guest/{name}.log").decode("utf-8", "replace")
        except CheckFailed:
            return ""

    # --- the program ---

    def start_program(self, timeout=180, args=(), env=None):
        """Dravolin.exe as the user starts it, with `args`, until its dialog shows its drives.
        Wine's relay trace is on unless `env` says otherwise."""
        self.runs += 1
        command = " ".join([LOADER, f"'{PROGRAM}'", *args])
        self.pid = self.agent.spawn(f"dravolin-{self.runs}", user=USER, env=env or PROGRAM_ENV,
                                    sh=f"cd {PREFIX}/drive_c && exec {command}")
        started = time.monotonic()
        try:
            self.wait_dialog(timeout)
        except CheckFailed as error:
            self.shot("failed-start")
            processes = self.agent.run(["ps", "-eo", "pid,etime,stat,args"])["out"]
            raise CheckFailed(f"{error}\nprocesses:\n{processes}\nprogram's log:\n"
                              f"{self.program_log()[-2000:]}") from None
        return time.monotonic() - started

    def program_log(self):
        return self.log_text(f"dravolin-{self.runs}")

    def running(self):
        return self.pid is not None and self.agent.poll(self.pid) is None

    def wait_exit(self, timeout):
        return self.agent.wait(self.pid, timeout)

    # --- the probe ---

    def ask(self, command, timeout=60):
        answer = self.agent.ask(self.probe, command, timeout)
        return answer

    def dialog(self):
        answer = self.ask("dialog")
        return answer if answer["hwnd"] else None

    def rows(self):
        answer = self.agent.request("ask", pid=self.probe, request="rows", timeout=60)["answer"]
        return answer.get("rows", []) if answer.get("ok") else []

    def row(self, letter):
        rows = self.rows()
        row = self.row_of(rows, letter)
        if row is None:
            raise CheckFailed(f"the dialog shows no row for {letter}: {rows}")
        return row

    @staticmethod
    def row_of(rows, letter):
        return rows[ROWS[letter]] if len(rows) > ROWS[letter] else None

    @staticmethod
    def shown(row):
        return row["text"], row["status"], row["checked"]

    def windows(self):
        return self.ask("windows")["windows"]

    def wait_window(self, pattern, timeout=60, gone=False):
        deadline = time.monotonic() + timeout
        while True:
            found = [w for w in self.windows() if re.fullmatch(pattern, w["title"], re.S)]
            if bool(found) != gone:
                return found[0] if found else None
            if time.monotonic() > deadline:
                raise CheckFailed(f"a window titled /{pattern}/ was still "
                                  f"{'there' if gone else 'not there'} after {timeout} s; "
                                  f"windows: {[w['title'] for w in self.windows()]}")
            time.sleep(0.3)

    def autoplay(self):
        """The AutoPlay cancel value: (exists, its type and size)."""
        answer = self.ask("autoplay")
        return answer["status"] == 0, answer["type"], answer["size"]

    def drive_types(self, letter):
        return self.ask(f"type {letter}")

    def device_commands(self, letter, *codes):
        return self.ask(f"ioctl {letter} {' '.join(map(str, codes))}")["results"]

    # --- what the user does ---

    def xdotool(self, *args):
        return self.agent.run(["xdotool", *map(str, args)], user=USER)

    def click(self, point, repeat=1):
        args = ["mousemove", point[0], point[1], "click"]
        if repeat > 1:
            args += ["--repeat", repeat, "--delay", 100]
        self.xdotool(*args, 1)

    def set_checked(self, letter, checked, timeout=15):
        row = self.row(letter)
        if row["checked"] != checked:
            self.click(row["check"])
        self.wait_checked(letter, checked, timeout)

    def double_click(self, letter):
        self.click(self.row(letter)["label"], repeat=2)

    def type_target(self, text):
        """Clicks into the target folder's field, selects what is there and types over it."""
        field = self.ask("target")["field"]
        self.click(field)
        self.xdotool("key", "--clearmodifiers", "ctrl+a")
        self.xdotool("type", "--delay", 40, text)
        deadline = time.monotonic() + 10
        while self.ask("target")["text"] != text:
            if time.monotonic() > deadline:
                raise CheckFailed(f"the target field shows {self.ask('target')['text']!r}, "
                                  f"typed {text!r}")
            time.sleep(0.2)

    def press(self, window, text):
        """Clicks the button of that text in a window."""
        for button in window["buttons"]:
            if button["text"] == text:
                self.click(button["centre"])
                return
        raise CheckFailed(f"no button '{text}' in '{window['title']}': "
                          f"{[b['text'] for b in window['buttons']]}")

    def close_box(self, window):
        """What the caption's close box sends to the window."""
        self.ask(f"close {window['hwnd']}")

    # --- screenshots ---

    def shot(self, name):
        """The screen as NAME.png in the screenshot folder, the pointer moved aside first."""
        self.xdotool("mousemove", 1010, 760)
        dump = self.agent.shot(name, self.share)
        png = xwd.to_png(dump, self.shots / f"{name}.png")
        dump.unlink()
        return png

