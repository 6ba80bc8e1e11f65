"""Dravolin.exe's archive mode under Wine, left alone with a stack of discs: `/archive` with both
drives ticked, the host loading discs in turn and answering nothing. The target folder is judged
as the Qt program's (archivebags.py): every bag checks with sha256sum -c in the guest, the
damaged ranges are the injected ones, the log's rows are right. Then the archive copy is timed
against the shell's copy of the same disc."""

import re
import time

import iso9660
from archivebags import DISC_MINUTES, FILES, LOG, SCRATCHED_AT, SECTOR, BagChecks, parse_log
from budgetdisc import BudgetDisc
from desktopdiscs import SCRATCHED_FILE
from guest import CheckFailed
from winerun import WineRun
from wineprogram import USER, WINE_ENV, windows_path

# Dravolin.exe's own progress window in archive mode, and the notification area's balloons
# (Wine's explorer shows them as balloon tooltips): the only windows besides the dialog.
BALLOON_CLASS = "tooltips_class32"
TASKBAR_CLASS = "Shell_TrayWnd"


class WineArchive(WineRun, BagChecks):
    seek_plugin = None  # the drive model's nbdkit plugin, set by the suite

    def restart(self, args):
        """Dravolin.exe anew with `args`, without Wine's relay trace: the archive copy makes
        many calls, and the trace would be what is timed."""
        if self.s.running():
            self.s.close_box(self.s.dialog())
            if self.s.wait_exit(60) is None:
                raise CheckFailed("Dravolin.exe did not end within 60 s of its close box")
        self.s.start_program(args=args, env=WINE_ENV)

    def start_with_discs(self, args, discs):
        """Dravolin.exe anew with `args` while the drives hold `discs` ({letter: disc}),
        mounted (None: the disc the drive holds already). Under Wine a drive letter is gone
        from the moment Wine dismounted its disc until a disc is mounted there again, and a
        program started meanwhile lists no row for it."""
        for letter, disc in discs.items():
            if disc:
                self.load(letter, disc)
        for letter in discs:
            self.wait_mounted(letter)
        self.restart(args)

    def wait_gone(self, letter, timeout=30):
        """Until the automounter has seen the ejected disc leave: a disc put in before that
        looks to it like the one Wine dismounted, still in the drive, and is never mounted
        (the same disc twice in a row, as a person feeds the scratched disc again)."""
        device = f"sr{self.drive(letter)}"
        deadline = time.monotonic() + timeout
        while True:
            events = re.findall(rf"^\S+ (\w+) {device}\b", self.s.log_text("automount"), re.M)
            if events and events[-1] == "GONE":
                return
            if time.monotonic() > deadline:
                raise CheckFailed(f"the automounter never saw the disc leave {letter}: "
                                  f"{events[-4:]}")
            time.sleep(0.3)

    def look(self):
        """Every visible window now: the dialog, the program's progress windows (owned by the
        dialog), balloons, the taskbar, and anything else, which must never appear. A window
        the probe asks about while it is being destroyed answers with no title and no owner:
        an unknown window counts only when the next look still finds it so."""
        dialog = self.s.dialog()
        unknown = {}
        for w in self.s.windows():
            if dialog and w["hwnd"] == dialog["hwnd"]:
                continue
            if dialog and w["owner"] == dialog["hwnd"] and not w["buttons"][1:]:
                self.progress_windows.add(w["title"])
            elif w["class"] == BALLOON_CLASS:
                self.balloons += 1
            elif w["class"] == TASKBAR_CLASS:
                pass  # the shell's taskbar, holding the program's notification-area icon
            else:
                unknown[w["hwnd"]] = w
                if w["hwnd"] in self.unknown_windows:
                    self.other_windows.setdefault(w["title"], w)
        self.unknown_windows = unknown

    def until_ejected(self, letter, timeout):
        deadline = time.monotonic() + timeout
        while not self.state(letter)["tray_open"]:
            self.look()
            if time.monotonic() > deadline:
                raise CheckFailed(f"the tray of {letter}: never opened within {timeout} s; "
                                  f"rows {[self.s.shown(r) for r in self.s.rows()]}; windows "
                                  f"{[w['title'] for w in self.s.windows()]}")
            time.sleep(0.3)
        self.look()

    def unattended_archive(self):
        """Both drives ticked in archive mode, discs loaded in turn on E: (two plain discs, a
        Joliet disc with Cyrillic names, the first again, a scratched disc, the same
        disc whole) while F: reads a slowed disc past its time budget."""
        target = self.folder("Archive")
        self.agent.run(sh=f"rm -rf '{target}'", user=USER)
        self.progress_windows, self.other_windows, self.balloons = set(), {}, 0
        self.unknown_windows = {}
        slowed = BudgetDisc(self.m, self.drive("F"), self.discs["archive"], self.seek_plugin)
        try:
            self.run_stack(target, slowed)
        finally:
            slowed.take_out()

    def run_stack(self, target, slowed):
        started = time.monotonic()
        manual = self.discs["manual"]
        record = iso9660.walk(manual.iso.read_bytes())[SCRATCHED_FILE]
        bad = [record.extent + s for s in SCRATCHED_AT]
        self.start_with_discs(["/archive", "/disc-time", str(DISC_MINUTES)],
                              {"E": "names-a", "F": None})
        self.s.type_target(windows_path(target))
        self.s.set_checked("E", True)
        self.s.set_checked("F", True)
        self.until_ejected("E", 180)
        loaded = ["names-a"]
        # No blank disc: under Wine a drive's root answers only while a disc is mounted there,
        # and one with no file system never is, so Dravolin.exe never sees it as a disc.
        for disc in ["names-b", "dacha", "names-a", "manual", "manual"]:
            self.wait_gone("E")
            if disc == "manual" and disc not in loaded:
                self.m.insert_scratched(self.drive("E"), manual.iso, bad)
            else:
                self.load("E", disc)
            loaded.append(disc)
            self.until_ejected("E", 180)
        self.m.eject(self.drive("E"))
        self.until_ejected("F", DISC_MINUTES * 60 + 180)
        drive = slowed.take_out()
        self.s.shot("archive-done")
        seconds = time.monotonic() - started

        problems = [f"a window other than the dialog and its progress windows: {title!r} "
                    f"(class {w['class']}, buttons {[b['text'] for b in w['buttons']]})"
                    for title, w in self.other_windows.items()]
        results = {("E", "names-a"): "complete", ("E", "names-b"): "complete",
                   ("E", "dacha"): "complete", ("E", "manual"): "incomplete",
                   ("F", "archive"): "incomplete"}
        rows, _, damage = self.judge_target(
            target, [("E", d) for d in loaded] + [("F", "archive")], results, "E", problems)
        stopped = next(r for r in rows if r["drive"] == "F")
        bagged, _ = self.target_files(f"{target}/{stopped['bag folder']}/{FILES}")
        problems += slowed.judge(drive, bagged)
        injected = [(s * SECTOR, (s + 1) * SECTOR) for s in SCRATCHED_AT]
        self.figures["archive mode, unattended"] = [
            f"{len(rows)} discs in {seconds:.0f} s: " + ", ".join(
                f"{r['drive']}: {r['label'] or '(blank)'} {r['result']}" for r in rows),
            f"scratched '{SCRATCHED_FILE}': injected sectors {list(SCRATCHED_AT)} of the file "
            f"(bytes {injected}); damaged-files.txt lists {damage.get('listed')}, expected "
            f"{damage.get('expected')}",
            slowed.describe(drive) + f"; {stopped['files']} files bagged",
            f"progress windows seen: {sorted(self.progress_windows)}; balloons seen "
            f"{self.balloons} times; other windows: {list(self.other_windows) or 'none'}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def timed_copy(self, args, folder):
        """Seconds from the tick of E:, holding the large disc, to its ejection in a fresh run
        of the program with `args`, the guest's caches dropped first."""
        self.agent.run(sh=f"rm -rf '{folder}'", user=USER)
        self.start_with_discs(args, {"E": "large"})
        self.s.type_target(windows_path(folder))
        self.agent.run(sh="sync; echo 3 > /proc/sys/vm/drop_caches")
        started = time.monotonic()
        self.s.set_checked("E", True)
        self.wait_tray("E", True, 600)
        seconds = time.monotonic() - started
        self.s.set_checked("E", False)
        return seconds

    def archive_against_shell(self):
        """The large disc archived, timed against the shell's copy of it (the plain mode) in
        the same boot: a ratio. The bag must still check."""
        plain_folder, archive_folder = self.folder("Plain"), self.folder("ArchivePerf")
        plain = self.timed_copy([], plain_folder)
        self.check_files(plain_folder, self.expected("large"), "the shell's copy")
        archived = self.timed_copy(["/archive"], archive_folder)
        rows, problems = parse_log(self.agent.read(f"{archive_folder}/{LOG}"))
        if [r["result"] for r in rows] != ["complete"]:
            problems.append(f"the log's rows are {rows}")
        else:
            problems += self.check_bag(f"{archive_folder}/{rows[0]['bag folder']}", rows[0],
                                       "large", {})
        size = sum(len(d) for d in self.discs["large"].files.values()) / 1e6
        self.figures["archive mode against the shell's copy (large disc, load to eject)"] = [
            f"{size:.1f} MB: the shell's copy {plain:.1f} s, the archive copy {archived:.1f} s: "
            f"archive/shell = {archived / plain:.2f}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def all(self):
        return [("archive mode: a stack of discs, nobody at the machine", self.unattended_archive),
                ("archive mode against the shell's copy", self.archive_against_shell)]

