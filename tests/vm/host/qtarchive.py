"""Archive mode left alone with a stack of discs: `dravolin --archive` with two drives ticked,
the host loading discs in turn and answering nothing, a real notification service (dunst) on the
user's session bus. Afterwards the target folder, the log and the notifications are judged."""

import csv
import hashlib
import io
import re
import shlex
import statistics
import time

import iso9660
from desktopdiscs import PERF_MB, SCRATCHED_FILE
from guest import CheckFailed
from qtprogram import ARCHIVE_TITLE, USER
from qtrun import LETTERS, QtRun, copying_title

LOG = "archive-log.csv"
COLUMNS = ["start", "end", "drive", "label", "fingerprint", "bag folder", "files", "bytes",
           "damaged files", "result"]
DISC_MINUTES = 1  # the smallest time budget the command line takes
# The scratched file's unreadable sectors, counted from its start: two in one page, one on a page
# of its own, one in the second half of a page (the kernel reads a file in 4 KiB pages).
SCRATCHED_AT = (20, 21, 80, 121)
STEP = 32 * 1024  # the copy's recovery step
SECTOR = 2048
PAGE = 4096
MIB = 1 << 20
# The slowed disc (16 MiB) reads for about two minutes at this pace: well past its budget.
SLOW_BYTES_PER_SECOND = 128 * 1024
NOTES = {"complete": ("NORMAL", "Disc archived: {bag}"),
         "already archived": ("NORMAL", "Disc already archived, ejected uncopied: {bag}"),
         "incomplete": ("CRITICAL", "Disc archived with damaged files, please check it: {bag}"),
         "unreadable": ("CRITICAL",
                        "The disc in drive {drive}: has no readable file system; it was ejected"),
         # Incomplete with no damaged file: stopped by the disc's time budget.
         "stopped": ("CRITICAL", "The disc read too slowly and was stopped at its time limit, "
                                 "please check it: {bag}")}


