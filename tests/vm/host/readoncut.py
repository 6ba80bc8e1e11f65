"""A power cut while a damaged disc is read on from its incomplete bag: D: fails four sectors
of the photos disc, E: reads all but one of them and is slowed on that one, and the power goes
while E: tries it again, after its read has saved what it got. After the reboot the earlier bag
is as it was, and a drive that reads none of the four (F:) still completes the bag with what E:
got: nothing of that read is lost."""

import time

import iso9660
import seekdrive
from archivebags import IMAGE, LOG, SECTOR, parse_log
from guest import CheckFailed
from qtprogram import HOME
from qtreadon import map_sectors, traced_sectors

NAME = "archive mode: a read on from an incomplete bag"
TARGET = f"{HOME}/power/readon"
DISC = "photos"
VIDEO = "video.mp4"
D_FAILS = (500, 501, 900, 1500)  # sectors of the video, from its first
E_FAILS = (501,)
SLOW_SECONDS = 8  # each read of E:'s failing sector: the cut comes during the second


class ReadOnCut:
    """Two steps for PowerCuts: the cut, then the checks in the next boot."""

    def __init__(self, workdir, plugin):
        self.workdir, self.plugin = workdir, plugin
        self.figures = []

    def sectors(self, run, at):
        video = iso9660.walk(run.discs[DISC].iso.read_bytes())[VIDEO]
        return {video.extent + s for s in at}

    def serve(self, run, index, bad, slow=(), name="model"):
        folder = self.workdir / f"read-on-cut-{name}"
        folder.mkdir(exist_ok=True)
        trace = folder / "trace.txt"
        trace.unlink(missing_ok=True)
        model = seekdrive.DriveModel(self.plugin, folder, scale=0, slow=slow,
                                     bad=[(s, s) for s in sorted(bad)])
        run.m.insert_served(index, model.serve(run.discs[DISC].iso, trace))
        return model, trace

    def read_in(self, run, index, letter, bad):
        """The disc served into drive `index` failing `bad`, until the program ejects it."""
        model, _ = self.serve(run, index, bad, name=letter)
        try:
            run.wait_ejected(letter, 180)
            run.m.eject(index)
            run.m.release_served(index)
        finally:
            model.stop()

    def cut(self, run):
        """D: makes the incomplete bag; E: reads on from it until the cut."""
        run.stop_program()  # the scenario before may leave it running
        run.agent.run(sh=f"rm -rf '{TARGET}'", user="user")
        run.d.start(args=["--archive"])
        run.d.type_target(TARGET)
        run.d.tick_all(["D", "E"])
        self.read_in(run, 0, "D", self.sectors(run, D_FAILS))
        rows, _ = parse_log(run.agent.read(f"{TARGET}/{LOG}"))
        self.earlier = rows[-1]["bag folder"]
        self.tags = run.agent.read(f"{TARGET}/{self.earlier}/tagmanifest-sha256.txt")
        (slow,) = self.sectors(run, E_FAILS)
        self.model, trace = self.serve(run, 1, {slow}, slow=[(slow, slow, SLOW_SECONDS)],
                                       name="E")
        deadline = time.monotonic() + 180
        while sum(slow in traced_sectors_of(line) for line in lines(trace)) < 2:
            if time.monotonic() > deadline:
                self.model.stop()
                raise CheckFailed(f"E: never tried sector {slow} a second time: {lines(trace)}")
            time.sleep(0.1)
        self.asked = traced_sectors(trace)
        return True

    def after(self, run):
        """The earlier bag as it was; F:, which reads none of the sectors D: lacked, completes
        the bag with what E: read before the cut."""
        self.model.stop()
        problems = []
        status = run.agent.read("/run/fsck.status").decode().strip()
        if status not in ("0", "1"):
            problems.append(f"e2fsck could not make the disk consistent (exit {status})")
        listing = sorted(filter(None, run.agent.sh(f"ls -1A '{TARGET}'").split("\n")))
        tags = run.agent.read(f"{TARGET}/{self.earlier}/tagmanifest-sha256.txt")
        checked = run.agent.run(sh=f"cd '{TARGET}/{self.earlier}' && "
                                   "sha256sum -c --quiet manifest-sha256.txt && "
                                   "sha256sum -c --quiet tagmanifest-sha256.txt", check=False)
        if tags != self.tags or checked["rc"] != 0:
            problems.append(f"the earlier bag {self.earlier!r} changed in the cut")
        lacked = self.sectors(run, D_FAILS)
        # Read by E: in its first pass, which its map saved before the cut.
        got_by_e = self.sectors(run, (900, 1500))
        run.d.start(args=["--archive"])
        run.d.type_target(TARGET)
        run.d.tick_all(["F"])
        self.read_in(run, 2, "F", lacked)
        run.stop_program()
        rows, log_problems = parse_log(run.agent.read(f"{TARGET}/{LOG}"))
        problems += log_problems
        after = sorted(filter(None, run.agent.sh(f"ls -1A '{TARGET}'").split("\n")))
        bag = rows[-1]["bag folder"] if rows else ""
        missing = map_sectors(run.agent.read(f"{TARGET}/{bag}/{IMAGE}/disc.map").decode(), "-") \
            if bag in after else None
        if missing is None or missing & got_by_e or [n for n in after if n.endswith(".part")]:
            problems.append(f"after F: the target holds {after}, its bag lacks {missing}; E: had "
                            f"read {sorted(got_by_e)}")
        self.figures.append(
            f"read on cut: D: lacked {sorted(lacked)}; E: asked for {len(self.asked)} sectors "
            f"before the cut, during its second try of {sorted(self.sectors(run, E_FAILS))}; "
            f"after the reboot (e2fsck exit {status}) the target held {listing}; F:, reading "
            f"none of them, left the bag {bag!r} lacking {sorted(missing or ())}; log rows "
            + "; ".join(f"{r['result']} {r['note']!r}" for r in rows))
        return problems


def lines(trace):
    try:
        return [line for line in trace.read_text().splitlines() if line and line[0] != "#"]
    except FileNotFoundError:
        return []


def traced_sectors_of(line):
    first, count = (int(x) for x in line.split()[:2])
    return range(first, first + count)
