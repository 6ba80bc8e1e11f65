"""The test discs: source trees written on the host, mastered into ISO images, cached.

Every disc knows the files a complete copy of it must produce (relative path -> SHA-256), so
the host can check what the guest reports about its target folder.
"""

import hashlib
import inspect
import json
import os
import random
import shutil
import subprocess
from dataclasses import dataclass, field
from pathlib import Path

from artifacts import BuildError

# Bumped whenever a disc's definition changes, so cached images are remastered.
DISC_VERSION = 4


def content(seed: str, size: int) -> bytes:
    return random.Random(seed).randbytes(size)


@dataclass
class Disc:
    name: str
    label: str
    tool: list  # the mastering command's options, before "-o"
    files: dict = field(default_factory=dict)  # relative path -> bytes
    folders: list = field(default_factory=list)  # extra, empty folders
    links: dict = field(default_factory=dict)  # relative path -> link target
    devices: list = field(default_factory=list)  # relative paths of character devices
    fifos: list = field(default_factory=list)
    raw: bytes = None  # an image that is not a file system at all
    patch: object = None  # edits the mastered image (a bytearray) in place: hostile discs
    # Lays the files' data out in an order unrelated to their names: genisoimage's -sort with
    # weights shuffled by this seed.
    sort_seed: str = None
    # Made by a scenario in a guest (a UDF disc written through the kernel's driver): master()
    # only names its image.
    guest_made: bool = False
    iso: Path = None

    def expected(self):
        """Relative path -> SHA-256 of every file a complete copy produces."""
        return {path: hashlib.sha256(data).hexdigest() for path, data in self.files.items()}

    def fingerprint(self):
        h = hashlib.sha256(json.dumps([DISC_VERSION, self.label, self.tool, sorted(self.links.items()),
                                       self.devices, self.fifos, self.folders]
                                      + ([self.sort_seed] if self.sort_seed else [])
                                      + (["guest"] if self.guest_made else [])).encode())
        for path in sorted(self.files):
            h.update(path.encode())
            h.update(self.files[path])
        if self.raw is not None:
            h.update(self.raw)
        if self.patch is not None:
            h.update(inspect.getsource(self.patch).encode())
        return h.hexdigest()[:16]


def _genisoimage(*options):
    return ["genisoimage", "-quiet", *options]


def large_disc(large_mb=24):
    """Large enough, slowed down, to see its copy under way: one big file, a small one after."""
    return Disc("large", "LARGE", _genisoimage("-R", "-J"),
                files={
                    "big.bin": content("large-big", large_mb * 1024 * 1024),
                    "after/small.txt": b"copied after the big file\n",
                })


def define_discs(large_mb=24):
    """Every disc the scenarios use, by name."""
    discs = {}

    def add(disc):
        discs[disc.name] = disc
        return disc

    # Joliet only: long, mixed-case and non-ASCII names come from the Joliet tree.
    add(Disc("joliet", "JOLIET1", _genisoimage("-J", "-joliet-long", "-input-charset", "utf-8"),
             files={
                 "Read Me First.txt": b"Joliet names keep their case and blanks.\n",
                 "Документы/Отчёт за год.txt": content("joliet-ru", 3000),
                 "Mixed Case Folder/Second Level/data file.bin": content("joliet-bin", 70000),
             }))
    # Rock Ridge: POSIX names and a deep tree.
    deep = "/".join(f"level{i}" for i in range(1, 10))
    # Mastered by xorriso rather than genisoimage: a second writer's Rock Ridge.
    add(Disc("rockridge", "ROCKRIDGE", ["xorriso", "-as", "mkisofs", "-quiet", "-R"],
             files={
                 "lowercase.name.with.dots.txt": b"rock ridge keeps this name\n",
                 f"{deep}/deepest file.txt": b"nine folders down\n",
                 "nested/a/one.bin": content("rr-one", 5000),
                 "nested/a/b/two.bin": content("rr-two", 12000),
                 "nested/c/three.bin": content("rr-three", 1),
                 "zero length": b"",
             },
             folders=["empty folder", "nested/empty inside"]))
    add(large_disc(large_mb))
    add(Disc("udf", "UDF_DISC", _genisoimage("-udf", "-R", "-J"),
             files={
                 "UDF Folder/File One.txt": b"a file read through the UDF tree\n",
                 "UDF Folder/inner/two.bin": content("udf-two", 40000),
             }))
    # Three discs with the same names and different contents.
    for suffix, serial_seed in (("a", 1), ("b", 2), ("c", 3)):
        add(Disc(f"names-{suffix}", f"NAMES_{suffix.upper()}", _genisoimage("-R", "-J"),
                 files={
                     "same.txt": f"disc {suffix}\n".encode(),
                     "shared/inner.bin": content(f"names-{suffix}", 2000 + serial_seed),
                     f"only-on-{suffix}.txt": f"unique to {suffix}\n".encode(),
                 }))
    # Links that lead out of the disc and special files: never copied as such.
    add(Disc("special", "SPECIAL", _genisoimage("-R"),
             files={"regular.txt": b"the only regular file\n", "dir/kept.txt": b"kept\n"},
             links={"escape-abs": "/tmp/escaped", "escape-rel": "../../../../../../tmp/escaped",
                    "dir/up": "..", "dir/root": "/", "dangling": "does/not/exist"},
             devices=["dir/null-device"], fifos=["a-fifo"]))
    add(Disc("empty", "EMPTY", _genisoimage("-R", "-J")))
    # No file system at all: what a blank or unreadable disc looks like to a mount.
    add(Disc("blank", "", [], raw=bytes(2 * 1024 * 1024)))
    return discs


