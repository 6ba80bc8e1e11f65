"""What every Wine scenario stands on: discs in and out, the drives' trays and mounts, the
copied files, and the program's device commands read back from Wine's relay trace.

Drives: E: is cd0 (/dev/sr0, mounted at /media/cdrom0), F: is cd1 (/dev/sr1, /media/cdrom1).
"""

import re
import time

from desktopsuite import STATUS, SuiteRun, failure_shot
from guest import CheckFailed
from machine import MachineError
from wineprogram import PREFIX

DRIVES = "EF"
TARGETS = f"{PREFIX}/drive_c/Discs"
# The device commands, as the trace names them.
IOCTL_DISK_CHECK_VERIFY, IOCTL_DISK_EJECT_MEDIA, IOCTL_DISK_LOAD_MEDIA = (0x74800, 0x74808,
                                                                          0x7480C)
IOCTL_STORAGE_EJECT_MEDIA = 0x2D4808
CODE_NAMES = {IOCTL_DISK_CHECK_VERIFY: "IOCTL_DISK_CHECK_VERIFY",
              IOCTL_DISK_EJECT_MEDIA: "IOCTL_DISK_EJECT_MEDIA",
              IOCTL_DISK_LOAD_MEDIA: "IOCTL_DISK_LOAD_MEDIA",
              IOCTL_STORAGE_EJECT_MEDIA: "IOCTL_STORAGE_EJECT_MEDIA",
              0x2D480C: "IOCTL_STORAGE_LOAD_MEDIA", 0x2D4804: "IOCTL_STORAGE_MEDIA_REMOVAL",
              0x90020: "FSCTL_DISMOUNT_VOLUME"}


