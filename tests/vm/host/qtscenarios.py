"""The dravolin program against the guest's drives, driven through its windows.

Drives: D: is cd0 (/dev/sr0, IDE 0 master), E: cd1 (IDE 0 slave), F: cd2 (IDE 1 master),
G: cd3 (IDE 1 slave). Every scenario leaves the program running with all drives unticked and
empty, unless it says otherwise.
"""

import json
import re
import time

from desktop import HOME, STATUS, find
from guest import CheckFailed

LETTERS = "DEFG"
TICK = 1.5  # the poll timer's period, in seconds


class DesktopRun:
    def __init__(self, boot, desktop, discs, log):
        self.boot = boot
        self.m = boot.machine
        self.agent = boot.agent
        self.d = desktop
        self.discs = discs
        self.log = log
        self.results = []  # (name, seconds, outcome)
        self.figures = {}  # scenario -> text lines for the closing report

    # --- helpers ---

    def step(self, name, action):
        started = time.monotonic()
        try:
            action()
            outcome = "ok"
        except CheckFailed as error:
            outcome = f"FAIL {error}"
            try:
                self.d.shot("failed-" + re.sub(r"\W+", "-", name)[:40])
            except Exception:  # the screenshot is a help, never the verdict
                pass
        seconds = time.monotonic() - started
        self.results.append((name, seconds, outcome))
        self.log(f"  {'ok  ' if outcome == 'ok' else 'FAIL'} {name} ({seconds:.1f} s)"
                 + ("" if outcome == "ok" else f"\n       {outcome[5:]}"))

    def load(self, drive, disc):
        self.m.change(LETTERS.index(drive), self.discs[disc].iso)

    def target_files(self, folder):
        """{relative path: [sha256, size]} and the entries that are not regular files."""
        out = self.agent.run(["python3", "-B", "/opt/guest/treesum.py", folder])["out"]
        report = json.loads(out)
        return report["files"], report["others"]

    def check_copy(self, folder, disc):
        """Every file of the disc is in the folder, complete, and nothing else is."""
        files, others = self.target_files(folder)
        expected = self.discs[disc].expected()
        problems = [f"missing: {p}" for p in expected if p not in files]
        problems += [f"differs: {p}" for p in expected if p in files and files[p][0] != expected[p]]
        problems += [f"unexpected: {p}" for p in files if p not in expected]
        problems += [f"not a regular file: {p}" for p in others]
        if problems:
            raise CheckFailed(f"{folder} after copying {disc}:\n    " + "\n    ".join(problems))
        return len(files)

    def mounts(self, device):
        lines = self.agent.read("/proc/self/mounts").decode().splitlines()
        return [line.split()[1] for line in lines if line.split()[0] == device]

    def released(self, drive):
        """Nothing of the program holds the drive: not mounted, the door not locked."""
        index = LETTERS.index(drive)
        problems = []
        if self.mounts(f"/dev/sr{index}"):
            problems.append(f"/dev/sr{index} is still mounted on {self.mounts(f'/dev/sr{index}')}")
        if self.m.drive_states()[index]["locked"]:
            problems.append(f"the door of {drive}: is still locked")
        return problems

    # --- scenarios ---

    def smoke(self):
        """The dialog starts, a drive is ticked, the disc in it is mounted by UDisks2 for the
        user, copied, unmounted and ejected."""
        target = f"{HOME}/discs/smoke"
        self.d.type_target(target)
        self.load("D", "photos")
        self.m.throttle(0, 2 * 1024 * 1024)  # long enough to see the copy
        self.d.set_checked("D", True)
        window = self.d.wait_window(r"Copying .*", timeout=60)
        mounted = self.mounts("/dev/sr0")
        self.d.wait_status("D", "Copying")
        self.d.shot("smoke-copying")
        if not mounted or not mounted[0].startswith("/media/user/"):
            raise CheckFailed(f"the disc was not mounted by UDisks2 for the user: {mounted}")
        self.d.wait_window(re.escape(window["name"]), timeout=120, gone=True)
        self.m.wait_tray(0, True, timeout=30)
        self.m.throttle(0, 0)
        self.d.wait_status("D", "Waiting", checked=True)
        self.d.shot("smoke-ejected")
        files = self.check_copy(target, "photos")
        problems = self.released("D")
        if problems:
            raise CheckFailed("; ".join(problems))
        self.d.set_checked("D", False)
        self.d.wait_status("D", "Idle")
        self.figures["smoke"] = [f"{files} files copied through a UDisks2 mount on {mounted[0]}"]

    def all(self):
        return [("smoke: tick, UDisks2 mount, copy, unmount, eject", self.smoke)]
