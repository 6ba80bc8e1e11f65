"""Power cuts: QEMU killed (SIGKILL) in the middle of a multi-file copy, at several moments, the
guest booted again on the same user disk, which is checked (e2fsck) before it is mounted. Every
file under a real name must be identical to its source, the store and its history must read
back whole, and the temporary files of the killed copy must go once a copy writes into their
folder again."""

import json
import time

import debian
from archivebags import CLAIMS, FILES, INDEX_PAGE
from desktopsuite import record
from guest import CheckFailed
from qtarchive import LOG, ArchiveScenarios, parse_log
from qtprogram import HOME, QtProgram
from qtrun import history
from readoncut import NAME as READ_ON
from readoncut import ReadOnCut

DISC = "multi"
THROTTLE = 1024 * 1024  # bytes per second: each 3 MB file takes about three seconds
ARCHIVE = "archive mode: a bag being written, the disc read into its image"
# Archive mode reads each disc once into an image in its bag and takes the files out of it.
ARCHIVE_TARGET = f"{HOME}/power/archive"

# When to cut, as a condition the guest watches in the target folder: "temps" are the sizes of
# our temporary files (the copy writes each file under a temporary name and gives a batch of
# them their real names after one flush), "parts" the largest of them (None when there is none),
# "done" the files under their real names.
MOMENTS = [
    ("early: the first file just begun", "(parts or 0) > 0 and not done"),
    ("mid-file: three files written, half of the fourth",
     "len(temps) >= 4 and min(temps) >= 1572864 and not done"),
    ("between files: as the files get their real names", "len(done) >= 1"),
]

WATCH = r'''
import os, sys, time, json
folder, condition = sys.argv[1], sys.argv[2]
deadline = time.monotonic() + 120
while time.monotonic() < deadline:
    try:
        names = os.listdir(folder)
    except FileNotFoundError:
        names = []
    done = sorted(n for n in names if not n.startswith(".dravolin-"))
    sizes = []
    for n in names:
        if n.startswith(".dravolin-"):
            try:
                sizes.append(os.stat(os.path.join(folder, n)).st_size)
            except FileNotFoundError:
                pass  # given its real name since the listing
    parts = max(sizes) if sizes else None
    temps = sizes
    if eval(condition):
        print(json.dumps({"done": done, "parts": parts, "temps": temps}))
        sys.exit(0)
    time.sleep(0.02)
sys.exit(1)
'''


# The bag being built: our hidden folder in the target with files already in its data/ (the
# image and its map, written as the disc is read), seen for longer than ext4's journal commit
# (5 s), so that the cut finds it on the disk.
BAG_WATCH = r'''
import os, sys, time, json
folder = sys.argv[1]
deadline = time.monotonic() + 120
first = None
while time.monotonic() < deadline:
    try:
        names = os.listdir(folder)
    except FileNotFoundError:
        names = []
    for n in names:
        if n.startswith(".dravolin-") and n.endswith(".part"):
            data = os.path.join(folder, n, "data")
            files = [f for _, _, fs in os.walk(data) for f in fs]
            first = first or time.monotonic()
            if len(files) >= 2 and time.monotonic() - first > 8:
                print(json.dumps({"part": n, "files": len(files), "names": sorted(names)}))
                sys.exit(0)
    time.sleep(0.02)
sys.exit(1)
'''