def _write_tree(disc: Disc, root: Path):
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir(parents=True)
    for rel, data in disc.files.items():
        path = root / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    for rel in disc.folders:
        (root / rel).mkdir(parents=True, exist_ok=True)
    for rel, target in disc.links.items():
        (root / rel).parent.mkdir(parents=True, exist_ok=True)
        os.symlink(target, root / rel)
    for rel in disc.devices:
        (root / rel).parent.mkdir(parents=True, exist_ok=True)
        try:
            os.mknod(root / rel, 0o666 | 0o020000, os.makedev(1, 3))
        except PermissionError as error:
            raise BuildError("creating a device node for the special disc needs root") from error
    for rel in disc.fifos:
        os.mkfifo(root / rel)


def _sort_file(disc: Disc, tree: Path):
    """genisoimage's sort weights for every file of the tree, shuffled: the higher weight
    lies nearer the start of the disc."""
    paths = sorted(disc.files)
    weights = list(range(1, len(paths) + 1))
    random.Random(disc.sort_seed).shuffle(weights)
    sort = tree.with_suffix(".sort")
    sort.write_text("".join(f"{tree / p} {w}\n" for p, w in zip(paths, weights)))
    return sort


def master(discs, folder: Path):
    """Writes each disc's image into `folder` unless an image of the same definition is
    there; sets disc.iso. A suite whose discs share names with another's but differ keeps them
    in a folder of its own: each would remove the other's as stale."""
    folder.mkdir(parents=True, exist_ok=True)
    for disc in discs.values():
        iso = folder / f"{disc.name}-{disc.fingerprint()}.iso"
        disc.iso = iso
        if iso.exists() or disc.guest_made:
            continue
        for old in folder.glob(f"{disc.name}-*.iso"):
            old.unlink()
        tmp = iso.with_suffix(".tmp")
        if disc.raw is not None:
            tmp.write_bytes(disc.raw)
        else:
            tree = folder / f"{disc.name}.tree"
            _write_tree(disc, tree)
            cmd = [*disc.tool, "-V", disc.label, "-o", str(tmp), str(tree)]
            if disc.sort_seed:
                cmd[len(disc.tool):len(disc.tool)] = ["-sort", str(_sort_file(disc, tree))]
            result = subprocess.run(cmd, capture_output=True, text=True)
            shutil.rmtree(tree, ignore_errors=True)
            tree.with_suffix(".sort").unlink(missing_ok=True)
            if result.returncode != 0:
                raise BuildError(f"{' '.join(cmd)} failed:\n{result.stderr}")
            if disc.patch is not None:
                image = bytearray(tmp.read_bytes())
                disc.patch(image)
                tmp.write_bytes(image)
        os.replace(tmp, iso)
