"""What an archivist's machine does to the program left alone with a stack of discs: scratched
discs, a full disk, thousands of folders, hostile discs, a door held locked, four drives at
once; and the performance figures, measured in the same boot."""

import re
import statistics
import time

import iso9660
from desktopdiscs import FILES_PER_FOLDER, FOLDERS, PERF_MB, SCRATCHED_FILE
from desktopsuite import TICK
from guest import CheckFailed
from qtprogram import HOME
from qtrun import LETTERS, QtRun, copying_title
from qtscenarios import ANSWER_TO_EJECT

STALL_MS = 100  # the longest the dialog's UI thread may wait on anything
CDROM_LOCKDOOR = 0x5329
# How long the million-path disc is read before Cancel ends it: long enough that its memory would
# show a growth with the paths read.
FAN_OUT_SECONDS = 30


def stall_line(stats):
    quiet = [e for e in stats["over_100ms_split"] if not e[7]]
    longest = max(quiet, key=lambda e: e[2], default=None)
    return (f"{stats['count']} pings: median {stats['median_ms']:.1f} ms, longest "
            f"{stats['max_ms']:.0f} ms ({stats['own_max_ms']:.0f} ms of it the program's own, "
            f"the whole guest stood still {stats['guest_still_ms']:.0f} ms in all); the UI "
            f"thread blocked {stats['blocked_max_ms']:.0f} ms at most"
            + (f"; the longest round trip outside our accessibility walks {longest[2]:.0f} ms: "
               f"{longest[3]:.0f} ms on a CPU, {longest[4]:.0f} ms waiting for one, "
               f"{longest[5]:.0f} ms blocked" if longest else ""))


def not_the_programs(waits):
    """Whether a long round trip says nothing of the dialog's UI thread: every sample found it
    idle in its event loop's own wait (a poll of several descriptors until its next timer), so
    the ping reached it late (the X server or Qt's event reader thread starved of a CPU under
    TCG); or no sample was taken at all, so the measuring side itself did not run while the
    trip lasted, and the answer may have waited for it."""
    polls = [re.match(r"do_sys_poll\((\d+) fds, time-out \d+\)$", where) for where, _ in waits]
    return all(p and int(p.group(1)) > 1 for p in polls)