def expected_damage(size, bad_sectors):
    """The byte ranges a recovering copy of a file of `size` bytes lists as damaged when the
    file's sectors `bad_sectors` (from its start) cannot be read. The kernel reads a file in
    pages: a read returns what lies before the first unreadable page, and fails when it starts
    on one. The copy reads 1 MiB at a time; where that fails, it goes on in steps of 32 KiB
    (ending on a sector) from there, each step that fails twice becoming zeros, adjacent ranges
    joined."""
    bad_pages = sorted({s * SECTOR // PAGE * PAGE for s in bad_sectors})

    def read(pos, length):
        for page in bad_pages:
            if page + PAGE > pos and page < pos + length:
                return page - pos if page > pos else -1
        return min(length, size - pos)

    def step_end(pos):
        return min(size, -(-(pos + STEP) // SECTOR) * SECTOR)

    damaged, pos, careful_until = [], 0, 0
    while pos < size:
        careful = pos < careful_until
        end = step_end(pos) if careful else min(size, pos + MIB)
        got = read(pos, end - pos)
        if got > 0:
            pos += got
            continue
        if not careful and end - pos > STEP:
            careful_until = end
            continue
        skip = step_end(pos)
        if damaged and damaged[-1][1] == pos:
            damaged[-1][1] = skip
        else:
            damaged.append([pos, skip])
        pos = skip
    return [tuple(r) for r in damaged]


def parse_log(data):
    """The log's rows as dicts, after checking what a spreadsheet needs: the byte order mark,
    CR LF line ends, the header."""
    problems = []
    if not data.startswith(b"\xef\xbb\xbf"):
        problems.append(f"{LOG} does not start with a byte order mark: {data[:8]!r}")
    if re.search(rb"(?<!\r)\n", data) or not data.endswith(b"\r\n"):
        problems.append(f"{LOG} has lines that do not end in CR LF")
    rows = list(csv.reader(io.StringIO(data.decode("utf-8-sig"), newline="")))
    if not rows or rows[0] != COLUMNS:
        problems.append(f"{LOG}'s header is {rows[:1]}")
    return [dict(zip(COLUMNS, r)) for r in rows[1:]], problems


def parse_notes(text):
    """What dunst -print printed: [(urgency, body)], in the order received."""
    notes = []
    for block in re.findall(r"\{\n(.*?)\n\}", text, re.S):
        fields = dict(re.findall(r"^\s*([a-z_ ]+): (.*)$", block, re.M))
        body = fields.get("body", "")
        notes.append((fields.get("urgency", "?"), body[1:-1] if body[:1] == "'" else body,
                      fields.get("appname", "").strip("'")))
    return notes


class ArchiveScenarios(QtRun):
    # --- the program and the notification service ---

    def restart_program(self, args=()):
        if self.d.running():
            self.agent.signal(self.d.pid, 15)
            if self.agent.wait(self.d.pid, 20) is None:
                self.agent.signal(self.d.pid, 9)
                self.agent.wait(self.d.pid, 10)
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
        the same disc whole) while F: reads a slowed disc past its time budget; nothing is answered. Every disc
        gets its log row and notification, every bag checks, and no prompt ever shows."""
        target = self.fresh_target("archive")
        self.progress_windows, self.other_windows, self.popups = set(), {}, 0
        self.dunst = self.start_notifications()
        try:
            self.run_stack(target)
        finally:
            if self.m.trays()[2][1]:
                self.m.throttle(2, 0)
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
        self.load("F", "archive")
        self.m.throttle(2, SLOW_BYTES_PER_SECOND)
        loaded = ["names-a"]
        samples = [first[0]]  # resident KiB after each disc of D:
        # The manual twice: scratched, then whole (its bag was incomplete: copied again).
        for disc in ["names-b", "dacha", "names-a", "blank", "manual", "manual"]:
            if disc == "manual" and disc not in loaded:
                self.m.insert_scratched(0, manual.iso, bad)
            else:
                self.load("D", disc)
            loaded.append(disc)
            self.until_ejected("D", 120)
            samples.append(self.resources(looks=1)[0])
        self.m.eject(0)  # taken out of the open tray, as a person would
        self.until_ejected("F", DISC_MINUTES * 60 + 120)
        self.m.throttle(2, 0)
        self.m.eject(2)
        self.wait_notes(len(loaded) + 1)
        last = self.resources()
        self.d.shot("archive-done")
        seconds = time.monotonic() - started

        problems = [f"a window other than the dialog and its progress windows: "
                    f"{name!r} (pid {w['pid']})" for name, w in self.other_windows.items()]
        rows, log_problems = parse_log(self.agent.read(f"{target}/{LOG}"))
        problems += log_problems
        expected = [("D", d) for d in loaded] + [("F", "archive")]
        results = {("D", "names-a"): "complete", ("D", "names-b"): "complete",
                   ("D", "dacha"): "complete", ("D", "blank"): "unreadable",
                   ("D", "manual"): "incomplete", ("F", "archive"): "incomplete"}
        wanted = []  # (drive, disc, result), in the order of the log
        for drive, disc in expected:
            before = [r for _, d, r in wanted if d == disc]
            result = ("already archived" if "complete" in before
                      else "complete" if before else results[(drive, disc)])
            wanted.append((drive, disc, result))
        got = [(r["drive"], r["label"], r["result"]) for r in rows]
        want = [(drive, self.discs[disc].label, result) for drive, disc, result in wanted]
        if sorted(got) != sorted(want) or [g for g in got if g[0] == "D"] != \
                [w for w in want if w[0] == "D"]:
            problems.append(f"the log's rows (drive, label, result) are {got}, not {want}")
            raise CheckFailed("\n    ".join(problems))

        listing = set(filter(None, self.agent.sh(f"ls -1A '{target}'", user=USER)
                             .split("\n")))
        bags = {}  # bag folder -> (row, disc)
        by_label = {}  # label -> the folder of its complete bag
        for row in rows:
            disc = next(d for drv, d, res in wanted
                        if drv == row["drive"] and self.discs[d].label == row["label"]
                        and res == row["result"])
            problems += self.check_row(row, disc, listing, bags, by_label)
        extra = listing - set(bags) - {LOG}
        if extra:
            problems.append(f"the target holds more than the bags and the log: {sorted(extra)}")
        damage = {}
        for name, (row, disc) in bags.items():
            problems += self.check_bag(f"{target}/{name}", row, disc, damage)

        notes = self.wait_notes(len(rows))
        problems += self.check_notes(notes, rows, by_label)
        rss_growth = (last[0] - first[0]) / (len(rows) - 1)
        if len(last[1]) > len(first[1]):
            problems.append(f"the program held {len(first[1])} descriptors after the first disc "
                            f"and {len(last[1])} after the last: {first[1]} -> {last[1]}")
        # The program takes memory it keeps for good once in a while (a malloc arena for a new
        # worker, a font), about 1 MiB at a time on any disc; a leak grows it at every disc.
        # So the typical step from one disc to the next is judged, from the second disc on.
        steps = [b - a for a, b in zip(samples[1:], samples[2:])]
        if statistics.median(steps) > 256:
            problems.append(f"the program grew at every disc: {samples} KiB after each disc "
                            "of D:")
        injected = [(s * SECTOR, (s + 1) * SECTOR) for s in SCRATCHED_AT]
        self.figures["archive mode, unattended"] = [
            f"{len(rows)} discs in {seconds:.0f} s: " + ", ".join(
                f"{r['drive']}: {r['label'] or '(blank)'} {r['result']}" for r in rows),
            f"scratched '{SCRATCHED_FILE}': injected sectors {list(SCRATCHED_AT)} of the file "
            f"(bytes {injected}); damaged-files.txt lists {damage.get('listed')}, expected "
            f"{damage.get('expected')}",
            f"notifications received by dunst: {len(notes)}: " + "; ".join(
                f"{u} {b!r}" for u, b, _ in notes),
            f"progress windows seen: {len(self.progress_windows)}; notification pop-ups seen "
            f"{self.popups} times; other windows: {list(self.other_windows) or 'none'}",
            f"after the first disc {first[0] // 1024} MiB resident, {len(first[1])} descriptors; "
            f"after the last {last[0] // 1024} MiB, {len(last[1])} ({rss_growth:+.0f} KiB a "
            f"disc); resident KiB after each disc of D: {samples}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    # --- the judgement ---

    def check_row(self, row, disc, listing, bags, by_label):
        """One log row against the disc it stands for; records its bag."""
        problems = []
        files = self.discs[disc].files
        name = row["bag folder"]
        what = f"the log's row of {row['label'] or 'the blank disc'} ({row['result']})"
        if not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d", row["start"]) \
                or not row["start"] <= row["end"]:
            problems.append(f"{what}: start {row['start']!r}, end {row['end']!r}")
        if disc == "blank":
            if row["fingerprint"] or name or row["files"] != "0":
                problems.append(f"{what}: {row}")
            return problems
        if not re.fullmatch(r"[0-9a-f]{8}", row["fingerprint"]):
            problems.append(f"{what}: fingerprint {row['fingerprint']!r}")
        if row["result"] == "already archived":
            if name or row["files"] != "0":
                problems.append(f"{what}: names a bag or files: {row}")
            first = bags.get(by_label.get(row["label"]), ({}, None))[0]
            if row["fingerprint"] != first.get("fingerprint"):
                problems.append(f"{what}: fingerprint {row['fingerprint']} differs from the "
                                f"first time's {first.get('fingerprint')}")
            return problems
        suffix = " (incomplete)" if row["result"] == "incomplete" else ""
        wanted = f"{row['label']} {row['start'][:10]} {row['fingerprint']}{suffix}"
        if name != wanted:
            problems.append(f"{what}: bag folder {name!r}, not {wanted!r}")
        if name not in listing:
            problems.append(f"{what}: its bag {name!r} is not in the target: {sorted(listing)}")
        bags[name] = (row, disc)
        if row["result"] == "complete":
            by_label[row["label"]] = name
        count, size = len(files), sum(len(d) for d in files.values())
        damaged = 1 if disc == "manual" and row["result"] == "incomplete" else 0
        budget = disc == "archive"
        if (not budget and (row["files"], row["bytes"]) != (str(count), str(size))) \
                or row["damaged files"] != str(damaged) \
                or (budget and not 0 < int(row["files"]) < count):
            problems.append(f"{what}: {row['files']} files, {row['bytes']} bytes, "
                            f"{row['damaged files']} damaged; the disc holds {count} files, "
                            f"{size} bytes")
        return problems

    def check_bag(self, path, row, disc, damage):
        """A bag in the guest: sha256sum -c accepts both manifests, the payload is the disc's
        (the scratched file with zeros where the listed ranges are, the slowed disc's files
        those it had time for), the tag files say what came of it."""
        problems = []
        name = path.rsplit("/", 1)[1]
        checked = self.agent.run(sh=f"cd {shlex.quote(path)} && "
                                    "sha256sum -c --quiet manifest-sha256.txt && "
                                    "sha256sum -c --quiet tagmanifest-sha256.txt",
                                 user=USER, check=False)
        if checked["rc"] != 0:
            problems.append(f"{name}: sha256sum -c fails: {(checked['out'] + checked['err'])[:400]}")
        tags = set(filter(None, self.agent.sh(f"ls -1A {shlex.quote(path)}",
                                              user=USER).split("\n")))
        manifest = {}
        for line in self.agent.read(f"{path}/manifest-sha256.txt").decode().splitlines():
            digest, _, rel = line.partition("  ")
            manifest[rel.removeprefix("data/")] = digest
        info = dict(line.split(": ", 1) for line in
                    self.agent.read(f"{path}/bag-info.txt").decode().splitlines())
        files, others = self.target_files(f"{path}/data")
        disc_files = self.discs[disc].files
        expected = self.discs[disc].expected()
        wanted_tags = {"bagit.txt", "bag-info.txt", "manifest-sha256.txt",
                       "tagmanifest-sha256.txt", "data"}
        if disc == "manual" and row["result"] == "incomplete":
            wanted_tags.add("damaged-files.txt")
            lines = self.agent.read(f"{path}/damaged-files.txt").decode().splitlines()
            listed = [tuple(int(n) for n in line.rsplit(" ", 1)[1].split("-")) for line in lines]
            paths = {line.rsplit(" ", 1)[0] for line in lines}
            data = disc_files[SCRATCHED_FILE]
            ranges = expected_damage(len(data), SCRATCHED_AT)
            damage.update(listed=listed, expected=ranges)
            if paths != {"data/" + SCRATCHED_FILE} or listed != ranges:
                problems.append(f"{name}: damaged-files.txt says {lines}; expected "
                                f"data/{SCRATCHED_FILE} {ranges}")
            zeroed = bytearray(data)
            for begin, end in listed:
                zeroed[begin:end] = bytes(end - begin)
            expected[SCRATCHED_FILE] = hashlib.sha256(zeroed).hexdigest()
        if disc in ("archive", "toolarge"):  # stopped: by the time budget, by a full disk
            expected = {p: d for p, d in expected.items() if p in files}
            if "Dravolin-Stopped" not in info:
                problems.append(f"{name}: bag-info.txt has no Dravolin-Stopped: {info}")
        if tags != wanted_tags:
            problems.append(f"{name}: holds {sorted(tags)}")
        payload = {p: d for p, (d, _) in files.items()}
        if payload != expected or others:
            problems.append(f"{name}: its payload differs from the disc: " + ", ".join(
                f"{p}" for p in sorted(set(payload) ^ set(expected) | {
                    p for p in payload if payload[p] != expected.get(p)})) + f" {others}")
        if manifest != payload:
            problems.append(f"{name}: the manifest lists {sorted(manifest)}, data/ holds "
                            f"{sorted(payload)}")
        oxum = f"{sum(size for _, size in files.values())}.{len(files)}"
        result = "incomplete" if name.endswith(" (incomplete)") else "complete"
        if info.get("Payload-Oxum") != oxum or info.get("Dravolin-Result") != result \
                or info.get("External-Identifier") != row["label"]:
            problems.append(f"{name}: bag-info.txt says {info} (payload {oxum})")
        return problems

    def wait_notes(self, count, timeout=20):
        deadline = time.monotonic() + timeout
        while True:
            notes = self.notes()
            if len(notes) >= count or time.monotonic() > deadline:
                return notes
            time.sleep(0.5)

    def check_notes(self, notes, rows, by_label):
        """One notification a disc: quiet (normal urgency) for a complete disc or one already
        archived, critical for a damaged, stopped or unreadable one."""
        wanted = []
        for row in rows:
            stopped = row["result"] == "incomplete" and row["damaged files"] == "0"
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
            listing = sorted(filter(None, self.agent.sh(f"ls -1A {target}").split("\n")))
            bags = [name for name in listing if name != LOG]
            if len(rows) == 1 and bags == [rows[0]["bag folder"]]:
                problems += self.check_bag(f"{target}/{bags[0]}", rows[0], "toolarge", {})
                kept, _ = self.target_files(f"{target}/{bags[0]}/data")
                if "a-first.bin" not in kept:
                    problems.append(f"the bag kept {sorted(kept)}, not the file that fit")
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
        """The 300 MB disc archived, timed as `performance` times the plain copy (caches
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
            # enough to fail a wrong bag without reading 300 MB a third time.
            path = f"{target}/{name}"
            checked = self.agent.run(sh=f"cd {shlex.quote(path)} && "
                                        "sha256sum -c --quiet manifest-sha256.txt && "
                                        "sha256sum -c --quiet tagmanifest-sha256.txt",
                                     user=USER, check=False, timeout=600)
            if checked["rc"] != 0:
                problems.append(f"{name}: sha256sum -c fails: "
                                f"{(checked['out'] + checked['err'])[:400]}")
            manifest = self.agent.read(f"{path}/manifest-sha256.txt").decode().splitlines()
            wanted = [f"{digest}  data/{p}" for p, digest in disc.expected().items()]
            if manifest != wanted:
                problems.append(f"{name}: the manifest says {manifest}, not {wanted}")
        self.agent.run(sh=f"rm -rf '{target}'", user=USER)
        self.figures["archive mode, the 300 MB disc"] = [
            f"archived in {seconds:.1f} s ({PERF_MB / seconds:.1f} MB/s); {against} "
            f"{plain_seconds:.1f} s: archive/{'plain' if plain else 'dd'} = "
            f"{seconds / plain_seconds:.2f}"]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def all(self):
        return [("archive mode: a stack of discs, nobody at the machine", self.unattended_archive),
                ("archive mode: a full target disk", self.full_target),
                ("archive mode: the 300 MB disc against the plain copy", self.archive_benchmark)]
