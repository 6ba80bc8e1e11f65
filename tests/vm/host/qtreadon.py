"""A damaged disc read on by other drives: the same disc image on three drives of the drive
model, in archive mode, nobody at the machine. D: fails a set of sectors, E: an overlapping but
different set, F: none. After each drive the target holds one bag of the disc whose map lacks
what no drive has read yet; each drive after the first is asked, where the disc holds its
files, only for the sectors that map lacked (counted in the drive model's trace); the log gets a
row per read, saying what the read gained."""

import hashlib
import shlex

import iso9660
import seekdrive
from archivebags import CLAIMS, FILES, IMAGE, INDEX_PAGE, LOG, SECTOR, parse_log
from guest import CheckFailed
from qtprogram import USER

DISC = "photos"
# Sectors, counted from each file's first, that the drives cannot read.
VIDEO, BEACH = "video.mp4", "Holiday/beach.jpg"
FAILS = {"D": {VIDEO: (500, 501, 900, 1500, 1501, 1502), BEACH: (100,)},
         "E": {VIDEO: (501, 1500, 1502, 2000), BEACH: (100,)},
         "F": {}}
# The image's read starts with a request this large at the disc's first sector; what the drive
# is asked before it is the look at a new disc (the kernel, udev and libblkid probing it, the
# program reading its descriptors), the same for every drive the disc goes into.
REQUEST_SECTORS = 32


