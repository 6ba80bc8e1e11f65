"""Archive mode left alone with a stack of discs: `dravolin --archive` with two drives ticked,
the host loading discs in turn and answering nothing, a real notification service (dunst) on the
user's session bus. Afterwards the target folder, the log and the notifications are judged."""

import re
import shlex
import time

import iso9660
from archivebags import (CLAIMS, DISC_MINUTES, FILES, INDEX_PAGE, LOG, SCRATCHED_AT, SECTOR,
                         BagChecks, damaged_list, parse_log)
from budgetdisc import BudgetDisc
from desktopdiscs import PERF_MB, SCRATCHED_FILE
from guest import CheckFailed
from qtprogram import ARCHIVE_TITLE, USER
from qtrun import LETTERS, QtRun, copying_title

NOTES = {"complete": ("NORMAL", "Disc archived: {bag}"),
         "already archived": ("NORMAL", "Disc already archived, ejected uncopied: {bag}"),
         "incomplete": ("CRITICAL", "Disc archived with damaged files, please check it; another drive may read the rest: {bag}"),
         "unreadable": ("CRITICAL",
                        "The disc in drive {drive}: has no readable file system; it was ejected"),
         # Incomplete because the disc's time budget stopped its read.
         "stopped": ("CRITICAL", "The disc read too slowly and was stopped at its time limit, "
                                 "please check it: {bag}")}


def parse_notes(text):
    """What dunst -print printed: [(urgency, body)], in the order received."""
    notes = []
    for block in re.findall(r"\{\n(.*?)\n\}", text, re.S):
        fields = dict(re.findall(r"^\s*([a-z_ ]+): (.*)$", block, re.M))
        body = fields.get("body", "")
        notes.append((fields.get("urgency", "?"), body[1:-1] if body[:1] == "'" else body,
                      fields.get("appname", "").strip("'")))
    return notes


