"""The disc that outlasts archive mode's time budget, served through the drive model
(seekdrive.py). Its first file in disc order reads at once; every read of the files after it
costs the drive SLOW_READ_SECONDS more, as a scratched area read only after retries does. So
the copy bags at least that first file and never all of them, whatever the host's speed: a
throttle on the whole drive (bytes a second) also slowed the mount and the first file, and on
a busy host nothing was read within the minute. What the drive did is judged by its own
figures, not by the host's clock."""

import iso9660
import seekdrive

# Each read touching the slowed files: well under the kernel's 30 s per command (no time-out, no
# retry), and enough that the slowed files take longer than the budget even in reads of 1 MiB
# (the IDE CD drive's reads are at most 128 KiB).
SLOW_READ_SECONDS = 5


def slowed_span(image):
    """(first sector, last sector) from the second file's data in disc order to the end of the
    last file's, and the first file's path."""
    records = sorted((r.extent, r.size, path) for path, r in iso9660.walk(image).items()
                     if not r.is_dir and r.size)
    first, *rest = records
    last = max(extent + (size - 1) // iso9660.SECTOR for extent, size, _ in rest)
    return (rest[0][0], last), first[2]


class BudgetDisc:
    """`disc` served slowed into drive index `drive` of `machine`; stop() takes it out."""

    def __init__(self, machine, drive, disc, plugin):
        self.m, self.drive = machine, drive
        (self.first_sector, self.last_sector), self.fast_file = slowed_span(disc.iso.read_bytes())
        folder = machine.workdir / "budget-disc"
        folder.mkdir(exist_ok=True)
        # Scale 0: the drive answers the first file at once, only the slowed area costs time.
        self.model = seekdrive.DriveModel(
            plugin, folder, scale=0,
            slow=[(self.first_sector, self.last_sector, SLOW_READ_SECONDS)])
        self.m.insert_served(drive, self.model.serve(disc.iso))
        self.inserted = True

    def stats(self):
        return self.model.stats()

    def take_out(self):
        """The disc out of the drive (if still in) and its server stopped; the drive's figures
        as they were before."""
        stats = self.stats()
        if self.inserted:
            self.m.eject(self.drive)
            self.m.release_served(self.drive)
            self.inserted = False
        self.model.stop()
        return stats

    def judge(self, stats, bagged):
        """What the drive did against what the stopped bag holds (`bagged`, its paths under
        data/files/): the unslowed file whole in it, and the drive at work in the slowed area when
        the budget ran out. Problems as text."""
        problems = []
        if self.fast_file not in bagged:
            problems.append(f"the slowed disc's bag lacks '{self.fast_file}', which its drive "
                            f"reads at once: it holds {sorted(bagged)}")
        if stats["slow_s"] <= 0:
            problems.append(f"the slowed disc's bag says its budget stopped it, but its drive "
                            f"never read the slowed area: {stats}")
        return problems

    def describe(self, stats):
        return (f"the slowed disc: '{self.fast_file}' unslowed, sectors {self.first_sector}-"
                f"{self.last_sector} {SLOW_READ_SECONDS} s a read; its drive made "
                f"{stats['reads']:.0f} reads, {stats['bytes'] / 2**20:.1f} MiB, "
                f"{stats['slow_s']:.0f} s of them in the slowed area")