class FaultScenarios(QtRun):
    def stalls(self, stats, what):
        """The dialog's stalls: round trips in which its UI thread was off the CPU without
        waiting for one (blocked on a disc, a lock, another process) longer than STALL_MS.
        Under TCG the guest's CPU is many times slower than a real one, so the UI thread's own
        CPU time and its waits for a CPU are reported, not judged; round trips that overlap our
        own accessibility walks (which the UI thread answers) are left out."""
        if stats.get("error") or not stats.get("count"):
            raise CheckFailed(f"the dialog's UI thread could not be measured: {stats}")
        if not stats.get("sched"):
            raise CheckFailed("the UI thread's scheduler figures (/proc/PID/task/PID/schedstat) "
                              "could not be read: its stalls cannot be told from a slow CPU")
        long_ones = [f"{own} ms at {at} s (UI thread on a CPU {ran} ms, waiting for one "
                     f"{queued} ms, blocked {blocked} ms in {waits})"
                     for at, _, own, ran, queued, blocked, waits, walk
                     in stats["over_100ms_split"]
                     if not walk and own > STALL_MS and blocked > STALL_MS
                     and not not_the_programs(waits)]
        if long_ones:
            return [f"the dialog stood still {what}: {', '.join(long_ones[:8])}"]
        return []

    def answer_errors(self, drive, answer, timeout, limit=8):
        """Answers every error prompt of the drive's copy until the disc is ejected; returns
        the prompts' texts."""
        texts = []
        index = LETTERS.index(drive)
        deadline = time.monotonic() + timeout
        while not self.m.trays()[index][0]:
            if time.monotonic() > deadline:
                raise CheckFailed(f"the copy of {drive}: did not end within {timeout} s "
                                  f"(prompts so far: {texts})")
            if self.retry_unknown_disc():
                continue
            if any(w["name"] == "Error Copying File" for w in self.d.windows()):
                node = self.d.top_level("Error Copying File")
                if node and "showing" in node.get("states", []):
                    texts.append(self.prompt_text(node))
                    if len(texts) > limit:
                        raise CheckFailed(f"more than {limit} error prompts: {texts[:3]}...")
                    self.answer(node, answer)
                    self.d.wait_window("Error Copying File", 10, gone=True)
            time.sleep(0.3)
        return texts

    # --- a scratched disc ---

    def scratched_file(self):
        """blkdebug fails every read of one file's sectors: the copy reports that file, copies
        every other file whole, and leaves nothing of it under its real name; the dialog
        keeps answering while the disc is in the drive."""
        target = f"{HOME}/discs/scratched"
        self.d.type_target(target)
        disc = self.discs["manual"]
        bad = iso9660.sectors_of(disc.iso.read_bytes(), SCRATCHED_FILE)
        self.m.insert_scratched(0, disc.iso, bad)
        self.loaded["D"] = None  # its errors are the subject: never retried on the way
        self.d.ping_start()
        self.d.set_checked("D", True)
        _, prompt = self.wait_prompt("Error Copying File", 120)
        text = self.prompt_text(prompt)
        self.d.shot("scratched-file-error")
        self.answer(prompt, "Skip")
        texts = [text] + self.answer_errors("D", "Skip", 120)
        stats = self.d.ping_stop()
        notes = self.dismiss_notes(5)
        self.untick("D")
        expected = dict(disc.expected())
        del expected[SCRATCHED_FILE]
        problems = self.compare(target, expected)
        if not any(SCRATCHED_FILE.split("/")[-1] in t for t in texts):
            problems.append(f"no prompt named the unreadable file: {texts}")
        problems += self.stalls(stats, "with the scratched disc in a drive")
        self.figures["scratched file"] = [
            f"{len(bad)} unreadable sectors; {len(texts)} error prompt(s), the first: "
            f"{texts[0]!r}", f"summary: {notes}", f"files lost or damaged besides the "
            f"scratched one: {len([p for p in problems if 'stood still' not in p])}",
            stall_line(stats)]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def scratched_descriptors(self):
        """The volume descriptors (sectors 16 to 18) unreadable: the disc sits in an unticked
        drive for four ticks and the dialog must keep answering; ticked, the error is shown
        and Cancel ejects it."""
        disc = self.discs["manual"]
        self.m.insert_scratched(3, disc.iso, [16, 17, 18])
        self.loaded["G"] = None
        log_start = len(self.d.program_log())
        self.d.ping_start()
        time.sleep(4 * TICK)  # a measurement window: four polls with the disc in the drive
        idle = self.d.ping_stop()
        ticks = self.d.ticks(self.d.program_log()[log_start:])
        self.d.type_target(f"{HOME}/discs/descriptors")
        self.d.ping_start()
        self.d.set_checked("G", True)
        _, prompt = self.wait_prompt("Error Copying File", 120)
        text = self.prompt_text(prompt)
        self.d.shot("scratched-descriptors-error")
        self.answer(prompt, "Cancel")
        self.wait_ejected("G", ANSWER_TO_EJECT)
        ticked = self.d.ping_stop()
        self.dismiss_notes(5)
        self.untick("G")
        problems = self.stalls(idle, "with the disc in an unticked drive")
        problems += self.stalls(ticked, "while the disc was mounted and copied")
        self.figures["scratched volume descriptors"] = [
            f"error shown: {text!r}", "unticked drive, four polls: " + stall_line(idle),
            "  the program's own tick log meanwhile: "
            + (", ".join(f"{t:.0f} ms" for t in ticks) if ticks else "none"),
            "ticked until ejected: " + stall_line(ticked)]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    # --- a full disk ---

    def full_disk(self):
        """The target's disk fills up: the error is shown, no partial file remains, and after
        the answer the cycle goes on with the next disc."""
        self.agent.run(sh="mkdir -p /media/small && { mountpoint -q /media/small || "
                          "mount /dev/vdc /media/small; } && chown user:user /media/small")
        target = "/media/small/discs"
        self.d.type_target(target)
        self.load("F", "toolarge")
        self.d.set_checked("F", True)
        _, prompt = self.wait_prompt("Error Copying File", 180)
        first = self.prompt_text(prompt)
        self.d.shot("full-disk-error")
        self.answer(prompt, "Skip")
        texts = [first] + self.answer_errors("F", "Skip", 180)
        notes = self.dismiss_notes(5)
        disc = self.discs["toolarge"].expected()
        problems = self.compare(target, {p: disc[p] for p in ("a-first.bin", "c-last.bin")})
        if not re.search(r"[Nn]o space left", first):
            problems.append(f"the error does not say the disk is full: {first!r}")
        self.load("F", "afterfull")
        self.wait_ejected("F", 90)
        self.dismiss_notes()
        self.untick("F")
        after = self.discs["afterfull"].expected()
        files, _ = self.target_files(target)
        if files.get("after.txt", [None])[0] != after["after.txt"]:
            problems.append("the next disc after the full disk was not copied")
        free = self.agent.sh("df -k --output=avail /media/small | tail -1").strip()
        self.figures["full target disk"] = [
            f"{len(texts)} error prompt(s), the first: {first!r}", f"summary: {notes}",
            f"afterwards {free} KiB free; problems: {problems or 'none'}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    # --- thousands of folders ---

    def many_folders(self):
        """Twice as many folders of small files as the desktop's descriptor limit (the program
        runs with 1024, soft and hard): every file arrives."""
        limit = self.agent.sh(f"grep 'Max open files' /proc/{self.d.pid}/limits")
        target = f"{HOME}/discs/many"
        self.d.type_target(target)
        self.load("D", "manyfolders")
        started = time.monotonic()
        self.d.set_checked("D", True)
        texts = []
        deadline = started + 600
        while not self.m.trays()[0][0]:
            if self.retry_unknown_disc():
                continue
            window = next((w for w in self.d.windows() if w["name"] == "Error Copying File"),
                          None)
            if window:
                self.d.shot("many-folders-error")
                # A program out of descriptors may not answer its accessibility bus at all (each
                # walk then ends at its 30 s time-out): the prompt is closed by its close box,
                # which answers it as Cancel, through X alone.
                node = self.d.top_level("Error Copying File")
                texts.append(self.prompt_text(node) if node else
                             "an error prompt the program's accessibility bus did not show")
                self.d.close_box(window["id"])
                break
            if time.monotonic() > deadline:
                raise CheckFailed(f"the copy of {FOLDERS:,} folders did not end within 600 s")
            time.sleep(2)
        self.wait_ejected("D", ANSWER_TO_EJECT + 60)
        seconds = time.monotonic() - started
        self.dismiss_notes(5)
        self.untick("D")
        expected = self.discs["manyfolders"].expected()
        problems = self.compare(target, expected)
        self.figures[f"{FOLDERS:,} folders"] = [
            f"{FOLDERS} folders, {FOLDERS * FILES_PER_FOLDER} files under '{limit.strip()}': "
            f"{seconds:.0f} s from the tick to the eject; "
            f"{len([p for p in problems if p.startswith('missing')])} files missing",
            f"error: {texts[0]!r}" if texts else "no error"]
        if texts or problems:
            raise CheckFailed(f"{len(problems)} problems, the first {problems[:5]}; "
                              f"errors: {texts}")

    # --- hostile discs ---

    def hostile_loop(self):
        """A folder record that points back at its parent: the copy ends with a clear error
        naming the folder, in bounded time and memory; a second time, Cancel ends it."""
        target = f"{HOME}/discs/loop"
        self.d.type_target(target)
        self.load("E", "loop")
        started = time.monotonic()
        self.d.set_checked("E", True)
        _, prompt = self.wait_prompt("Error Copying File", 60)
        seconds = time.monotonic() - started
        text = self.prompt_text(prompt)
        peak = self.program_rss_peak_kb()
        self.d.shot("hostile-loop-error")
        self.answer(prompt, "Skip")
        texts = [text] + self.answer_errors("E", "Skip", 60)
        notes = self.dismiss_notes(5)
        # Again, and Cancel this time.
        self.load("E", "loop")
        _, prompt = self.wait_prompt("Error Copying File", 60)
        self.answer(prompt, "Cancel")
        cancelled = time.monotonic()
        self.wait_ejected("E", ANSWER_TO_EJECT)
        cancel_seconds = time.monotonic() - cancelled
        self.dismiss_notes(5)
        self.untick("E")
        problems = []
        if not re.search(r"loop/a/b", text, re.I):
            problems.append(f"the error does not name the looping folder: {text!r}")
        if peak > 200 * 1024:
            problems.append(f"the program grew to {peak // 1024} MiB")
        self.figures["hostile disc: folder record back at its parent"] = [
            f"first error after {seconds:.1f} s: {text!r}; {len(texts)} prompt(s)",
            f"summary: {notes}", f"peak memory of the program {peak // 1024} MiB",
            f"Cancel ended it and ejected in {cancel_seconds:.1f} s"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def hostile_fan_out(self):
        """Ten records for each folder on six levels (a million paths, no cycle): the copy
        ends with a clear error in bounded time and memory, or Cancel ends it."""
        target = f"{HOME}/discs/fanout"
        self.d.type_target(target)
        self.load("G", "fanout")
        started = time.monotonic()
        self.d.set_checked("G", True)
        ended_by = None
        text = ""
        while time.monotonic() - started < FAN_OUT_SECONDS:
            if self.m.trays()[3][0]:
                ended_by = "the program"
                break
            if self.retry_unknown_disc():
                continue
            node = self.d.top_level("Error Copying File")
            if node and "showing" in node.get("states", []):
                text = self.prompt_text(node)
                self.d.shot("hostile-fan-out-error")
                self.answer(node, "Cancel")
                ended_by = "an error"
                break
            time.sleep(1)
        seconds = time.monotonic() - started
        peak = self.program_rss_peak_kb()
        folders = self.agent.sh(f"find {target} -type d 2>/dev/null | wc -l").strip()
        cancel_seconds = None
        progress = None
        if ended_by is None:
            progress = self.d.top_level(copying_title("G"))
            self.d.shot("hostile-fan-out-running")
            if progress:
                self.d.press(progress, "Cancel")
                cancelled = time.monotonic()
                try:
                    self.wait_ejected("G", ANSWER_TO_EJECT)
                    cancel_seconds = time.monotonic() - cancelled
                except Exception:
                    pass
        else:
            self.wait_ejected("G", ANSWER_TO_EJECT)
        self.dismiss_notes(5)
        self.figures["hostile disc: a million paths"] = [
            f"ended by {ended_by or f'nothing within {FAN_OUT_SECONDS} s'} after {seconds:.0f} s: "
            f"{text!r}",
            f"{folders} folders made; peak memory {peak // 1024} MiB",
            "Cancel: " + ("not needed" if ended_by else
                          f"ended it in {cancel_seconds:.1f} s" if cancel_seconds is not None
                          else "no progress window to press it in" if not progress
                          else "did not end it")]
        problems = []
        # Under TCG the reading reaches the entry limit only after minutes: a copy still
        # reading the disc's folders, with its progress shown, must end on Cancel instead.
        if ended_by == "the program":
            problems.append("the copy ended without an error")
        if peak > 200 * 1024:
            problems.append(f"the program grew to {peak // 1024} MiB")
        if ended_by is None and cancel_seconds is None:
            problems.append("Cancel did not end the copy" if progress else
                            "the copy showed no progress window, hence no Cancel")
        if problems:
            raise CheckFailed("\n    ".join(problems))
        self.untick("G")

    # --- a door the guest keeps locked ---

    def locked_door(self):
        """Another process keeps the drive open with its door locked: the program's eject is
        refused and it says so; the disc is then copied again, and nothing is lost or
        duplicated under a new name."""
        target = f"{HOME}/discs/locked"
        self.d.type_target(target)
        self.load("F", "locked")
        holder = self.agent.spawn("door-holder", argv=["python3", "-c", (
            "import fcntl, os, signal\n"
            "fd = os.open('/dev/sr2', os.O_RDONLY | os.O_NONBLOCK)\n"
            f"fcntl.ioctl(fd, {CDROM_LOCKDOOR}, 1)\n"
            "signal.sigwait([signal.SIGTERM])\n"
            f"fcntl.ioctl(fd, {CDROM_LOCKDOOR}, 0)\n"
            "os.close(fd)\n")])
        deadline = time.monotonic() + 20
        while not self.m.drive_states()[2]["locked"]:
            if time.monotonic() > deadline:
                raise CheckFailed("the door of F: never became locked")
            time.sleep(0.2)
        log_before = len(self.d.program_log())
        try:
            self.d.set_checked("F", True)
            _, prompt = self.wait_prompt("Confirm File Replace", 120)
            if self.m.trays()[2][0]:
                raise CheckFailed("the locked drive's tray opened")
            said = self.d.program_log()[log_before:]
            self.d.shot("locked-door-copied-again")
            self.answer(prompt, "No to All")
        finally:
            self.agent.signal(holder, 15)
        self.wait_ejected("F", ANSWER_TO_EJECT + 10)
        self.dismiss_notes(5)
        self.untick("F")
        problems = self.compare(target, self.discs["locked"].expected())
        visible = [w["name"] for w in self.d.windows()]
        if not re.search(r"eject", said, re.I):
            problems.append("the refused eject was neither shown nor logged (the program's "
                            f"output: {said.strip()[-300:]!r})")
        self.figures["door held locked"] = [
            "the disc was copied again (replace prompt), answered No to All; "
            f"problems: {problems or 'none'}", f"the program said: {said.strip()[-300:]!r}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    # --- a drive another process holds open for a moment ---

    def held_open(self):
        """Another process has the drive open when the cycle ejects, as udev's probe does
        after an unmount, and lets go half a second later: the kernel refuses the eject while
        it holds the drive, and the program asks again, so the disc is ejected once and not
        copied a second time."""
        target = self.fresh_target("held")
        self.d.type_target(target)
        self.load("F", "locked")
        holder = self.agent.spawn("drive-holder", argv=["python3", "-c", (
            "import os, time\n"
            "fd = os.open('/dev/sr2', os.O_RDONLY | os.O_NONBLOCK)\n"
            "def mounted():\n"
            "    return any(l.split()[0] == '/dev/sr2' for l in open('/proc/self/mounts'))\n"
            "deadline = time.monotonic() + 300\n"
            "while not mounted() and time.monotonic() < deadline: time.sleep(0.02)\n"
            "while mounted() and time.monotonic() < deadline: time.sleep(0.02)\n"
            "time.sleep(0.5)\n"
            "os.close(fd)\n")])
        log_before = len(self.d.program_log())
        try:
            self.d.set_checked("F", True)
            self.wait_ejected("F", 300)
        finally:
            rc = self.agent.wait(holder, 60)
        said = self.d.program_log()[log_before:]
        self.d.shot("held-open-ejected")
        prompts = [w["name"] for w in self.d.windows() if w["name"] == "Confirm File Replace"]
        self.untick("F")
        problems = self.compare(target, self.discs["locked"].expected())
        if rc != 0:
            problems.append(f"the process holding the drive ended with {rc}")
        if re.search(r"refused to eject", said) or prompts:
            problems.append("the eject was refused while the other process held the drive, "
                            f"and the disc was to be copied again (the program's output: "
                            f"{said.strip()[-300:]!r}; windows: {prompts})")
        self.figures["drive held open at the eject"] = [
            "another process held the drive until half a second after the cycle's unmount; "
            f"problems: {problems or 'none'}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    # --- four drives ---

    def four_drives(self):
        """Four discs in four drives on both IDE channels, copied in parallel while the dialog
        keeps answering. Four copies run at once: the four rows say so together. A slave's
        progress window may come later: the kernel runs one command at a time on a channel
        and a throttled master's reads can keep its slave's mount waiting, as on real
        hardware, so the windows seen at once are a figure, not a verdict."""
        target = self.fresh_target("quad")
        self.d.type_target(target)
        for n, letter in enumerate(LETTERS):
            self.load(letter, f"quad{n}")
        # The discs are in before the user ticks, as a stack is loaded, and known to UDisks2:
        # master and slave share a channel, whose commands the kernel runs one at a time, so
        # udev's probe of one disc would otherwise queue behind the copy of the other.
        self.agent.run(sh="udevadm settle --timeout=60; for d in 0 1 2 3; do i=0; "
                          "until udisksctl info -b /dev/sr$d | grep -q 'IdType: *iso9660'; do "
                          "i=$((i+1)); [ $i -gt 300 ] && exit 1; sleep 0.2; done; done")
        self.d.wait_rows(lambda rows: all(r.label.startswith("QUAD_") for r in rows), 30,
                         "the four discs' labels")
        for n in range(4):
            self.m.throttle(n, 512 * 1024)
        log_start = len(self.d.program_log())
        self.d.ping_start()
        self.d.tick_all(LETTERS)
        ticked = time.monotonic()
        deadline = ticked + 120
        most = 0  # progress windows at once
        most_rows = 0  # rows saying "Disc copying" at once
        seen = {}  # drive letter -> [first, last] moment its progress window was seen
        copying = {}  # drive letter -> the first moment its row said so
        while True:
            shown = [m.group(1) for w in self.d.windows()
                     if (m := re.fullmatch(copying_title(), w["name"]))]
            for letter in shown:
                moments = seen.setdefault(letter, [time.monotonic() - ticked] * 2)
                moments[1] = time.monotonic() - ticked
            rows = [row for row in self.d.rows() if row.status == "Disc copying"]
            for row in rows:
                copying.setdefault(row.letter, time.monotonic() - ticked)
            most = max(most, len(shown))
            most_rows = max(most_rows, len(rows))
            if most == 4:
                break
            if time.monotonic() > deadline or all(self.m.trays()[i][0] for i in range(4)):
                break
            time.sleep(0.2)
        self.d.shot("four-drives")
        for letter in LETTERS:
            self.wait_ejected(letter, 240)
        stats = self.d.ping_stop()
        ticks = self.d.ticks(self.d.program_log()[log_start:])
        for n in range(4):
            self.m.throttle(n, 0)
        for letter in LETTERS:
            self.untick(letter)
        expected = {}
        for n in range(4):
            expected.update(self.discs[f"quad{n}"].expected())
        problems = self.compare(target, expected)
        windows_line = (f"{most} progress windows at once; seen (seconds after the ticks): "
                        + ", ".join(f"{letter}: {a:.1f}-{b:.1f}"
                                    for letter, (a, b) in sorted(seen.items())))
        if most_rows < 4:
            problems.append(f"at most {most_rows} copies ran at once; rows said \"Disc "
                            "copying\" from: " + ", ".join(
                                f"{letter}: {at:.1f}" for letter, at in sorted(copying.items()))
                            + "; " + windows_line)
        problems += self.stalls(stats, "during four copies")
        tick_line = (f"the poll tick on the UI thread ({len(ticks)} ticks, from the program's "
                     f"tick log): median {statistics.median(ticks):.1f} ms, longest "
                     f"{max(ticks):.1f} ms" if ticks else "the program wrote no tick log")
        self.figures["four drives at once"] = [
            f"{most_rows} copies at once; files: {len(expected)}; rows said \"Disc copying\" "
            "from (s after the ticks): " + ", ".join(
                f"{letter}: {at:.1f}" for letter, at in sorted(copying.items())),
            windows_line, stall_line(stats), tick_line]
        self.four_drive_ticks = ticks
        self.four_drive_ping = stats
        if problems:
            raise CheckFailed("\n    ".join(problems))

    # --- performance ---

    def performance(self):
        """A single-file disc of PERF_MB: the program's copy against a raw read of the same disc
        with dd; the ticks from a readable disc to the copy's start and from its end to the
        eject."""
        disc = self.discs["perf"]
        self.load("D", "perf")
        self.agent.run(sh="sync; echo 3 > /proc/sys/vm/drop_caches")
        out = self.agent.run(sh="dd if=/dev/sr0 of=/dev/null bs=1M 2>&1", timeout=900)["out"]
        match = re.search(r"(\d+) bytes .* copied, ([\d.]+) s", out)
        if not match:
            raise CheckFailed(f"dd said {out!r}")
        dd_seconds = float(match.group(2))
        # For reference, the same read written to a file on the target's disk and flushed:
        # what any copy to that disk can reach.
        out = self.agent.run(sh=f"dd if=/dev/sr0 of={HOME}/dd.bin bs=1M conv=fsync 2>&1; "
                                f"rm -f {HOME}/dd.bin", timeout=900)["out"]
        match = re.search(r"(\d+) bytes .* copied, ([\d.]+) s", out)
        dd_disk_seconds = float(match.group(2)) if match else float("nan")
        self.m.eject(0)
        target = f"{HOME}/discs/perf"
        self.d.type_target(target)
        self.d.set_checked("D", True)
        self.m.wait_tray(0, False, 20)  # the cycle closes the empty tray
        self.d.wait_status("D", "Waiting")
        self.agent.run(sh="sync; echo 3 > /proc/sys/vm/drop_caches")
        loaded = time.monotonic()
        self.m.change(0, disc.iso)
        window = self.wait_copying("D", 120)
        start = time.monotonic()
        self.d.wait_window(re.escape(window["name"]), 1800, gone=True)
        end = time.monotonic()
        self.wait_ejected("D", 60)
        ejected = time.monotonic()
        self.untick("D")
        problems = self.compare(target, disc.expected())
        copy_seconds = end - start
        mb = PERF_MB
        self.perf = {"dd_s": dd_seconds, "copy_s": copy_seconds,
                     "ratio": dd_seconds / copy_seconds,
                     "ticks_to_start": (start - loaded) / TICK,
                     "ticks_to_eject": (ejected - end) / TICK}
        self.figures["performance"] = [
            f"{mb} MB disc: dd {dd_seconds:.1f} s ({mb / dd_seconds:.1f} MB/s), the program "
            f"{copy_seconds:.1f} s ({mb / copy_seconds:.1f} MB/s): "
            f"{self.perf['ratio']:.2f} x dd (aim at least 0.9); dd from the drive to a "
            f"file on the target's disk takes {dd_disk_seconds:.1f} s "
            f"(the program reaches {dd_disk_seconds / copy_seconds:.2f} x that)",
            f"readable disc to the copy's start: {self.perf['ticks_to_start']:.2f} ticks; "
            f"copy's end to the eject: {self.perf['ticks_to_eject']:.2f} ticks (aim at most 2)"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def all(self):
        return [
            ("scratched disc: one file unreadable", self.scratched_file),
            ("scratched disc: volume descriptors unreadable", self.scratched_descriptors),
            ("full target disk", self.full_disk),
            (f"{FOLDERS:,} folders under a descriptor limit of 1024", self.many_folders),
            ("hostile disc: folder record back at its parent", self.hostile_loop),
            ("hostile disc: a million paths", self.hostile_fan_out),
            ("door held locked by another process", self.locked_door),
            ("drive held open by another process at the eject", self.held_open),
            ("four drives at once", self.four_drives),
            (f"performance: {PERF_MB} MB disc", self.performance),
        ]
