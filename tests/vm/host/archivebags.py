"""What an archive-mode run leaves in its target folder, judged the same way for every program
that makes it (the Qt dialog, Dravolin.exe under Wine): the log's rows against the discs, each
bag against its disc, the damaged ranges against the injected ones."""

import csv
import hashlib
import io
import re
import shlex

from desktopdiscs import SCRATCHED_FILE
from guest import CheckFailed

USER = "user"
LOG = "archive-log.csv"
# Where each run claims the disc it archives, so that the same disc in two drives is bagged once.
CLAIMS = ".dravolin-claims"
INDEX_PAGE = "index.html"
FILES = "data/files"  # where a bag keeps the disc's files
IMAGE = "data/image"  # and the disc's image with its map, when it was read into one
COLUMNS = ["start", "end", "drive", "label", "fingerprint", "disc identity", "bag folder", "files",
           "bytes", "damaged files", "result", "note"]
DISC_MINUTES = 1  # the smallest time budget the command line takes
# The scratched file's unreadable sectors, counted from its start: two in one page, one on a page
# of its own, one in the second half of a page (the kernel reads a file in 4 KiB pages).
SCRATCHED_AT = (20, 21, 80, 121)
STEP = 32 * 1024  # the copy's recovery step
SECTOR = 2048
PAGE = 4096
MIB = 1 << 20
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


def sector_damage(size, bad_sectors):
    """The byte ranges of a file of `size` bytes listed as damaged when it is taken out of an
    image whose sectors `bad_sectors` (from the file's start) could not be read: exactly those
    sectors, adjacent ones joined, the last cut at the file's end."""
    ranges = []
    for sector in sorted(bad_sectors):
        begin, end = sector * SECTOR, min(size, (sector + 1) * SECTOR)
        if ranges and ranges[-1][1] == begin:
            ranges[-1][1] = end
        elif begin < size:
            ranges.append([begin, end])
    return [tuple(r) for r in ranges]


def damaged_list(text):
    """damaged-files.txt as {path: [(begin, end)]}."""
    listed = {}
    for line in text.splitlines():
        path, _, span = line.rpartition(" ")
        listed.setdefault(path, []).append(tuple(int(n) for n in span.split("-")))
    return listed


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


