"""The discs the suites in the Debian guest put into its drives: the Qt program's suite uses
them all, Dravolin.exe's under Wine a few (mastered and cached as the busybox suite's discs are,
see discs.py)."""

import random

import iso9660
from discs import Disc, _genisoimage, content, large_disc

# The disc of the performance figures: one file of this size.
PERF_MB = 150
# The many-folders disc: folders, each with FILES_PER_FOLDER small files.
FOLDERS = 2000
FILES_PER_FOLDER = 1
# The file whose sectors the scratched disc cannot read.
SCRATCHED_FILE = "Chapters/chapter 3.pdf"


def large_content(seed, size, block=16 * 1024 * 1024):
    """Like content(), for sizes it cannot make in one piece."""
    return b"".join(content(f"{seed}-{i}", min(block, size - i * block))
                    for i in range(-(-size // block)))


def _loop_to_parent(image):
    """loop/a/b/back is a folder record that describes loop/a's extent: loop/a/b/back/b is
    loop/a/b again, a cycle for anything that follows folders."""
    records = iso9660.walk(image)
    iso9660.point_at(image, records["LOOP/A/B/BACK"], records["LOOP/A"])


def _fan_out(image):
    """Every level's folders x1..x9 describe the extent of its x0: ten names for one folder
    on each of six levels, a million paths to a tree of six folders, and no cycle."""
    records = iso9660.walk(image)
    for path, record in records.items():
        name = path.rsplit("/", 1)[-1]
        if record.is_dir and name.startswith("X") and name != "X0":
            iso9660.point_at(image, record, records[path[:-len(name)] + "X0"])


def seek_tree():
    """A photo disc's files for the seek figures: small pictures in month folders, a few
    edited copies in a sub-folder of each, mixed-case names (byte order puts capitals first),
    and a few videos. About 270 files, 8 MB: under TCG the guest's CPU, not the drive, sets the
    pace of a copy of small files (about 15 ms a file), and the scenario copies each disc four
    times."""
    rng = random.Random("seek-tree")
    files = {}
    for year in (2018, 2019):
        for month in range(1, 13):
            folder = f"Photos/{year}/{year}-{month:02d} {MONTHS[month - 1]}"
            for n in range(1, 9):
                name = f"IMG_{month * 100 + n:04d}.JPG" if n % 7 else f"img_{n:04d}.jpg"
                files[f"{folder}/{name}"] = content(f"{folder}/{name}", rng.randrange(2000, 9000))
            for n in range(1, 3):
                name = f"{folder}/Edited/IMG_{month * 100 + n:04d} edit.jpg"
                files[name] = content(name, rng.randrange(2000, 9000))
            files[f"{folder}/notes.txt"] = f"{year}-{month:02d}\n".encode()
    for k in range(1, 4):
        files[f"Videos/clip {k}.mp4"] = content(f"seek-clip-{k}", 2 * 1024 * 1024)
    files["Read me.txt"] = b"photos and videos\n"
    return files


MONTHS = ["January", "February", "March", "April", "May", "June", "July", "August",
          "September", "October", "November", "December"]


def define_seek_discs():
    """The same files in three layouts, for the seek figures: as genisoimage masters them, in
    a shuffled order (sort weights), and on UDF written file by file in a shuffled order
    through the guest kernel's driver (made in the guest by the scenario)."""
    files = seek_tree()
    return [Disc("seek-usual", "SEEK_USUAL", _genisoimage("-J", "-R", "-joliet-long"),
                 files=files),
            Disc("seek-sorted", "SEEK_SORTED", _genisoimage("-J", "-R", "-joliet-long"),
                 files=files, sort_seed="seek-sorted"),
            Disc("seek-udf", "SEEK_UDF", [], files=files, guest_made=True)]


def define_desktop_discs():
    discs = {}

    def add(disc):
        discs[disc.name] = disc
        return disc

    joliet_rr = _genisoimage("-R", "-J", "-joliet-long", "-input-charset", "utf-8")
    # A disc as a user brings it: folders, a few files, one large enough to watch the copy.
    add(Disc("photos", "PHOTOS_2019", joliet_rr, files={
        "Holiday/beach.jpg": content("photos-beach", 900_000),
        "Holiday/hills.jpg": content("photos-hills", 700_000),
        "Family/Новый год.jpg": content("photos-ny", 400_000),
        "video.mp4": content("photos-video", 6 * 1024 * 1024),
        "index.txt": b"three folders, five files\n",
    }))
    # Three discs with the same names and different contents: replace prompts.
    for suffix in "abc":
        add(Disc(f"names-{suffix}", f"NAMES_{suffix.upper()}", joliet_rr, files={
            "same.txt": f"the same name, disc {suffix}\n".encode(),
            "shared/inner.bin": content(f"names-{suffix}", 3000 + ord(suffix)),
            f"only-on-{suffix}.txt": f"unique to {suffix}\n".encode(),
        }))
    # No file system at all: what a blank or audio disc is to a mount.
    add(Disc("blank", "", [], raw=bytes(2 * 1024 * 1024)))
    add(large_disc())
    # Large enough, slowed down, to act while it is copied.
    add(Disc("archive", "ARCHIVE_07", joliet_rr, files={
        **{f"part{i}.bin": content(f"archive-{i}", 4 * 1024 * 1024) for i in range(1, 5)},
        "readme.txt": b"four parts\n",
    }))
    # A manual whose third chapter lies on scratched sectors (see the scenarios).
    add(Disc("manual", "MANUAL", joliet_rr, files={
        "Chapters/chapter 1.pdf": content("manual-1", 300_000),
        "Chapters/chapter 2.pdf": content("manual-2", 300_000),
        SCRATCHED_FILE: content("manual-3", 300_000),
        "Chapters/chapter 4.pdf": content("manual-4", 300_000),
        "index.html": b"<html>manual</html>\n",
    }))
    # More than the small target disk (16 MiB, about 14 MiB free) holds: a fits, big does not,
    # z fits again once big's partial copy is gone. Then a small disc for the next round.
    add(Disc("toolarge", "TOO_LARGE", joliet_rr, files={
        "a-first.bin": content("toolarge-a", 4 * 1024 * 1024),
        "b-big.bin": content("toolarge-b", 20 * 1024 * 1024),
        "c-last.bin": content("toolarge-c", 2 * 1024 * 1024),
    }))
    add(Disc("afterfull", "AFTER_FULL", joliet_rr, files={
        "after.txt": b"the next disc after a full disk\n"}))
    # Software and help discs: thousands of small folders.
    add(Disc("manyfolders", "MANY_FOLDERS", _genisoimage("-R", "-J"), files={
        f"f{i // 100:02d}/d{i:04d}/file{j}.txt": f"folder {i} file {j}\n".encode()
        for i in range(FOLDERS) for j in range(FILES_PER_FOLDER)}))
    # Hostile discs: plain ISO 9660 (the records the kernel follows are the primary tree's).
    add(Disc("loop", "LOOP", _genisoimage(), files={
        "LOOP/A/B/BACK/NOTE.TXT": b"replaced by the loop\n",
        "LOOP/A/B/FILE.TXT": b"inside b\n",
        "TOP.TXT": b"top level\n",
    }, patch=_loop_to_parent))
    fan = {}
    path = ""
    for level in range(6):
        for i in range(1, 10):
            fan[f"{path}X{i}/EMPTY.TXT"] = b"replaced\n"
        path += "X0/"
    fan[path + "LEAF.TXT"] = b"six levels down\n"
    add(Disc("fanout", "FAN_OUT", _genisoimage(), files=fan, patch=_fan_out))
    # Four different discs for four drives at once.
    for n in range(4):
        add(Disc(f"quad{n}", f"QUAD_{n}", joliet_rr, files={
            f"disc{n}/data{k}.bin": content(f"quad-{n}-{k}", 2 * 1024 * 1024) for k in range(3)}))
    # Power cuts: many files, so that a cut can land early, inside a file or between files.
    add(Disc("multi", "MULTI_FILE", joliet_rr, files={
        f"file{k:02d}.bin": content(f"multi-{k}", 3 * 1024 * 1024) for k in range(8)}))
    # A door the guest keeps locked.
    add(Disc("locked", "LOCKED_DOOR", joliet_rr, files={
        "kept/one.txt": b"one\n", "kept/two.bin": content("locked-two", 500_000)}))
    # Joliet alone (no Rock Ridge): the Cyrillic names come from the Joliet tree, through the
    # mount's character set.
    add(Disc("dacha", "DACHA_2020", _genisoimage("-J", "-joliet-long", "-input-charset",
                                                  "utf-8"), files={
        "Фотографии/Первый день на даче.jpg": content("dacha-1", 200_000),
        "Фотографии/Вечер у реки.jpg": content("dacha-2", 150_000),
        "Список покупок.txt": "Хлеб, молоко, гвозди\n".encode(),
    }))
    # The performance figures: one large file.
    add(Disc("perf", "PERF_300", _genisoimage("-R", "-J"), files={
        "big.bin": large_content("perf-big", PERF_MB * 1024 * 1024)}))
    for disc in define_seek_discs():
        add(disc)
    return discs