class PowerCuts:
    """The power-cut scenarios as one chain of boots on the suite's user disk: each cut is
    checked in the boot after it, which goes on with the next scenario. The first cut is made
    in the boot the suite leaves running, so the chain costs one boot per cut."""

    def __init__(self, run_dir, kernel, stage1, image, user_disk, discs, shots, log):
        self.run_dir = run_dir
        self.kernel = kernel
        self.stage1 = stage1
        self.image = image
        self.user_disk = user_disk
        self.discs = discs
        self.shots = shots
        self.log = log
        self.results = []
        self.figures = []
        self.boot_seconds = []
        self.started = {}  # scenario -> when it began, in the boot that made its cut
        self.pending = None  # the plain cut the next boot checks: (moment, folder, seen)
        self.seek_plugin = None  # the drive model, for the read on's cut

    def boot(self, number):
        boot = debian.Boot(self.run_dir, self.kernel, self.stage1, self.image, self.user_disk,
                           [None] * 4, kernel_args=["GUEST_FSCK=1"],
                           console=f"console-power-{number}.log")
        self.boot_seconds.append(boot.seconds)
        program = QtProgram(boot.agent, boot.share, self.shots, self.log)
        program.start_session("bin/dravolin")
        return boot, program

    def run(self, boot, program, plain=True, archive=True, read_on=False):
        """Runs the chosen cuts, starting in `boot`, whose program is ended first; every boot
        of the chain is closed here, `boot` too."""
        steps = []
        if plain:
            steps += [(MOMENTS[i][0], lambda run, i=i: self.cut(run, i))
                      for i in range(len(MOMENTS))]
            steps.append(("temporary files of the killed copies removed by the next copy",
                          self.stale_temporaries))
        if archive:
            steps += [(ARCHIVE, self.archive_cut), (ARCHIVE, self.archive_after)]
        if read_on:
            read_on_cut = ReadOnCut(self.run_dir, self.seek_plugin)
            steps += [(READ_ON, read_on_cut.cut),
                      (READ_ON, lambda run: self.read_on_after(run, read_on_cut))]
        first = True
        while steps:
            run = ArchiveScenarios(boot, program, self.discs, self.log)
            name = steps[0][0]
            try:
                if first:
                    run.reset()
                    run.stop_program()
                    first = False
                elif self.pending:
                    self.check_cut(run)
                while steps:
                    name, step = steps[0]
                    self.started.setdefault(name, time.monotonic())
                    cut = step(run)
                    steps.pop(0)
                    if cut:
                        boot.machine.power_cut()
                        break
                else:
                    boot.poweroff()
            except CheckFailed as error:
                self.result(name, [str(error)])
                for later in dict.fromkeys(n for n, _ in steps[1:] if n != name):
                    self.result(later, ["not run: an earlier power-cut scenario failed"])
                steps = []
            finally:
                boot.close()
            if steps:
                boot, program = self.boot(len(self.boot_seconds) + 1)

    def cut(self, run, index):
        """A copy into a folder of its own, cut at its moment."""
        moment, condition = MOMENTS[index]
        folder = f"{HOME}/power/cut{index + 1}"
        run.d.start()
        run.d.type_target(folder)
        run.load("D", DISC)
        run.m.throttle(0, THROTTLE)
        run.d.set_checked("D", True)
        run.wait_copying("D", 120)
        out = run.agent.run(["python3", "-c", WATCH, folder, condition], timeout=150)["out"]
        self.pending = (moment, folder, json.loads(out))
        return True

    def check_cut(self, run):
        moment, folder, seen = self.pending
        self.pending = None
        self.result(moment, self.after_cut(run, moment, folder, seen))

    def after_cut(self, run, moment, folder, seen):
        """The checks after the reboot that follows a cut."""
        status = run.agent.read("/run/fsck.status").decode().strip()
        fsck_log = run.agent.read("/run/fsck.log").decode("utf-8", "replace")
        expected = self.discs[DISC].expected()
        problems = run.compare(folder, {}, optional=expected, temporary_ok=True)
        files, _ = run.target_files(folder)
        lost = [n for n in seen["done"] if n not in files]
        damaged = [p for p in problems if p.startswith("incomplete")]
        temporaries = [p for p in files if p.startswith(".dravolin-")]
        if status not in ("0", "1"):
            problems.append(f"e2fsck could not make the disk consistent (exit {status})")
        try:
            records = run.store()
            entries = history(records)
            store = f"store whole, {len(entries)} history entries"
            if not any(e.rstrip("/\\") == folder for e in entries):
                store += f" (without this copy's target {folder})"
        except CheckFailed as error:
            problems.append(f"the store is damaged: {error}")
            store = f"store damaged: {error}"
        line = (f"{moment}: cut with {len(seen['done'])} files under real names and "
                f"temporary files of {seen.get('temps')} bytes; after the reboot e2fsck exit {status}, "
                f"{len(files) - len(temporaries)} files under real names, "
                f"{len(lost)} lost, {len(damaged)} damaged, {len(temporaries)} temporary "
                f"file(s) left; {store}")
        self.figures.append(line)
        if lost:
            problems.append(f"complete before the cut, gone after it: {lost}")
        lines = fsck_log.splitlines()
        fixes = [lines[i - 1].strip() for i, l in enumerate(lines) if l.startswith("Fix?") and i]
        if fixes:
            self.figures.append(f"    e2fsck repaired: {'; '.join(fixes[:6])}")
        return problems

    def stale_temporaries(self, run):
        """A copy into each folder of a killed copy: our temporary files there must be gone."""
        run.d.start()
        problems = []
        for index in range(len(MOMENTS)):
            folder = f"{HOME}/power/cut{index + 1}"
            run.d.type_target(folder)
            run.load("E", "afterfull")
            run.d.set_checked("E", True)
            run.wait_ejected("E", 90)
            run.untick("E")
            files, _ = run.target_files(folder)
            left = [p for p in files if p.startswith(".dravolin-")]
            if left:
                problems.append(f"{folder} still holds {left} after a new copy into it")
        run.stop_program()
        self.result("temporary files of the killed copies removed by the next copy", problems)
        return False

    def result(self, name, problems):
        outcome = "ok" if not problems else "FAIL " + "; ".join(problems)
        seconds = time.monotonic() - self.started.get(name, time.monotonic())
        record(self.results, self.log, f"power cut, {name}", seconds, outcome)




    # --- archive mode: a bag being written ---

    def archive_cut(self, run):
        """`dravolin --archive`: a small disc archived, then the cut while the multi-file
        disc is read into the image of its bag, in its hidden folder."""
        run.start_notifications()
        run.d.start(args=["--archive"])
        run.d.type_target(ARCHIVE_TARGET)
        run.load("D", "names-a")
        run.d.tick_all(["D"])
        run.wait_ejected("D", 120)
        run.load("D", DISC)
        run.m.throttle(0, THROTTLE)
        self.archive_seen = json.loads(run.agent.run(["python3", "-c", BAG_WATCH,
                                                      ARCHIVE_TARGET], timeout=150)["out"])
        return True

    def archive_after(self, run):
        """After the reboot (e2fsck first) the target holds no bag that does not check, and
        the log's earlier row is whole; the same disc archived again into the same folder
        leaves one complete bag, its row, and no hidden folder."""
        seen = self.archive_seen
        problems = []
        status = run.agent.read("/run/fsck.status").decode().strip()
        if status not in ("0", "1"):
            problems.append(f"e2fsck could not make the disk consistent (exit {status})")
        listing = self.listing(run)
        rows, log_problems = parse_log(run.agent.read(f"{ARCHIVE_TARGET}/{LOG}"))
        problems += log_problems
        labels = [(r["label"], r["result"]) for r in rows]
        if labels != [(run.discs["names-a"].label, "complete")]:
            problems.append(f"after the cut the log's rows are {labels}")
        bags = [n for n in listing if not n.startswith(".") and n not in (LOG, INDEX_PAGE)]
        for bag in bags:
            checked = self.sha256_check(run, bag)
            if checked:
                problems.append(f"after the cut {bag!r} does not check: {checked}")
        if [b for b in bags if b != (rows[0]["bag folder"] if rows else None)]:
            problems.append(f"after the cut the target holds bags {bags}")
        # The claims file stays in the target for good; the cut bag is a hidden folder.
        hidden = [n for n in listing if n.startswith(".") and n != CLAIMS]
        if not hidden:
            problems.append(f"the cut left no hidden folder in the target: {listing}")
        kept = [len(run.target_files(f"{ARCHIVE_TARGET}/{n}/{FILES}")[0]) for n in hidden]
        self.figures.append(
            f"archive: cut with {seen['files']} files in {seen['part']}/data; after the "
            f"reboot e2fsck exit {status}, target {listing}, log rows {labels}")
        # The same disc again, unthrottled, into the same folder.
        run.start_notifications()
        run.d.start(args=["--archive"])
        run.d.type_target(ARCHIVE_TARGET)
        run.load("D", DISC)
        run.d.tick_all(["D"])
        run.wait_ejected("D", 180)
        run.restart_program()
        after = self.listing(run)
        rows, log_problems = parse_log(run.agent.read(f"{ARCHIVE_TARGET}/{LOG}"))
        problems += log_problems
        labels = [(r["label"], r["result"]) for r in rows]
        wanted = [(run.discs[d].label, "complete") for d in ("names-a", DISC)]
        if labels != wanted:
            problems.append(f"after the new archive the log's rows are {labels}, not "
                            f"{wanted}")
        else:
            bags = {}
            for row, disc in zip(rows, ("names-a", DISC)):
                image = run.image_files(f"{ARCHIVE_TARGET}/{row['bag folder']}")
                if not image:
                    problems.append(f"{row['bag folder']!r} holds no image")
                problems += run.check_row(row, disc, set(after), bags, {},
                                          sum(size for _, size in image.values()))
            problems += run.check_bag(f"{ARCHIVE_TARGET}/{rows[1]['bag folder']}", rows[1],
                                      DISC, {})
        if INDEX_PAGE not in after:
            problems.append(f"after the new archive the target has no {INDEX_PAGE}")
        after = [n for n in after if n not in (CLAIMS, INDEX_PAGE)]
        left = [n for n in after if n.startswith(".")]
        if left or len(after) != 3:
            problems.append(f"after the new archive the target holds {after}")
        self.figures.append(
            f"archive: {len(hidden)} hidden folder(s) after the reboot, with {kept} files in "
            f"data/; archived again: target {after}, log rows {labels}")
        self.result(ARCHIVE, problems)
        return False

    def read_on_after(self, run, cut):
        self.result(READ_ON, cut.after(run))
        self.figures += cut.figures
        return False

    def listing(self, run):
        return sorted(filter(None, run.agent.sh(f"ls -1A '{ARCHIVE_TARGET}'").split("\n")))

    def sha256_check(self, run, bag):
        checked = run.agent.run(sh=f"cd '{ARCHIVE_TARGET}/{bag}' && "
                                   "sha256sum -c --quiet manifest-sha256.txt && "
                                   "sha256sum -c --quiet tagmanifest-sha256.txt",
                                check=False)
        return "" if checked["rc"] == 0 else (checked["out"] + checked["err"])[:300]