class BagChecks:
    """For a suite run (agent, discs, target_files) that archives the desktop discs."""

    def judge_target(self, target, loaded, results, ordered, problems):
        """The target folder after a stack of discs: `loaded` [(drive, disc)] in the order
        loaded, `results` {(drive, disc): what its first time gives}; a disc loaded again after
        a complete bag is "already archived", after another result is bagged anew. The rows of
        drive `ordered` come in its order, the others anywhere. Every row and bag is checked;
        what is wrong goes to `problems`. Returns (rows, {label: its complete bag}, the
        scratched file's damage as listed and as expected)."""
        rows, log_problems = parse_log(self.agent.read(f"{target}/{LOG}"))
        problems += log_problems
        wanted = []  # (drive, disc, result), in the order of the log
        for drive, disc in loaded:
            before = [r for _, d, r in wanted if d == disc]
            result = ("already archived" if "complete" in before
                      else "complete" if before else results[(drive, disc)])
            wanted.append((drive, disc, result))
        got = [(r["drive"], r["label"], r["result"]) for r in rows]
        want = [(drive, self.discs[disc].label, result) for drive, disc, result in wanted]
        if sorted(got) != sorted(want) or [g for g in got if g[0] == ordered] != \
                [w for w in want if w[0] == ordered]:
            problems.append(f"the log's rows (drive, label, result) are {got}, not {want}")
            raise CheckFailed("\n    ".join(problems))

        listing = set(filter(None, self.agent.sh(f"ls -1A '{target}'", user=USER)
                             .split("\n")))
        bags = {}  # bag folder -> (row, disc)
        by_label = {}  # label -> the folder of its complete bag
        # A bag a later read of its disc carried on from was replaced by that read's.
        replaced = {r["note"].removeprefix("read on from ").rsplit(": ", 1)[0] for r in rows
                    if r["note"].startswith("read on from ")}
        for row in rows:
            if row["bag folder"] in replaced:
                continue
            disc = next(d for drv, d, res in wanted
                        if drv == row["drive"] and self.discs[d].label == row["label"]
                        and res == row["result"])
            image = self.image_files(f"{target}/{row['bag folder']}") \
                if row["bag folder"] else {}
            problems += self.check_row(row, disc, listing, bags, by_label,
                                       sum(size for _, size in image.values()))
        if INDEX_PAGE not in listing:
            problems.append(f"the target has no {INDEX_PAGE}")
        extra = listing - set(bags) - {LOG, CLAIMS, INDEX_PAGE}
        if extra:
            problems.append(f"the target holds more than the bags and the log: {sorted(extra)}")
        damage = {}
        for name, (row, disc) in bags.items():
            problems += self.check_bag(f"{target}/{name}", row, disc, damage)
        return rows, by_label, damage

    def image_files(self, bag):
        """{path under the bag: [sha256, size]} of the image and map in a bag's data/image/."""
        exists = self.agent.run(["test", "-d", f"{bag}/{IMAGE}"], check=False)["rc"] == 0
        files = self.target_files(f"{bag}/{IMAGE}")[0] if exists else {}
        return {f"{IMAGE}/{p}": v for p, v in files.items()}

    def check_row(self, row, disc, listing, bags, by_label, image_bytes=0):
        """One log row against the disc it stands for (its bytes counting the bag's image and
        map, `image_bytes`); records its bag."""
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
        if not re.fullmatch(r"[0-9a-f]{64}", row.get("disc identity", "")):
            problems.append(f"{what}: disc identity {row.get('disc identity')!r}")
        if row["result"] == "already archived":
            if name or row["files"] != "0":
                problems.append(f"{what}: names a bag or files: {row}")
            first = bags.get(by_label.get(row["label"]), ({}, None))[0]
            for column in ("fingerprint", "disc identity"):
                if row[column] != first.get(column):
                    problems.append(f"{what}: {column} {row[column]} differs from the "
                                    f"first time's {first.get(column)}")
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
        count, size = len(files), sum(len(d) for d in files.values()) + image_bytes
        # Read into an image, the image is a damaged file too, and a disc the budget stopped
        # has every file, those it did not read damaged; copied from the disc, it has those it
        # had time for.
        damaged = (1 + bool(image_bytes)) if disc == "manual" and row["result"] == "incomplete" \
            else 0
        budget = disc == "archive"
        if budget and image_bytes:
            wrong = row["files"] != str(count) or not 1 < int(row["damaged files"]) <= count
        elif budget:
            wrong = not 0 < int(row["files"]) < count or row["damaged files"] != "0"
        else:
            wrong = (row["files"], row["bytes"], row["damaged files"]) != \
                (str(count), str(size), str(damaged))
        if wrong:
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
        manifest, image_listed = {}, {}
        for line in self.agent.read(f"{path}/manifest-sha256.txt").decode().splitlines():
            digest, _, rel = line.partition("  ")
            if rel.startswith(f"{IMAGE}/"):
                image_listed[rel] = digest
            else:
                manifest[rel.removeprefix(f"{FILES}/")] = digest
        image = self.image_files(path)
        if image_listed != {p: d for p, (d, _) in image.items()}:
            problems.append(f"{name}: the manifest lists the image as {image_listed}, "
                            f"{IMAGE}/ holds {image}")
        info = dict(line.split(": ", 1) for line in
                    self.agent.read(f"{path}/bag-info.txt").decode().splitlines())
        files, others = self.target_files(f"{path}/{FILES}")
        disc_files = self.discs[disc].files
        expected = self.discs[disc].expected()
        wanted_tags = {"bagit.txt", "bag-info.txt", "manifest-sha256.txt",
                       "tagmanifest-sha256.txt", "data"}
        damaged = {}
        if "damaged-files.txt" in tags:
            wanted_tags.add("damaged-files.txt")
            damaged = damaged_list(self.agent.read(f"{path}/damaged-files.txt").decode())
            # A file's bytes are the disc's but for zeros where the list says.
            for rel, ranges in damaged.items():
                if rel.startswith(f"{FILES}/"):
                    zeroed = bytearray(disc_files[rel.removeprefix(f"{FILES}/")])
                    for begin, end in ranges:
                        zeroed[begin:end] = bytes(end - begin)
                    expected[rel.removeprefix(f"{FILES}/")] = hashlib.sha256(zeroed).hexdigest()
        if disc == "manual" and row["result"] == "incomplete":
            data = disc_files[SCRATCHED_FILE]
            ranges = sector_damage(len(data), SCRATCHED_AT) if image \
                else expected_damage(len(data), SCRATCHED_AT)
            listed = damaged.get(f"{FILES}/{SCRATCHED_FILE}")
            damage.update(listed=listed, expected=ranges)
            if set(damaged) != {f"{FILES}/{SCRATCHED_FILE}"} | {p for p in image if
                                                                 p.endswith(".iso")} \
                    or listed != ranges:
                problems.append(f"{name}: damaged-files.txt says {damaged}; expected "
                                f"{FILES}/{SCRATCHED_FILE} {ranges}")
        elif damaged and disc != "archive":
            problems.append(f"{name}: damaged-files.txt says {damaged}")
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
            problems.append(f"{name}: the manifest lists {sorted(manifest)}, {FILES}/ holds "
                            f"{sorted(payload)}")
        oxum = (f"{sum(size for _, size in [*files.values(), *image.values()])}."
                f"{len(files) + len(image)}")
        result = "incomplete" if name.endswith(" (incomplete)") else "complete"
        if info.get("Payload-Oxum") != oxum or info.get("Dravolin-Result") != result \
                or info.get("External-Identifier") != row["label"] \
                or info.get("Dravolin-Disc-Identity") != row["disc identity"]:
            problems.append(f"{name}: bag-info.txt says {info} (payload {oxum})")
        return problems
