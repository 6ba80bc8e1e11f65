"""The dravolin program driven as a user drives it: tick, type and pick a target, answer and
close prompts, untick during a copy, the drive menu, the double click, closing the dialog during
a copy, the history kept across a restart, and a desktop without UDisks2."""

import re
import time

from desktopsuite import TICK
from guest import CheckFailed
from qtprogram import HOME, find
from qtrun import NO_FILES, QtRun, history

# How long a prompt's answer may take to end the copy and eject: the worker sees the answer at
# once; the poll needs a tick to see the worker's end and one more to start the eject.
ANSWER_TO_EJECT = 4 * TICK + 10


class UserScenarios(QtRun):
    def smoke(self):
        """The dialog starts, a drive is ticked, the disc in it is mounted by UDisks2 for the
        user, copied, unmounted and ejected."""
        target = f"{HOME}/discs/smoke"
        self.d.type_target(target)
        self.load("D", "photos")
        self.m.throttle(0, 2 * 1024 * 1024)  # long enough to see the copy
        self.d.set_checked("D", True)
        window = self.wait_copying("D")
        mounted = self.mounts("/dev/sr0")
        self.d.wait_status("D", "Copying")
        self.d.shot("smoke-copying")
        if not mounted or not mounted[0].startswith("/media/user/"):
            raise CheckFailed(f"the disc was not mounted by UDisks2 for the user: {mounted}")
        self.d.wait_window(re.escape(window["name"]), timeout=120, gone=True)
        self.wait_ejected("D", 30)
        self.d.wait_status("D", "Waiting", checked=True)
        self.d.shot("smoke-ejected")
        files = self.check_copy(target, "photos")
        problems = self.held("D")
        if problems:
            raise CheckFailed("; ".join(problems))
        self.untick("D")
        self.d.wait_status("D", "Idle")
        self.figures["smoke"] = [f"{files} files copied through a UDisks2 mount on {mounted[0]}"]

    def disc_known_late(self):
        """UDisks2 learns of a new disc only after udev has looked at it, which can be after
        the drive reports the disc ready (here udev is held for two polls): the program waits
        for UDisks2 rather than failing the copy, and the disc is copied."""
        target = f"{HOME}/discs/late"
        self.d.type_target(target)
        self.d.set_checked("E", True)
        self.m.wait_tray(1, False, 20)  # the cycle closes the empty tray
        self.d.wait_status("E", "Waiting")
        self.agent.run(["udevadm", "control", "--stop-exec-queue"])
        try:
            self.load("E", "photos")
            loaded = time.monotonic()
            refused = None
            while time.monotonic() - loaded < 2 * TICK + 1:
                if any(w["name"] == "Error Copying File" for w in self.d.windows()):
                    refused = self.prompt_text(self.d.top_level("Error Copying File"))
                    self.d.shot("disc-known-late-error")
                    break
                time.sleep(0.3)
        finally:
            self.agent.run(["udevadm", "control", "--start-exec-queue"])
        before = self.unknown_disc
        self.wait_ejected("E", 120)  # a prompt about the unknown disc is answered with Retry
        self.check_copy(target, "photos")
        self.untick("E")
        self.unknown_disc = before
        if refused:
            raise CheckFailed(f"the copy failed while UDisks2 had not seen the disc yet: "
                              f"{refused!r} (Retry copied it)")

    def browse_and_pick(self):
        """Browse opens the folder chooser; the user goes to the home folder, picks a folder
        and presses Choose: the target shows it, and the next disc goes there. The target as
        shown ends with '/', never with the backslash of the Windows forms."""
        self.as_user(f"mkdir -p {HOME}/picked/batch1")
        self.d.press(self.d.dialog(), "Browse...")
        self.d.wait_window(r"Select target folder.*", 30)
        chooser = self.d.top_level(r"Select target folder.*")
        self.d.click_node(find(chooser, role="list item", name="user")[0])
        deadline = time.monotonic() + 20
        while True:
            chooser = self.d.top_level(r"Select target folder.*")
            items = find(find(chooser, role="tree", name="Files")[0], role="tree item",
                         name="picked")
            if items or time.monotonic() > deadline:
                break
            time.sleep(0.3)
        if not items:
            raise CheckFailed("the chooser never listed the home folder's 'picked'")
        self.d.click_node(items[0])
        self.d.shot("browse-chooser")
        self.d.press(self.d.top_level(r"Select target folder.*"), "Choose")
        self.d.wait_window(r"Select target folder.*", 20, gone=True)
        shown = self.d.target_text()
        self.load("E", "names-a")
        self.d.set_checked("E", True)
        self.wait_ejected("E", 90)
        self.check_copy(f"{HOME}/picked", "names-a")
        self.untick("E")
        if shown != f"{HOME}/picked/":
            raise CheckFailed(f"the picked folder shows as {shown!r}, not '{HOME}/picked/'")

    def replace_prompt_answered(self):
        """Two discs with the same names into one folder: the second asks before replacing;
        Yes to All replaces them."""
        target = f"{HOME}/discs/names"
        self.d.type_target(target)
        self.load("D", "names-a")
        self.d.set_checked("D", True)
        self.wait_ejected("D", 90)
        self.load("D", "names-b")
        _, prompt = self.wait_prompt("Confirm File Replace", 60)
        text = self.prompt_text(prompt)
        if f"{target}/same.txt" not in text:
            raise CheckFailed(f"the replace prompt does not name the file: {text!r}")
        self.d.shot("replace-prompt")
        self.answer(prompt, "Yes to All")
        self.wait_ejected("D", ANSWER_TO_EJECT + 30)
        self.untick("D")
        a, b = self.discs["names-a"].expected(), self.discs["names-b"].expected()
        problems = self.compare(target, {"only-on-a.txt": a["only-on-a.txt"], **b})
        if problems:
            raise CheckFailed("after Yes to All:\n    " + "\n    ".join(problems))

    def replace_prompt_closed(self):
        """The replace prompt closed by its close box is answered as its Cancel: the copy
        ends, the disc is ejected, and the file it asked about is kept."""
        target = f"{HOME}/discs/names"
        self.d.type_target(target)
        before, _ = self.target_files(target)
        if "same.txt" not in before:
            raise CheckFailed("runs after the replace scenario, whose files are not there")
        self.load("D", "names-c")
        self.d.set_checked("D", True)
        window, _ = self.wait_prompt("Confirm File Replace", 90)
        closed = time.monotonic()
        self.close_prompt(window)
        try:
            self.d.wait_window("Confirm File Replace", 10, gone=True)
            self.wait_ejected("D", ANSWER_TO_EJECT)
        except Exception as error:
            raise CheckFailed(f"after the replace prompt's close box: {error}; the drive "
                              f"shows {self.d.row('D').status!r}") from None
        self.figures["prompt closed by its close box"] = [
            f"replace prompt: disc ejected {time.monotonic() - closed:.1f} s after the close"]
        after, _ = self.target_files(target)
        if after.get("same.txt") != before["same.txt"]:
            raise CheckFailed("the file the prompt asked about was replaced after Cancel")
        self.untick("D")

    def error_prompt_closed(self):
        """A disc without a file system: the mount's error is shown with no progress window
        (no Cancel to press); closing it by its close box ends the copy and ejects the disc."""
        self.d.type_target(f"{HOME}/discs/blank")
        self.load("E", "blank")
        self.d.set_checked("E", True)
        log_before = len(self.d.program_log())
        window, prompt = self.wait_prompt("Error Copying File", 90)
        text = self.prompt_text(prompt)
        # The drive as the list names it and what the service's answer means; the answer
        # itself goes to the error output.
        if "CD/DVD drive sr1 (E:)" not in text or NO_FILES not in text:
            raise CheckFailed(f"the error for a blank disc says {text!r}")
        said = self.d.program_log()[log_before:]
        if not re.search(r"^dravolin: E: \(/dev/sr1\) could not be mounted: UDisks2: "
                         r"org\.freedesktop\.DBus\.Error\.Unknown\w+: ", said, re.M):
            raise CheckFailed(f"the error output does not say what UDisks2 answered: {said!r}")
        self.d.shot("blank-disc-error")
        closed = time.monotonic()
        self.close_prompt(window)
        try:
            self.wait_ejected("E", ANSWER_TO_EJECT)
        except Exception as error:
            raise CheckFailed(f"after the error prompt's close box: {error}; the drive shows "
                              f"{self.d.row('E').status!r}") from None
        self.figures["prompt closed by its close box"] = (
            self.figures.get("prompt closed by its close box", [])
            + [f"mount error prompt: disc ejected {time.monotonic() - closed:.1f} s after"])
        self.untick("E")

    def untick_during_copy(self):
        """Unticked during a copy: the copy runs to its end and the disc stays in; what the
        program mounted is then released and the door unlocked, since no eject follows.
        Ticked again, the disc is ejected."""
        target = f"{HOME}/discs/untick"
        self.d.type_target(target)
        self.load("D", "archive")
        self.m.throttle(0, 2 * 1024 * 1024)
        self.d.set_checked("D", True)
        window = self.wait_copying("D")
        self.untick("D")
        self.d.wait_window(re.escape(window["name"]), 120, gone=True)
        ended = time.monotonic()
        self.m.throttle(0, 0)
        self.check_copy(target, "archive")
        deadline = ended + 3 * TICK
        while time.monotonic() < deadline:
            if self.m.trays()[0][0]:
                raise CheckFailed("the disc of an unticked drive was ejected")
            time.sleep(0.3)
        problems = self.wait_released("D", 3 * TICK)
        self.d.shot("untick-after-copy")
        self.d.set_checked("D", True)
        self.wait_ejected("D", 4 * TICK + 10)
        self.untick("D")
        if problems:
            raise CheckFailed("after a copy whose drive was unticked: " + "; ".join(problems))

    def drive_menu_eject(self):
        """Right click on a drive: its menu; Eject (its mnemonic key) ejects the disc."""
        self.load("E", "photos")
        self.d.wait_rows(lambda rows: any(r.letter == "E" and r.label.startswith("PHOTOS")
                                          for r in rows), 20, "the disc's label on E:")
        row = self.d.row("E")
        x, y, _, h = row.ext
        self.d.click(x + 80, y + h // 2, button=3)
        dialog = self.d.dialog_window()["id"]
        deadline = time.monotonic() + 10
        while not [w for w in self.d.windows() if w["id"] != dialog]:
            if time.monotonic() > deadline:
                raise CheckFailed("no menu appeared on the right click")
            time.sleep(0.2)
        self.d.shot("drive-menu")
        self.d.xdotool("key", "e")
        self.wait_ejected("E", 20)

    def double_click_load_and_eject(self):
        """A double click on a drive closes its open tray, and the next one ejects."""
        self.load("E", "photos")
        self.m.open_tray(1)
        row = self.d.row("E")
        x, y, _, h = row.ext
        self.d.click(x + 80, y + h // 2, repeat=2)
        self.m.wait_tray(1, False, 20)
        # The row may still show the label it had before the tray opened: the second double
        # click decides by the drive's own media test, so it waits for the drive to report
        # the disc ready, as the program's test will.
        self.agent.run(["python3", "-c", (
            "import fcntl, os, sys, time\n"
            "deadline = time.monotonic() + 30\n"
            "while time.monotonic() < deadline:\n"
            "    fd = os.open('/dev/sr1', os.O_RDONLY | os.O_NONBLOCK)\n"
            "    status = fcntl.ioctl(fd, 0x5326, 0)  # CDROM_DRIVE_STATUS\n"
            "    os.close(fd)\n"
            "    if status == 4:  # CDS_DISC_OK\n"
            "        sys.exit(0)\n"
            "    time.sleep(0.1)\n"
            "sys.exit(1)\n")])
        self.d.wait_rows(lambda rows: any(r.letter == "E" and r.label.startswith("PHOTOS")
                                          for r in rows), 20, "the loaded disc's label")
        self.d.click(x + 80, y + h // 2, repeat=2)
        self.wait_ejected("E", 20)

    def close_during_copy(self):
        """Exit during a copy: the program ends promptly, leaves no file under a real name
        that is not complete, and releases the drive (no mount, door unlocked)."""
        target = f"{HOME}/discs/closed"
        self.d.type_target(target)
        self.load("F", "archive")
        self.m.throttle(2, 2 * 1024 * 1024)
        self.d.set_checked("F", True)
        self.wait_copying("F")
        self.d.press(self.d.dialog(), "Exit")
        pressed = time.monotonic()
        rc = self.d.wait_exit(30)
        if rc is None:
            raise CheckFailed("the program did not end within 30 s of Exit during a copy")
        seconds = time.monotonic() - pressed
        problems = self.compare(target, {}, optional=self.discs["archive"].expected(),
                                temporary_ok=True)
        # The last close of the drive unlocks its door: on a host busy with other guests and
        # builds that came later than 5 s after the program's end.
        problems += self.wait_released("F", 30)
        self.figures["dialog closed during a copy"] = [
            f"the program ended {seconds:.1f} s after Exit (exit code {rc})"]
        self.m.throttle(2, 0)
        self.d.start()
        if problems:
            raise CheckFailed("after Exit during a copy: " + "; ".join(problems))

    def history_after_restart(self):
        """The target a disc went to is in the store, most recent first, and the program shows
        the stored history again when it starts."""
        target = f"{HOME}/discs/history"
        self.d.type_target(target)
        self.load("E", "names-a")
        self.d.set_checked("E", True)
        self.wait_ejected("E", 90)
        self.untick("E")
        self.d.press(self.d.dialog(), "Exit")
        if self.d.wait_exit(30) is None:
            raise CheckFailed("the program did not end within 30 s of Exit")
        entries = history(self.store())
        self.d.start()
        combo = find(self.d.dialog(), role="combo box")[0]
        shown = [n["name"] for n in find(combo, role="list item", showing=False)]
        self.figures["history"] = [f"{len(entries)} entries in the store, the first "
                                   f"{entries[:3]}; the list shows {len(shown)}"]
        if not entries or entries[0].rstrip("/\\") != target:
            raise CheckFailed(f"the last target is not first in the store: {entries}")
        if [e.rstrip("/\\") for e in shown] != [e.rstrip("/\\") for e in entries]:
            raise CheckFailed(f"after a restart the list shows {shown}, the store has {entries}")

    def without_udisks(self):
        """A desktop without UDisks2 (not running, not startable): the error the user sees
        says that UDisks2 is missing, and the disc is ejected after the answer."""
        service = "/usr/share/dbus-1/system-services/org.freedesktop.UDisks2.service"
        self.agent.run(sh=f"mv {service} /run/udisks2.service.off; pkill -x udisksd; "
                          "dbus-send --system --type=method_call --dest=org.freedesktop.DBus "
                          "/ org.freedesktop.DBus.ReloadConfig; "
                          "while pgrep -x udisksd >/dev/null; do sleep 0.1; done")
        try:
            log_before = len(self.d.program_log())
            self.d.type_target(f"{HOME}/discs/noudisks")
            self.load("G", "photos")
            self.d.set_checked("G", True)
            _, prompt = self.wait_prompt("Error Copying File", 90)
            text = self.prompt_text(prompt)
            said = self.d.program_log()[log_before:]
            self.d.shot("without-udisks2")
            self.figures["without UDisks2"] = [f"the user reads: {text}"]
            self.answer(prompt, "Cancel")
            self.wait_ejected("G", ANSWER_TO_EJECT)
            self.untick("G")
        finally:
            self.agent.run(sh=f"mv /run/udisks2.service.off {service}; "
                              "dbus-send --system --type=method_call "
                              "--dest=org.freedesktop.DBus / org.freedesktop.DBus.ReloadConfig; "
                              "(/usr/libexec/udisks2/udisksd --no-debug >>/run/udisksd.log 2>&1 &)"
                              "; for i in $(seq 300); do dbus-send --system --print-reply "
                              "--dest=org.freedesktop.UDisks2 /org/freedesktop/UDisks2/Manager "
                              "org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && exit 0; "
                              "sleep 0.1; done; exit 1")
        if "disc service (UDisks2) is not running" not in text or "(G:)" not in text:
            raise CheckFailed(f"the error does not say that UDisks2 is missing: {text!r}")
        if not re.search(r"^dravolin: G: \(/dev/sr3\) could not be mounted: UDisks2: "
                         r"org\.freedesktop\.DBus\.Error\.\w+: .*; mount\(2\): "
                         r"Operation not permitted", said, re.M):
            raise CheckFailed(f"the error output does not say what UDisks2 answered: {said!r}")

    def all(self):
        return [
            ("smoke: tick, UDisks2 mount, copy, unmount, eject", self.smoke),
            ("a disc UDisks2 learns of after the drive reports it", self.disc_known_late),
            ("Browse: pick a folder in the chooser", self.browse_and_pick),
            ("replace prompt answered Yes to All", self.replace_prompt_answered),
            ("replace prompt closed by its close box", self.replace_prompt_closed),
            ("mount error prompt closed by its close box", self.error_prompt_closed),
            ("untick during a copy", self.untick_during_copy),
            ("drive menu: Eject", self.drive_menu_eject),
            ("double click: load, then eject", self.double_click_load_and_eject),
            ("dialog closed during a copy", self.close_during_copy),
            ("history after a restart", self.history_after_restart),
            ("no UDisks2: the error says why", self.without_udisks),
        ]