class WineRun(SuiteRun):
    def __init__(self, boot, program, discs, log):
        super().__init__(boot, discs, log)
        self.s = program

    # --- helpers ---

    def step(self, name, action):
        started = time.monotonic()
        try:
            action()
            outcome = "ok"
        except CheckFailed as error:
            outcome = f"FAIL {error}"
            try:
                failure_shot(self.s, name)
            except Exception:  # the screenshot is a help, never the verdict
                pass
        self.record(name, time.monotonic() - started, outcome)

    def drive(self, letter):
        return DRIVES.index(letter)

    def load(self, letter, disc, mount_delay=None):
        """Puts a disc into the drive (the tray closes with it); with `mount_delay`, the
        automounter mounts it that many seconds late."""
        if mount_delay is not None:
            self.agent.run(sh=f"echo {mount_delay} > /run/automount/delay-sr{self.drive(letter)}")
        try:
            self.m.change(self.drive(letter), self.discs[disc].iso)
        except MachineError as error:
            raise CheckFailed(f"{letter}: {error}") from None

    def state(self, letter):
        return self.m.drive_states()[self.drive(letter)]

    def wait_tray(self, letter, open_, timeout=30):
        try:
            self.m.wait_tray(self.drive(letter), open_, timeout)
        except MachineError as error:
            raise CheckFailed(f"{letter}: {error}") from None

    def folder(self, name):
        return f"{TARGETS}/{name}"

    def check_files(self, folder, expected, what):
        """The folder holds exactly `expected` ({relative path: sha256}), complete."""
        files, others = self.target_files(folder)
        problems = [f"missing: {p}" for p in expected if p not in files]
        problems += [f"differs: {p}" for p in expected if p in files and files[p][0] != expected[p]]
        problems += [f"unexpected: {p}" for p in files if p not in expected]
        problems += [f"not a regular file: {p}" for p in others]
        if problems:
            raise CheckFailed(f"{folder} after {what}:\n    " + "\n    ".join(problems))
        return len(files)

    def mounted(self, letter):
        device, mount_point = f"/dev/sr{self.drive(letter)}", f"/media/cdrom{self.drive(letter)}"
        lines = self.agent.read("/proc/self/mounts").decode().splitlines()
        return any(line.split()[:2] == [device, mount_point] for line in lines)

    def wait_mounted(self, letter, timeout=30):
        deadline = time.monotonic() + timeout
        while not self.mounted(letter):
            if time.monotonic() > deadline:
                raise CheckFailed(f"the disc in {letter}: was never mounted; automounter:\n"
                                  + self.s.log_text("automount")[-1500:])
            time.sleep(0.3)

    def expected(self, *names):
        """What copying these discs in turn into one folder leaves: later discs' files replace
        the earlier ones of the same names."""
        files = {}
        for name in names:
            files.update(self.discs[name].expected())
        return files

    def uptime(self):
        return float(self.agent.read("/proc/uptime").decode().split()[0])

    def watch_cycle(self, letter, timeout):
        """Follows a ticked drive until its disc is copied and ejected (the tray open and the
        row "Waiting" after it showed the copy): every status the row shows and every state of
        the tray and its door, on the guest's clock. A screenshot is taken while the copy
        runs."""
        events, status, tray, copied = [], None, None, False
        deadline = time.monotonic() + timeout
        while True:
            now = self.uptime()
            row, state = self.s.row(letter), self.state(letter)
            if row["status"] != status:
                status = row["status"]
                events.append((now, f"{now:.2f} dialog: {letter}: \"{status}\""))
                if status == STATUS["Copying"]:
                    self.s.shot("cycle-copying")
                copied = copied or status in (STATUS["Copying"], STATUS["Ejecting"])
            if (state["tray_open"], state["inserted"], state["locked"]) != tray:
                tray = (state["tray_open"], state["inserted"], state["locked"])
                events.append((now, f"{now:.2f} QEMU: {letter}: tray "
                               f"{'open' if tray[0] else 'closed'}, "
                               f"{'a disc' if tray[1] else 'no disc'}, door "
                               f"{'locked' if tray[2] else 'unlocked'}"))
            if copied and tray[0] and status == STATUS["Waiting"]:
                return events
            if time.monotonic() > deadline:
                raise CheckFailed(f"{letter}: never copied and ejected within {timeout} s: "
                                  f"{[text for _, text in events]}")
            time.sleep(0.2)

    def trace(self, since, until, events=()):
        """The program's device commands and drive-type questions with their answers (Wine's
        relay trace) and the automounter's actions between two moments of the guest's clock,
        with `events` ((time, text)), in order."""
        lines = list(events)
        for when, text in relayed_calls(self.s.program_log()):
            if since <= when <= until:
                lines.append((when, f"{when:.2f} Dravolin.exe {text}"))
        for line in self.s.log_text("automount").splitlines():
            match = re.match(r"^(\d+\.\d+) (.*)", line)
            if match and since <= float(match.group(1)) <= until:
                lines.append((float(match.group(1)), f"{match.group(1)} automounter: "
                              f"{match.group(2)}"))
        return [line for _, line in sorted(lines, key=lambda entry: entry[0])]


def relayed_calls(log):
    """[(seconds, "thread: call -> answer")] from Wine's relay trace (with +timestamp): each call
    of the program into Wine with its answer; a call Wine makes inside another is left out."""
    calls, stacks = [], {}
    for line in log.splitlines():
        match = re.match(r"^\s*(\d+\.\d+):([0-9a-f]+):(Call|Ret) +\w+\.(\w+)\((.*?)\)"
                         r"(?: retval=([0-9a-f]+))?", line)
        if not match:
            continue
        when, thread, kind, function, args, retval = match.groups()
        stack = stacks.setdefault(thread, [])
        if kind == "Call":
            stack.append((float(when), function, args))
            continue
        if not stack:
            continue
        started, function, args = stack.pop()
        if stack:
            continue
        if function == "DeviceIoControl":
            fields = args.split(",")
            code = int(fields[1], 16)
            args = f"{fields[0]},{CODE_NAMES.get(code, hex(code))}"
        calls.append((started, f"{thread}: {function}({args}) -> {int(retval, 16)}"))
    return calls
