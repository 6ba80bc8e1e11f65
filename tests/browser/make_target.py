#!/usr/bin/env python3
"""Writes an archive's target folder as Dravolin leaves it after three discs: three BagIt bags
and archive-log.csv, laid out as the program writes them, so that `dravolin-archive verify` and
bagit-python find every bag valid.

usage: make_target.py TARGET
"""

import hashlib
import sys
from pathlib import Path

MAP_HEADING = "# Mapfile. Created by Dravolin\n# Source: /dev/sr0\n"
DRIVE = {"Dravolin-Drive": "E: /dev/sr0", "Dravolin-Drive-Model": "HL-DT-ST DVDRAM GH24NSD1",
         "Dravolin-Drive-Serial": "K9NF3HE2317"}

# What the tests look for: the disc whose bag holds the distinctive file, and that file.
DAMAGED_LABEL = "TAXES 2021"
DISTINCTIVE = "files/receipts/kvitanciya-2021-03.pdf"


def sha256(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()


def filler(name: str, size: int) -> bytes:
    """Bytes that differ from file to file, so that no two digests agree by accident."""
    seed = hashlib.sha256(name.encode()).digest()
    return (seed * (size // len(seed) + 1))[:size]


def map_text(blocks, progress):
    """A GNU ddrescue mapfile of (pos, size, status) blocks, as RescueMap's MapText writes it."""
    pos, phase = progress
    text = MAP_HEADING + "# current_pos  current_status  current_pass\n"
    text += f"0x{pos:08X}     {phase}               1\n#      pos        size  status\n"
    at = 0
    for start, size, state in blocks:
        assert start == at, "a map's blocks follow each other from 0"
        text += f"0x{start:08X}  0x{size:08X}  {state}\n"
        at = start + size
    return text


def unread(blocks):
    """The image's ranges the map does not hold as rescued, neighbours joined."""
    ranges = []
    for start, size, state in blocks:
        if state == "+":
            continue
        if ranges and ranges[-1][1] == start:
            ranges[-1][1] = start + size
        else:
            ranges.append([start, start + size])
    return ranges


def write_bag(target: Path, disc: dict) -> dict:
    """One bag; the disc's log row as the program would append it."""
    name = f"{disc['label']} {disc['start'][:10]} {disc['fingerprint']}"
    stopped = disc.get("stopped")
    payload = []  # (manifest path, bytes, damaged [begin, end) ranges)
    if "map" in disc:
        blocks, progress = disc["map"]
        extent = blocks[-1][0] + blocks[-1][1]
        mapfile = map_text(blocks, progress).encode()
        payload += [("data/image/disc.iso", filler(name, extent), unread(blocks)),
                    ("data/image/disc.map", mapfile, [])]
    payload += [(f"data/files/{path}", filler(path, size), damage)
                for path, size, damage in disc["files"]]
    damaged = [entry for entry in payload if entry[2]]
    incomplete = bool(damaged) or bool(stopped)
    name += " (incomplete)" if incomplete else ""

    bag = target / name
    for path, data, _ in payload:
        (bag / path).parent.mkdir(parents=True, exist_ok=True)
        (bag / path).write_bytes(data)
    size = sum(len(data) for _, data, _ in payload)
    info = {"Bagging-Date": disc["end"][:10], "Payload-Oxum": f"{size}.{len(payload)}",
            "External-Identifier": disc["label"], **DRIVE,
            "Dravolin-Volume-Label": disc["label"], "Dravolin-Fingerprint": disc["fingerprint"],
            "Dravolin-Disc-Identity": disc["identity"], "Dravolin-Started": disc["start"],
            "Dravolin-Result": "incomplete" if incomplete else "complete",
            "Dravolin-Damaged-Files": str(len(damaged))}
    info_lines = [f"{label}: {value}" for label, value in info.items()]
    if stopped:
        info_lines.append(f"Dravolin-Stopped: {stopped}")
    if "map" in disc:
        info_lines.append(f"Dravolin-Read: {disc['start']}, E: /dev/sr0 (HL-DT-ST DVDRAM GH24NSD1),"
                          f" {extent - sum(end - begin for begin, end in unread(blocks))}"
                          " bytes read")
    info_lines.append(f"Dravolin-Ended: {disc['end']}")
    tags = {"bagit.txt": "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n",
            "manifest-sha256.txt": "".join(f"{sha256(data)}  {path}\n"
                                           for path, data, _ in payload),
            "bag-info.txt": "".join(line + "\n" for line in info_lines)}
    if damaged:
        tags["damaged-files.txt"] = "".join(f"{path} {begin}-{end}\n" for path, _, ranges
                                            in damaged for begin, end in ranges)
    tags["tagmanifest-sha256.txt"] = "".join(f"{sha256(text.encode())}  {tag}\n"
                                             for tag, text in tags.items())
    for tag, text in tags.items():
        (bag / tag).write_text(text, encoding="utf-8", newline="\n")
    files = sum(1 for path, _, _ in payload if path.startswith("data/files/"))
    texts = [disc["start"], disc["end"], "E", disc["label"], disc["fingerprint"],
             disc["identity"], name]
    row = ",".join(f'"{text}"' for text in texts)
    row += f',{files},{size},{len(damaged)},"{info["Dravolin-Result"]}",""\r\n'
    return {"folder": name, "label": disc["label"], "row": row}


DISCS = [
    {"label": "HOLIDAY 2019", "fingerprint": "1a2b3c4d", "identity": sha256(b"holiday"),
     "start": "2026-12-08T14:03:11+01:00", "end": "2026-12-08T14:05:40+01:00",
     "files": [("IMG_0001.JPG", 48213, []), ("IMG_0002.JPG", 51977, []),
               ("docs/report.txt", 1207, []), ("docs/Маршрут поездки.txt", 640, [])]},
    {"label": DAMAGED_LABEL, "fingerprint": "5e6f7a8b", "identity": sha256(b"taxes"),
     "start": "2026-12-08T14:09:02+01:00", "end": "2026-12-08T14:31:55+01:00",
     "map": ([(0x00000, 0x20000, "+"), (0x20000, 0x01000, "-"), (0x21000, 0x3F000, "+"),
              (0x60000, 0x08000, "*"), (0x68000, 0x02000, "/"), (0x6A000, 0x00800, "-"),
              (0x6A800, 0x2B800, "+")], (0, "+")),
     "files": [(DISTINCTIVE.removeprefix("files/"), 73402, []),
               ("receipts/receipt-2021-04.txt", 2310, []),
               ("scans/page-04.jpg", 130211, [(65536, 69632)]),
               ("declaration 2021.xml", 18890, [])]},
    {"label": "BACKUP 07", "fingerprint": "0c0d0e0f", "identity": sha256(b"backup"),
     "start": "2026-12-09T09:12:45+01:00", "end": "2026-12-09T09:42:45+01:00",
     "stopped": "the disc's time budget was spent before the whole disc was read; "
                "the image's map says which sectors were not",
     "map": ([(0x00000, 0x30000, "+"), (0x30000, 0x00800, "-"), (0x30800, 0x0F800, "+"),
              (0x40000, 0x24000, "?")], (0x40000, "?")),
     "files": [("backup/notes.txt", 5120, []), ("backup/archive.zip", 90000, [(40960, 90000)])]},
]


def make_target(target: Path) -> list:
    """The bags' folders and labels, in the order of the log."""
    target.mkdir(parents=True, exist_ok=True)
    bags = [write_bag(target, disc) for disc in DISCS]
    header = "start,end,drive,label,fingerprint,disc identity,bag folder,files,bytes," \
             "damaged files,result,note\r\n"
    log = "\ufeff" + header + "".join(bag["row"] for bag in bags)
    (target / "archive-log.csv").write_bytes(log.encode("utf-8"))
    return bags


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    for made in make_target(Path(sys.argv[1])):
        print(made["folder"])
