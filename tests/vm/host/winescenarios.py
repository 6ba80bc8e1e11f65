"""Dravolin.exe's copy cycle against the guest's drives, under Wine, driven as a user drives it.

Drives: E: is cd0 (/dev/sr0, mounted at /media/cdrom0), F: is cd1 (/dev/sr1, /media/cdrom1).
The scenarios run in order in one session of the program (the last one ends it), each leaving
the drives as the next expects them.
"""

import time

from desktopsuite import TICK
from guest import CheckFailed
from winerun import (DRIVES, IOCTL_DISK_CHECK_VERIFY, IOCTL_DISK_EJECT_MEDIA,
                     IOCTL_DISK_LOAD_MEDIA, IOCTL_STORAGE_EJECT_MEDIA, WineRun)
from wineprogram import windows_path

# The Win32 answers the checks look for.
ERROR_NOT_SUPPORTED = 50
DRIVE_CDROM = 5


class WineScenarios(WineRun):
    def started(self):
        """The dialog lists both drives, E: with its disc's label; the AutoPlay cancel value
        exists while it runs (REG_SZ, no data)."""
        texts = [row["text"] for row in self.s.rows()]
        if len(texts) != 2 or texts[0] != "PHOTOS_2019 (E:)" or not texts[1].endswith("(F:)"):
            raise CheckFailed(f"the dialog lists {texts}")
        exists, kind, size = self.s.autoplay()
        if not exists or kind != 1 or size != 0:
            raise CheckFailed(f"the AutoPlay cancel value: exists {exists}, type {kind}, "
                              f"{size} bytes")
        self.figures["start"] = [f"rows {texts}; AutoPlay value REG_SZ, 0 bytes"]

    def wine_carries(self):
        """What Wine carries of the program's device commands on a drive backed by a real
        drive, asked by the probe the way the program asks. It fixes the allowances the Win32
        platform makes under Wine: each is needed while this holds."""
        types_e, types_f = self.s.drive_types("E"), self.s.drive_types("F")
        results = self.s.device_commands("E", IOCTL_DISK_CHECK_VERIFY, IOCTL_DISK_EJECT_MEDIA,
                                         IOCTL_DISK_LOAD_MEDIA, IOCTL_STORAGE_EJECT_MEDIA)
        verify, eject, load, storage_eject = results
        lines = [
            f"GetDriveTypeA: E: (disc mounted) \"E:\\\" {types_e['shell_root']}, "
            f"\"\\\\.\\E:\\\" {types_e['device_root']}; F: (empty) \"F:\\\" "
            f"{types_f['shell_root']}, \"\\\\.\\F:\\\" {types_f['device_root']}",
            f"E: disc mounted: DeviceIoControl 0x74800 (check verify) ok={verify['ok']} "
            f"error {verify['error']}; 0x74808 (disk eject) ok={eject['ok']} error "
            f"{eject['error']}; 0x7480C (disk load) ok={load['ok']} error {load['error']}; "
            f"0x2D4808 (storage eject, no dismount) ok={storage_eject['ok']} (the door is locked "
            f"by the mount and udev; the drive's refusal comes back through a stale errno: "
            f"error {storage_eject['error']})"]
        self.figures["what Wine carries"] = lines
        problems = []
        if types_f["device_root"] == DRIVE_CDROM:
            problems.append("Wine now answers DRIVE_CDROM for the empty drive's device root: the "
                            "drive-type allowance (asking with \"F:\\\") can go")
        if types_f["shell_root"] != DRIVE_CDROM or types_e["shell_root"] != DRIVE_CDROM:
            problems.append("Wine does not answer DRIVE_CDROM for the drive letters: the drives "
                            "would not be listed")
        if not verify["ok"]:
            problems.append("the media test fails on a drive holding a mounted disc")
        if eject["ok"] or load["ok"] or eject["error"] != ERROR_NOT_SUPPORTED:
            problems.append("Wine now carries the disk class's eject or load: the translation "
                            "to the storage codes can go")
        if storage_eject["ok"]:
            problems.append("the mounted disc was ejected without its dismount: the dismount "
                            "and the unlock before the eject can go")
        if self.state("E")["tray_open"]:
            problems.append("the tray of E: opened")
        if problems:
            raise CheckFailed("; ".join(problems) + "\n    " + "\n    ".join(lines))

    def empty_tray_closed(self):
        """An empty drive whose tray is open, ticked: the cycle closes the tray and waits."""
        self.m.eject(self.drive("F"))
        self.wait_tray("F", True, 10)
        self.s.set_checked("F", True)
        self.wait_tray("F", False, 30)
        self.s.wait_status("F", "Waiting", 20)
        self.s.shot("empty-tray-closed")
        state = self.state("F")
        if state["inserted"] or state["locked"]:
            raise CheckFailed(f"F: after closing its empty tray: {state}")
        self.s.set_checked("F", False)
        self.s.wait_status("F", "Idle", 20)

    def disc_then_next(self):
        """E: holds a disc in its open tray (a press of the drive's button): ticked, the cycle
        closes the tray, the disc is mounted, copied into the target and ejected. The next disc
        is mounted late (the automounter lags three polls behind the drive): the program waits
        for its files rather than ejecting it uncopied."""
        folder = self.folder("Cycle")
        self.s.type_target(windows_path(folder))
        self.wait_mounted("E")
        self.m.open_tray(self.drive("E"))
        self.wait_tray("E", True, 10)
        self.m.throttle(self.drive("E"), 2 * 1024 * 1024)  # a copy long enough to be seen
        since = self.uptime()
        before = self.state("E")
        events = [(since, f"{since:.2f} QEMU: E: tray open: {before['tray_open']}, a disc: "
                          f"{before['inserted']}; the user ticks E:")]
        self.s.set_checked("E", True)
        events += self.watch_cycle("E", 120)
        self.m.throttle(self.drive("E"), 0)
        until = self.uptime()
        self.s.shot("cycle-ejected")
        self.check_files(folder, self.expected("photos"), "copying photos")
        state = self.state("E")
        if self.mounted("E") or state["locked"]:
            raise CheckFailed(f"E: after the eject: mounted {self.mounted('E')}, {state}")
        self.figures["one full cycle (E:, photos)"] = self.trace(since, until, events)

        delay = 3 * TICK + 1
        self.load("E", "names-a", mount_delay=delay)
        # Another process has the drive open from before the disc is mounted until a while
        # after Wine's dismount, as the desktop's disc probes can: Linux refuses the eject
        # while it does, and the program must ask again rather than leave the disc behind.
        since = self.uptime()
        self.agent.spawn("holder", argv=["python3", "-c", HOLDER, "/dev/sr0", "/media/cdrom0",
                                         str(HOLD)])
        loaded = time.monotonic()
        while not self.mounted("E"):
            if self.state("E")["tray_open"]:
                raise CheckFailed("the next disc was ejected before it was mounted: "
                                  + "; ".join(self.trace(since, self.uptime())[-8:]))
            if time.monotonic() - loaded > delay + 30:
                raise CheckFailed("the next disc was never mounted")
            time.sleep(0.3)
        self.wait_tray("E", True, 120)
        self.s.wait_status("E", "Waiting", 20)
        until = self.uptime()
        count = self.check_files(folder, self.expected("photos", "names-a"),
                                 "copying photos, then names-a")
        held = [(float(line.split()[0]), f"{line.split()[0]} holder: {line.split(None, 1)[1]}")
                for line in self.s.log_text("holder").splitlines() if line.strip()]
        trace = self.trace(since, until, held)
        ejects = [line for line in trace if "IOCTL_STORAGE_EJECT_MEDIA" in line]
        if not any(line.endswith("-> 0") for line in ejects):
            raise CheckFailed("no eject was refused while the drive was held: "
                              + "; ".join(trace[-12:]))
        self.figures["disc then the next"] = [
            f"{count} files in {windows_path(folder)}; names-a mounted "
            f"{delay:.1f} s after it went in and copied after that; its eject, the drive held "
            f"by another process for {HOLD} s after the dismount:"] + [
            line for line in trace if "holder" in line or "automounter" in line
            or ("DeviceIoControl" in line and "CHECK_VERIFY" not in line)]

    def two_drives(self):
        """Discs in both ticked drives are copied at the same time into one folder."""
        folder = self.folder("Parallel")
        self.s.type_target(windows_path(folder))
        self.s.set_checked("F", True)
        self.s.wait_status("F", "Waiting", 20)
        self.load("E", "large")
        self.load("F", "photos")
        self.m.throttle(self.drive("E"), 3 * 1024 * 1024)
        self.m.throttle(self.drive("F"), 1024 * 1024)
        self.s.wait_rows(lambda rows: all(r["status"] == "Disc copying" for r in rows), 90,
                         "both drives copying at once")
        self.s.shot("parallel-copying")
        self.wait_tray("E", True, 120)
        self.wait_tray("F", True, 120)
        for letter in DRIVES:
            self.m.throttle(self.drive(letter), 0)
        count = self.check_files(folder, self.expected("large", "photos"), "two drives")
        self.figures["two drives"] = [f"{count} files from E: and F: in {windows_path(folder)}"]

    def same_names(self):
        """Two discs with the same names into one folder: Wine's shell asks before replacing,
        once for the files and once for the folders (its "Yes to all" holds for one kind of
        question), and the second disc's files replace the first's."""
        self.s.set_checked("F", False)
        self.s.wait_status("F", "Idle", 20)
        folder = self.folder("Same")
        self.s.type_target(windows_path(folder))
        self.load("E", "names-a")
        self.wait_tray("E", True, 120)
        self.check_files(folder, self.expected("names-a"), "copying names-a")
        self.load("E", "names-b")
        questions = []
        deadline = time.monotonic() + 180
        while not self.state("E")["tray_open"]:
            prompts = [w for w in self.s.windows() if w["title"] == "Confirm file overwrite"]
            if prompts and prompts[0]["question"] not in questions:
                questions.append(prompts[0]["question"])
                if len(questions) > 2:
                    raise CheckFailed(f"asked again after Yes to all: {questions}")
                self.s.shot(f"same-names-prompt-{len(questions)}")
                self.s.press(prompts[0], "Yes to all")
            if time.monotonic() > deadline:
                raise CheckFailed(f"names-b was never ejected; asked {questions}")
            time.sleep(0.5)
        if not questions:
            raise CheckFailed("names-b replaced names-a's files without asking")
        count = self.check_files(folder, self.expected("names-a", "names-b"),
                                 "copying names-a, then names-b with Yes to all")
        self.figures["same names"] = [f"Wine's prompts, each answered with Yes to all: "
                                      f"{questions}; {count} files, the second disc's where "
                                      "the names meet"]

    def double_click(self):
        """A double-click on an unticked drive loads an open tray, and ejects a loaded disc."""
        self.s.set_checked("E", False)
        self.s.wait_status("E", "Idle", 20)
        self.s.double_click("E")
        self.wait_tray("E", False, 30)
        self.wait_mounted("E")
        # The program sees the disc once Wine shows its files at the drive letter.
        deadline = time.monotonic() + 30
        while self.s.drive_types("E")["device_root"] != DRIVE_CDROM:
            if time.monotonic() > deadline:
                raise CheckFailed("Wine never showed the mounted disc at E:")
            time.sleep(0.5)
        self.s.shot("double-click-loaded")
        self.s.double_click("E")
        self.wait_tray("E", True, 30)
        row = self.s.row("E")
        if row["checked"] or row["status"] != " ":
            raise CheckFailed(f"the double-clicks changed the row: {row}")

    def close_during_copy(self):
        """The dialog closed by its close box while a disc is copied: the program ends at once
        (the copy worker is terminated), and nothing of it keeps the drive: the desktop's eject
        works and leaves the door unlocked."""
        folder = self.folder("Closed")
        self.s.type_target(windows_path(folder))
        self.load("E", "large")
        self.m.throttle(self.drive("E"), 512 * 1024)
        self.s.set_checked("E", True)
        self.s.wait_status("E", "Copying", 60)
        big = f"{folder}/big.bin"
        deadline = time.monotonic() + 60
        while self.agent.run(["test", "-s", big], check=False)["rc"] != 0:
            if time.monotonic() > deadline:
                raise CheckFailed("the copy never began writing big.bin")
            time.sleep(0.5)
        self.s.shot("close-during-copy")
        closed = time.monotonic()
        self.s.close_box(self.s.dialog())
        rc = self.s.wait_exit(60)
        seconds = time.monotonic() - closed
        self.m.throttle(self.drive("E"), 0)
        if rc is None:
            raise CheckFailed("Dravolin.exe did not end within 60 s of its close box")
        size = lambda: int(self.agent.run(["stat", "-c", "%s", big])["out"])
        first = size()
        time.sleep(2 * TICK)
        if size() != first:
            raise CheckFailed("the copy went on after the program ended")
        exists, _, _ = self.s.autoplay()
        if exists:
            raise CheckFailed("the AutoPlay cancel value stayed after the program ended")
        holders = self.agent.run(sh="for f in /proc/[0-9]*/fd/*; do t=$(readlink $f) || "
                                    "continue; case $t in /dev/sr0|/media/cdrom0*) "
                                    "echo \"${f%/fd/*} $t\";; esac; done", check=False)["out"]
        if holders.strip():
            raise CheckFailed(f"processes still hold the drive or its files:\n{holders}")
        ejected = self.agent.run(["eject", "/dev/sr0"], user="user", check=False)
        self.wait_tray("E", True, 30)
        state = self.state("E")
        status = self.agent.run(["python3", "-c", CDROM_STATUS, "/dev/sr0"])["out"].strip()
        if state["locked"] or status != "2":
            raise CheckFailed(f"after the desktop's eject: {state}, CDROM_DRIVE_STATUS {status}")
        total = self.discs["large"].files["big.bin"]
        self.figures["dialog closed during a copy"] = [
            f"Dravolin.exe ended {seconds:.1f} s after the close box (exit code {rc}); "
            f"big.bin stopped at {first} of {len(total)} bytes; the desktop's eject "
            f"(eject /dev/sr0 as the user) exit code {ejected['rc']}, then {state}, "
            f"CDROM_DRIVE_STATUS {status} (tray open)"]

    def all(self):
        return [("what Wine carries of the device commands", self.wine_carries),
                ("an empty open tray closed by the cycle", self.empty_tray_closed),
                ("a disc in an open tray closed, copied and ejected, then the next (mounted late)",
                 self.disc_then_next),
                ("two drives in parallel", self.two_drives),
                ("the same names on two discs, Yes to all", self.same_names),
                ("double-click: load, then eject", self.double_click),
                ("the dialog closed during a copy", self.close_during_copy)]


# Holds a drive open (argv: device, mount point, seconds) from before its disc is mounted until
# that long after the disc is unmounted; says when, on the guest's clock.
HOLD = 2.0
HOLDER = """
import os, sys, time
def say(text):
    print(open("/proc/uptime").read().split()[0], text, flush=True)
def mounted():
    return any(line.split()[1] == sys.argv[2] for line in open("/proc/self/mounts"))
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NONBLOCK)
say("opened " + sys.argv[1])
while not mounted():
    time.sleep(0.05)
while mounted():
    time.sleep(0.05)
say("saw the unmount, holds the drive " + sys.argv[3] + " s more")
time.sleep(float(sys.argv[3]))
os.close(fd)
say("closed " + sys.argv[1])
"""


# The drive's status as the kernel reports it (CDROM_DRIVE_STATUS): 2 is the tray open.
CDROM_STATUS = """
import fcntl, os, sys
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NONBLOCK)
print(fcntl.ioctl(fd, 0x5326, 0))
"""