def map_sectors(text, state):
    """The sectors a GNU ddrescue map gives `state` (whole sectors: our maps keep to them)."""
    lines = [line.split() for line in text.splitlines() if line and not line.startswith("#")]
    sectors = set()
    for pos, size, status in lines[1:]:
        if status == state:
            first = int(pos, 0) // SECTOR
            sectors.update(range(first, first + int(size, 0) // SECTOR))
    return sectors


def traced_sectors(path, until_image=False):
    """Every sector the drive model was asked for, from its trace; `until_image`: before the
    first read of the disc's image."""
    sectors = set()
    for line in path.read_text().splitlines():
        if line and not line.startswith("#"):
            first, count = (int(x) for x in line.split()[:2])
            if until_image and (first, count) == (0, REQUEST_SECTORS):
                break
            sectors.update(range(first, first + count))
    return sectors


class ReadOnScenarios:
    def read_on(self):
        """The same damaged disc read on by drive after drive into one bag (see the module)."""
        disc = self.discs[DISC]
        image = disc.iso.read_bytes()
        records = iso9660.walk(image)
        bad = {drive: {records[path].extent + s for path, at in files.items() for s in at}
               for drive, files in FAILS.items()}
        target = self.fresh_target("readon")
        self.progress_windows, self.other_windows, self.popups, self.dunst = set(), {}, 0, None
        self.restart_program(["--archive"])
        self.d.type_target(target)
        self.d.tick_all(["D", "E", "F"])
        problems, lines = [], []
        lacked = bad["D"]  # what the bag lacks before each drive after the first
        unread, look = set(), set()
        for index, drive in enumerate("DEF"):
            folder = self.m.workdir / f"read-on-{drive}"
            folder.mkdir(exist_ok=True)
            trace = folder / "trace.txt"
            trace.unlink(missing_ok=True)
            model = seekdrive.DriveModel(self.seek_plugin, folder, scale=0,
                                         bad=[(s, s) for s in sorted(bad[drive])])
            try:
                self.m.insert_served(index, model.serve(disc.iso, trace))
                self.until_ejected(drive, 180)
                stats = model.stats()
                self.m.eject(index)
                self.m.release_served(index)
            finally:
                model.stop()
            asked = traced_sectors(trace)
            if not index:
                look = traced_sectors(trace, until_image=True)
                if look & set().union(*bad.values()):
                    raise CheckFailed(f"the failing sectors {bad} lie where the disc is looked "
                                      f"at before its read: {sorted(look)}")
            unread = lacked & bad[drive] if index else set(bad[drive])
            problems += self.judge_read_on(target, drive, index, lacked, unread, disc)
            read = asked - look
            lines.append(
                f"{drive}: fails {len(bad[drive])} sectors {sorted(bad[drive])}; asked for "
                f"{len(asked)} sectors in {int(stats['reads'])} reads ({int(stats['failed'])} "
                f"failed): {len(asked & look)} in the look at the disc before its read, "
                f"{len(read)} by the read" + (f" (the bag lacked {len(lacked)})" if index else "")
                + f"; the bag then lacks {len(unread)}: {sorted(unread)}")
            if index and read != lacked:
                problems.append(f"{drive}: its read asked for {sorted(read)}, not just the "
                                f"bag's missing {sorted(lacked)}")
            lacked = unread
            if problems:
                break
        self.figures["archive mode: a damaged disc read on by other drives"] = lines
        problems += [f"a window other than the dialog and its progress windows: {name!r}"
                     for name in self.other_windows]
        if problems:
            raise CheckFailed("\n    ".join(problems))

    def judge_read_on(self, target, drive, index, lacked, unread, disc):
        """The target after drive number `index`: one bag, whose map lacks `unread`, its files
        the disc's but for zeros there, and one log row per drive so far."""
        problems = []
        rows, log_problems = parse_log(self.agent.read(f"{target}/{LOG}"))
        problems += log_problems
        complete = not unread
        if len(rows) != index + 1:
            return problems + [f"{drive}: the log has {len(rows)} rows: {rows}"]
        row = rows[-1]
        bag = row["bag folder"]
        gained = (len(lacked) - len(unread)) * SECTOR
        wanted_note = (f"read on from {rows[-2]['bag folder']}: {gained} bytes more read"
                       if index else "")
        if (row["drive"], row["result"], row["note"]) != \
                (drive, "complete" if complete else "incomplete", wanted_note):
            problems.append(f"{drive}: the log's row is {row}; expected a "
                            f"{'complete' if complete else 'incomplete'} one noting "
                            f"{wanted_note!r}")
        listing = set(filter(None, self.agent.sh(f"ls -1A '{target}'", user=USER).split("\n")))
        if listing != {bag, LOG, CLAIMS, INDEX_PAGE}:
            problems.append(f"{drive}: the target holds {sorted(listing)}, not one bag")
            return problems
        path = f"{target}/{bag}"
        checked = self.agent.run(sh=f"cd {shlex.quote(path)} && "
                                    "sha256sum -c --quiet manifest-sha256.txt && "
                                    "sha256sum -c --quiet tagmanifest-sha256.txt",
                                 user=USER, check=False)
        if checked["rc"] != 0:
            problems.append(f"{drive}: sha256sum -c fails: {(checked['out'] + checked['err'])[:400]}")
        missing = map_sectors(self.agent.read(f"{path}/{IMAGE}/disc.map").decode(), "-")
        if missing != unread:
            problems.append(f"{drive}: the map lacks {sorted(missing)}, not {sorted(unread)}")
        # The files: the disc's, zeros in each sector no drive read.
        image = bytearray(disc.iso.read_bytes())
        for sector in unread:
            image[sector * SECTOR:(sector + 1) * SECTOR] = bytes(SECTOR)
        records = iso9660.walk(bytes(image))
        wanted = {p: hashlib.sha256(bytes(image[r.extent * SECTOR:r.extent * SECTOR + r.size]))
                  .hexdigest() for p, r in records.items() if not r.is_dir}
        files, others = self.target_files(f"{path}/{FILES}")
        got = {p: d for p, (d, _) in files.items()}
        if got != wanted or others:
            problems.append(f"{drive}: the bag's files differ from the disc's: "
                            f"{sorted(p for p in set(got) | set(wanted) if got.get(p) != wanted.get(p))} {others}")
        reads = [line for line in self.agent.read(f"{path}/bag-info.txt").decode().splitlines()
                 if line.startswith("Dravolin-Read: ")]
        if len(reads) != index + 1:
            problems.append(f"{drive}: bag-info.txt has the reads {reads}")
        return problems

    def all(self):
        return [("archive mode: a damaged disc read on by other drives", self.read_on)]