class ArchiveScenarios(QtRun, BagChecks):
    # --- the program and the notification service ---

    def restart_program(self, args=()):
        self.stop_program()
        self.d.start(args=args)

    def start_notifications(self):
        """dunst on the user's session bus and display, printing each notification it
        receives; waits until it owns the service's name."""
        self.agent.run(sh="rm -f /run/guest/dunst.log")
        pid = self.agent.spawn("dunst", user=USER, argv=["stdbuf", "-oL", "dunst", "-print"])
        self.agent.run(sh="for i in $(seq 100); do dbus-send --session --print-reply "
                          "--dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "
                          "string:org.freedesktop.Notifications | grep -q 'boolean true' "
                          "&& exit 0; sleep 0.2; done; exit 1", user=USER)
        return pid

    def notes(self):
        return parse_notes(self.agent.read("/run/guest/dunst.log").decode("utf-8", "replace"))

    # --- watching the screen while the discs go through ---

    def look(self):
        """Every window on the screen now, sorted: the dialog, progress windows, the
        notification service's pop-ups, and anything else (which must never appear)."""
        for w in self.d.windows():
            if w["name"] == ARCHIVE_TITLE:
                continue
            if re.fullmatch(copying_title(), w["name"]):
                self.progress_windows.add(w["name"])
            elif w["pid"] == self.dunst or w["name"].lower() == "dunst":
                self.popups += 1
            else:
                self.other_windows.setdefault(w["name"], w)

    def until_ejected(self, drive, timeout):
        index = LETTERS.index(drive)
        deadline = time.monotonic() + timeout
        while not self.m.trays()[index][0]:
            self.look()
            if time.monotonic() > deadline:
                raise CheckFailed(f"the tray of {drive}: never opened within {timeout} s; "
                                  f"windows: {[w['name'] for w in self.d.windows()]}")
            time.sleep(0.3)
        self.look()

    def resources(self, looks=5):
        """The program's resident memory (KiB) and what its descriptors lead to. The poll
        opens each drive for a moment on its workers, so the fewest seen in a few looks
        count."""
        status = self.agent.read(f"/proc/{self.d.pid}/status").decode()
        rss = int(re.search(r"VmRSS:\s+(\d+)", status).group(1))
        fds = None
        for _ in range(looks):
            # A descriptor may close between the listing and its readlink: it is not counted.
            out = self.agent.sh(f"for f in /proc/{self.d.pid}/fd/*; do "
                                f"readlink \"$f\" || true; done")
            now = sorted(out.split("\n")[:-1])
            fds = now if fds is None or len(now) < len(fds) else fds
            time.sleep(0.2)
        return rss, fds

    # --- the scenario ---

    def unattended_archive(self):
        """Two drives ticked in archive mode, discs loaded in turn on D: (two plain discs, a
        Joliet disc with Cyrillic names, the first disc again, a blank disc, a scratched disc,
        the same disc whole, read on from the scratched one's bag) while F: reads a slowed disc
        past its time budget; nothing is answered. Every disc
        gets its log row and notification, every bag checks, and no prompt ever shows."""
        target = self.fresh_target("archive")
        self.progress_windows, self.other_windows, self.popups = set(), {}, 0
        self.dunst = self.start_notifications()
        self.slowed = None
        try:
            self.run_stack(target)
        finally:
            if self.slowed:
                self.slowed.take_out()
            self.agent.signal(self.dunst, 15)
            self.agent.wait(self.dunst, 10)
            self.restart_program()

    def run_stack(self, target):
        started = time.monotonic()
        self.restart_program(["--archive", "--disc-time", str(DISC_MINUTES)])
        self.d.type_target(target)
        manual = self.discs["manual"]
        image = manual.iso.read_bytes()
        record = iso9660.walk(image)[SCRATCHED_FILE]
        bad = [record.extent + s for s in SCRATCHED_AT]
        self.load("D", "names-a")
        self.d.tick_all(["D", "F"])
        self.until_ejected("D", 120)
        self.wait_notes(1)  # its notification's connection is closed
        first = self.resources()
        self.slowed = BudgetDisc(self.m, 2, self.discs["archive"], self.seek_plugin)
        loaded = ["names-a"]
        samples = [first[0]]  # resident KiB after each disc of D:
        # The manual twice: scratched, then whole (read on from its incomplete bag, which the
        # merged one replaces: that bag is judged before it goes).
        scratched_problems, scratched_damage = [], {}
        for disc in ["names-b", "dacha", "names-a", "blank", "manual", "manual"]:
            scratched = disc == "manual" and disc not in loaded
            if scratched:
                self.m.insert_scratched(0, manual.iso, bad)
            else:
                self.load("D", disc)
            loaded.append(disc)
            self.until_ejected("D", 120)
            if scratched:
                row = parse_log(self.agent.read(f"{target}/{LOG}"))[0][-1]
                scratched_problems = self.check_bag(f"{target}/{row['bag folder']}", row,
                                                    "manual", scratched_damage)
            samples.append(self.resources(looks=1)[0])
        self.m.eject(0)  # taken out of the open tray, as a person would
        self.until_ejected("F", DISC_MINUTES * 60 + 120)
        drive = self.slowed.take_out()
        self.wait_notes(len(loaded) + 1)
        last = self.resources()
        self.d.shot("archive-done")
        seconds = time.monotonic() - started

        problems = [f"a window other than the dialog and its progress windows: "
                    f"{name!r} (pid {w['pid']})" for name, w in self.other_windows.items()]
        expected = [("D", d) for d in loaded] + [("F", "archive")]
        results = {("D", "names-a"): "complete", ("D", "names-b"): "complete",
                   ("D", "dacha"): "complete", ("D", "blank"): "unreadable",
                   ("D", "manual"): "incomplete", ("F", "archive"): "incomplete"}
        rows, by_label, damage = self.judge_target(target, expected, results, "D", problems)
        problems += scratched_problems
        damage = damage or scratched_damage
        manual_rows = [r for r in rows if r["label"] == manual.label]
        read_on = f"read on from {manual_rows[0]['bag folder']}: {len(bad) * SECTOR} bytes more read"
        if [r["note"] for r in manual_rows] != ["", read_on]:
            problems.append(f"the manual's rows note {[r['note'] for r in manual_rows]}, not "
                            f"{['', read_on]}")
        stopped = next(r for r in rows if r["drive"] == "F")
        stopped_bag = f"{target}/{stopped['bag folder']}"
        bagged, _ = self.target_files(f"{stopped_bag}/{FILES}")
        # Read into an image, every file is in the bag, those the budget left unread damaged.
        unread = damaged_list(self.agent.read(f"{stopped_bag}/damaged-files.txt").decode()) \
            if int(stopped["damaged files"]) else {}
        bagged = {p: v for p, v in bagged.items() if f"{FILES}/{p}" not in unread}
        problems += self.slowed.judge(drive, bagged)

        notes = self.wait_notes(len(rows))
        problems += self.check_notes(notes, rows, by_label)
        rss_growth = (last[0] - first[0]) / (len(rows) - 1)
        if len(last[1]) > len(first[1]):
            problems.append(f"the program held {len(first[1])} descriptors after the first disc "
                            f"and {len(last[1])} after the last: {first[1]} -> {last[1]}")
        # The program's resident size swings by a few MiB from one disc to the next (a malloc
        # arena for a new worker, freed memory not yet given back) and steps up now and then to
        # a high-water mark that it keeps (image-first bags reach one on some discs, not on
        # others). A leak in making a bag does both: it raises the floor the size comes back
        # to (the lowest of the later discs against the lowest of the earlier ones), and it
        # grows the size at every disc that made a bag after the first (its 2nd, 3rd, 6th and
        # 7th).
        earlier, later = samples[1:4], samples[4:]
        steps = [samples[i] - samples[i - 1] for i in (1, 2, 5, 6)]
        if (min(later) - min(earlier)) / len(earlier) > 256 and min(steps) > 256:
            problems.append(f"the program grew at every disc: {samples} KiB after each disc "
                            f"of D: (steps {steps} at the bags after the first)")
        injected = [(s * SECTOR, (s + 1) * SECTOR) for s in SCRATCHED_AT]
        self.figures["archive mode, unattended"] = [
            f"{len(rows)} discs in {seconds:.0f} s: " + ", ".join(
                f"{r['drive']}: {r['label'] or '(blank)'} {r['result']}" for r in rows),
            f"scratched '{SCRATCHED_FILE}': injected sectors {list(SCRATCHED_AT)} of the file "
            f"(bytes {injected}); damaged-files.txt lists {damage.get('listed')}, expected "
            f"{damage.get('expected')}",
            self.slowed.describe(drive) + f"; {stopped['files']} files bagged, "
            f"{len(bagged)} of them whole",
            f"notifications received by dunst: {len(notes)}: " + "; ".join(
                f"{u} {b!r}" for u, b, _ in notes),
            f"progress windows seen: {len(self.progress_windows)}; notification pop-ups seen "
            f"{self.popups} times; other windows: {list(self.other_windows) or 'none'}",
            f"after the first disc {first[0] // 1024} MiB resident, {len(first[1])} descriptors; "
            f"after the last {last[0] // 1024} MiB, {len(last[1])} ({rss_growth:+.0f} KiB a "
            f"disc); resident KiB after each disc of D: {samples}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def wait_notes(self, count, timeout=20):
        deadline = time.monotonic() + timeout
        while True:
            notes = self.notes()
            if len(notes) >= count or time.monotonic() > deadline:
                return notes
            time.sleep(0.5)

    def check_notes(self, notes, rows, by_label):
        """One notification a disc: quiet (normal urgency) for a complete disc or one already
        archived, critical for a damaged, stopped or unreadable one. The slowed disc is told as
        stopped by its time budget, whatever its bag lists as damaged."""
        wanted = []
        for row in rows:
            stopped = row["result"] == "incomplete" and \
                row["label"] == self.discs["archive"].label
            urgency, text = NOTES["stopped" if stopped else row["result"]]
            bag = by_label.get(row["label"]) if row["result"] == "already archived" \
                else row["bag folder"]
            wanted.append((urgency, text.format(bag=bag, drive=row["drive"])))
        got = [(urgency, body) for urgency, body, _ in notes]
        problems = []
        if sorted(got) != sorted(wanted):
            problems.append(f"the notification service received {got}; expected {wanted}")
        if any(app != "Dravolin" for _, _, app in notes):
            problems.append(f"notifications from {sorted({a for _, _, a in notes})}")
        return problems

    def full_target(self):
        """The target's disk (16 MiB) fills up during a disc of 26 MiB: the bag keeps the files
        that fit and is named incomplete, the log says the target was full, every drive is
        unticked, and the desktop hears of it once, as needing a person."""
        self.agent.run(sh="mkdir -p /media/small && { mountpoint -q /media/small || "
                          "mount /dev/vdc /media/small; } && chown user:user /media/small")
        target = "/media/small/archive"
        self.agent.run(sh=f"rm -rf {target}")
        self.progress_windows, self.other_windows, self.popups = set(), {}, 0
        self.dunst = self.start_notifications()
        try:
            self.restart_program(["--archive"])
            self.d.type_target(target)
            self.load("D", "toolarge")
            self.d.tick_all(["D", "F"])
            deadline = time.monotonic() + 180
            while any(row.checked for row in self.d.rows()):
                self.look()
                if time.monotonic() > deadline:
                    raise CheckFailed(f"the drives were still ticked 180 s after the disc: "
                                      f"{[self.d.shown(r) for r in self.d.rows()]}")
                time.sleep(0.5)
            self.d.shot("archive-target-full")
            notes = self.wait_notes(1)
            rows, problems = parse_log(self.agent.read(f"{target}/{LOG}"))
            # The claims file is there when the disc could claim itself before the disk filled,
            # the page when it fitted.
            listing = sorted(name for name in self.agent.sh(f"ls -1A {target}").split("\n")
                             if name and name not in (CLAIMS, INDEX_PAGE))
            bags = [name for name in listing if name != LOG]
            if len(rows) == 1 and bags == [rows[0]["bag folder"]]:
                problems += self.check_bag(f"{target}/{bags[0]}", rows[0], "toolarge", {})
                kept, _ = self.target_files(f"{target}/{bags[0]}/{FILES}")
                if "a-first.bin" not in kept:
                    problems.append(f"the bag kept {sorted(kept)}, not the file that fit")
                # No room for the image and the files both: the files, read from the disc.
                info = self.agent.read(f"{target}/{bags[0]}/bag-info.txt").decode()
                if "\nDravolin-Image: not kept: the target had no room" not in info:
                    problems.append(f"bag-info.txt does not say why it has no image: {info}")
            free = int(self.agent.sh("df -k --output=avail /media/small | tail -1"))
            ejected = self.m.trays()[0][0]
        finally:
            self.agent.signal(self.dunst, 15)
            self.agent.wait(self.dunst, 10)
            self.restart_program()
        problems += [f"a window other than the dialog and its progress windows: {name!r}"
                     for name in self.other_windows]
        if [(r["label"], r["result"]) for r in rows] != [("TOO_LARGE", "target full")] or \
                not rows[0]["bag folder"].endswith(" (incomplete)"):
            problems.append(f"the log's rows are {rows}")
        if len(listing) != 2 or LOG not in listing:
            problems.append(f"the target holds {listing}, not the log and one bag")
        full = ("CRITICAL", "The target disk is full: archiving has stopped on every drive")
        if [(u, b) for u, b, _ in notes] != [full]:
            problems.append(f"the notification service received {notes}, not {[full]}")
        self.figures["archive mode, full target disk"] = [
            f"log: {[(r['label'], r['result']) for r in rows]}; target afterwards {listing}, "
            f"{free} KiB free; the disc {'ejected' if ejected else 'left in the drive'}; "
            f"notifications: {notes}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def archive_benchmark(self):
        """The PERF_MB disc archived, timed as `performance` times the plain copy (caches
        dropped, from the progress window's appearing to its going away), against that copy
        when it ran in this suite run, else against dd. A figure; the bag must still check."""
        disc = self.discs["perf"]
        plain = getattr(self, "perf", None)
        if plain:
            against, plain_seconds = "the plain copy", plain["copy_s"]
        else:
            self.load("D", "perf")
            self.agent.run(sh="sync; echo 3 > /proc/sys/vm/drop_caches")
            out = self.agent.run(sh="dd if=/dev/sr0 of=/dev/null bs=1M 2>&1", timeout=900)["out"]
            match = re.search(r"(\d+) bytes .* copied, ([\d.]+) s", out)
            if not match:
                raise CheckFailed(f"dd said {out!r}")
            against, plain_seconds = "dd", float(match.group(2))
            self.m.eject(0)
        target = self.fresh_target("archive-perf")
        try:
            self.restart_program(["--archive"])
            self.d.type_target(target)
            self.d.tick_all(["D"])
            self.m.wait_tray(0, False, 20)  # the cycle closes the empty tray
            self.d.wait_status("D", "Waiting")
            self.agent.run(sh="sync; echo 3 > /proc/sys/vm/drop_caches")
            self.m.change(0, disc.iso)
            window = self.wait_copying("D", 120)
            start = time.monotonic()
            self.d.wait_window(re.escape(window["name"]), 1800, gone=True)
            seconds = time.monotonic() - start
            self.wait_ejected("D", 60)
        finally:
            self.restart_program()
        rows, problems = parse_log(self.agent.read(f"{target}/{LOG}"))
        name = rows[0]["bag folder"] if len(rows) == 1 else None
        if not name or rows[0]["result"] != "complete":
            problems.append(f"the log's rows are {rows}")
        else:
            # sha256sum -c in the guest, and the manifest's digest against the disc's file:
            # enough to fail a wrong bag without reading the disc a third time.
            path = f"{target}/{name}"
            checked = self.agent.run(sh=f"cd {shlex.quote(path)} && "
                                        "sha256sum -c --quiet manifest-sha256.txt && "
                                        "sha256sum -c --quiet tagmanifest-sha256.txt",
                                     user=USER, check=False, timeout=600)
            if checked["rc"] != 0:
                problems.append(f"{name}: sha256sum -c fails: "
                                f"{(checked['out'] + checked['err'])[:400]}")
            manifest = [line for line in
                        self.agent.read(f"{path}/manifest-sha256.txt").decode().splitlines()
                        if f"  {FILES}/" in line]
            wanted = [f"{digest}  {FILES}/{p}" for p, digest in disc.expected().items()]
            if manifest != wanted:
                problems.append(f"{name}: the manifest says {manifest}, not {wanted}")
        self.agent.run(sh=f"rm -rf '{target}'", user=USER)
        self.figures[f"archive mode, the {PERF_MB} MB disc"] = [
            f"archived in {seconds:.1f} s ({PERF_MB / seconds:.1f} MB/s); {against} "
            f"{plain_seconds:.1f} s: archive/{'plain' if plain else 'dd'} = "
            f"{seconds / plain_seconds:.2f}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def all(self):
        return [("archive mode: a stack of discs, nobody at the machine", self.unattended_archive),
                ("archive mode: a full target disk", self.full_target),
                (f"archive mode: the {PERF_MB} MB disc against the plain copy",
                 self.archive_benchmark)]
