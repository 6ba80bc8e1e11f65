#!/usr/bin/env python3
"""Archive mode attacked through the real dravolin-archive, on folder sources:

  kills        a run killed (SIGKILL) or interrupted (SIGTERM, SIGINT) at a random moment, then
               run again to its end;
  concurrent   several runs of the same source into the same target at once;
  full         the target a small tmpfs, from too small for anything to almost large enough.

After every run the target must hold only valid bags (every listed file there with its digest,
every payload file listed, the tag manifest right, Payload-Oxum true), a log whose every line is
a whole row ending in CR LF, and, once a run ended on its own, one complete bag of the source,
nothing of ours left hidden but the claims file, and a full disk must leave what fit in a bag.
Every bag is also validated by bagit-python (tests/third_party). Prints the counts; exit 1 when
any check failed. Needs root for the tmpfs mounts (full).

  archive_attack.py --program build/dev/platform/cli/dravolin-archive [--kills N]
                    [--concurrent N] [--full N] [--seed S]
"""

import argparse
import csv
import hashlib
import io
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

LOG = "archive-log.csv"
COLUMNS = 11
CLAIMS = ".dravolin-claims"
BAGIT = Path(__file__).resolve().parent.parent / "third_party" / "bagit-python" / "validate.py"


# Names the manifests must encode or the bag must rename: a percent sign, a line break,
# Cyrillic, bytes that are no UTF-8. (A '%' before two hexadecimal digits is the one name that
# BagIt's readers read apart, as the manual page says: bagit-python would refuse it.)
ODD_NAMES = ["100% per cent.txt", "line\nbreak.txt", "Отчёт за год.txt",
             os.fsdecode(b"latin-1 \xe9t\xe9.txt")]


def make_source(root: Path, rng: random.Random, files: int, size: int):
    for i in range(files):
        path = root / f"folder {i % 7}" / f"file {i:04d}.bin"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(rng.randbytes(rng.randint(1, size)))
    for name in ODD_NAMES:
        (root / name).write_bytes(rng.randbytes(100))


def sha256(path: Path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def manifest(bag: Path, name: str):
    lines = (bag / name).read_text(encoding="utf-8").splitlines()
    return {line[66:].replace("%0D", "\r").replace("%0A", "\n").replace("%25", "%"): line[:64]
            for line in lines}


def bag_problems(bag: Path):
    """What makes this folder no valid bag; the bag's result word ("complete"/"incomplete")."""
    problems = []
    try:
        payload = manifest(bag, "manifest-sha256.txt")
        tags = manifest(bag, "tagmanifest-sha256.txt")
        info = (bag / "bag-info.txt").read_text(encoding="utf-8")
        (bag / "bagit.txt").read_text(encoding="utf-8")
    except (OSError, ValueError) as error:
        return [f"{bag.name}: {error}"]
    for rel, digest in list(payload.items()) + list(tags.items()):
        path = bag / rel
        if not path.is_file() or sha256(path) != digest:
            problems.append(f"{bag.name}: {rel} missing or not as its manifest says")
    present = {str(p.relative_to(bag)) for p in (bag / "data").rglob("*") if p.is_file()}
    if present != set(payload):
        problems.append(f"{bag.name}: payload files not listed: {sorted(present - set(payload))[:3]}")
    oxum = next((line.split(": ", 1)[1] for line in info.splitlines()
                 if line.startswith("Payload-Oxum: ")), "")
    size = sum((bag / rel).stat().st_size for rel in payload if (bag / rel).is_file())
    if oxum != f"{size}.{len(payload)}":
        problems.append(f"{bag.name}: Payload-Oxum {oxum!r}, the payload {size}.{len(payload)}")
    said = subprocess.run([sys.executable, "-B", str(BAGIT), str(bag)], capture_output=True,
                          text=True)
    if said.returncode != 0:
        problems.append(f"{bag.name}: bagit-python: {said.stderr.strip()[-300:]}")
    return problems


def log_rows(target: Path):
    """The log's rows and its problems: a torn or foreign line, a missing line end."""
    path = target / LOG
    if not path.exists():
        return [], []
    text = path.read_bytes().decode("utf-8-sig")
    if text and not text.endswith("\r\n"):
        return [], [f"the log ends in a torn line: {text[-80:]!r}"]
    rows = list(csv.reader(io.StringIO(text, newline="")))[1:]
    torn = [r for r in rows if len(r) != COLUMNS]
    return rows, [f"a log line is no row: {r}" for r in torn[:3]]


def target_problems(target: Path, ended: bool):
    """Every visible folder a valid bag, the log whole; after a run that ended on its own also
    one complete bag and nothing of ours hidden but the claims file."""
    problems, complete = [], 0
    if not target.exists():
        return problems
    for entry in target.iterdir():
        if entry.name.startswith("."):
            if ended and entry.name != CLAIMS:
                problems.append(f"left behind: {entry.name}")
            continue
        if entry.is_dir():
            problems += bag_problems(entry)
            info = entry / "bag-info.txt"
            complete += info.is_file() and "Dravolin-Result: complete\n" in info.read_text(
                encoding="utf-8", errors="replace")
    rows, log_problems = log_rows(target)
    problems += log_problems
    if ended and complete != 1:
        problems.append(f"{complete} complete bags of the one source")
    return problems


def run(program: Path, source: Path, target: Path, **kwargs):
    return subprocess.Popen([str(program), str(source), str(target)], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, **kwargs)


def kills(args, rng, source, work):
    started = time.monotonic()
    full_run = run(args.program, source, work / "timing")
    full_run.communicate()
    whole = time.monotonic() - started
    signals = [signal.SIGKILL, signal.SIGTERM, signal.SIGINT]
    counts, problems = {}, []
    for round_ in range(args.kills):
        target = work / f"kill-{round_}"
        sig = signals[round_ % len(signals)]
        process = run(args.program, source, target)
        time.sleep(rng.uniform(0, whole * 1.1))
        process.send_signal(sig)
        process.communicate()
        found = target_problems(target, ended=False)
        finished = run(args.program, source, target)
        _, err = finished.communicate()
        if finished.returncode != 0:
            found.append(f"the run after it ended {finished.returncode}: {err[-300:]!r}")
        found += target_problems(target, ended=True)
        key = f"{sig.name} exit {process.returncode}"
        counts[key] = counts.get(key, 0) + 1
        problems += [f"round {round_} ({sig.name} after its start): {p}" for p in found]
        shutil.rmtree(target)
    return counts, problems, f"a whole run takes {whole:.2f} s"


def concurrent(args, rng, source, work):
    counts, problems = {}, []
    for round_ in range(args.concurrent):
        target = work / f"together-{round_}"
        processes = [run(args.program, source, target) for _ in range(rng.randint(2, 4))]
        codes = [p.wait() for p in processes]
        for p in processes:
            p.stderr.close()
        rows, _ = log_rows(target)
        words = sorted(r[COLUMNS - 1] for r in rows)
        counts[" + ".join(words)] = counts.get(" + ".join(words), 0) + 1
        found = target_problems(target, ended=True)
        if any(codes):
            found.append(f"exit codes {codes}")
        problems += [f"round {round_}: {p}" for p in found]
        shutil.rmtree(target)
    return counts, problems, ""


def full(args, rng, source, work):
    total = sum(p.stat().st_size for p in source.rglob("*") if p.is_file())
    counts, problems = {}, []
    mount = work / "full"
    mount.mkdir()
    for round_ in range(args.full):
        size = max(64 * 1024, int(total * rng.uniform(0.01, 1.0)) // 4096 * 4096)
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(mount)],
                       check=True)
        try:
            target = mount / "archive"
            process = run(args.program, source, target)
            _, err = process.communicate()
            found = target_problems(target, ended=False)
            bags = [e for e in target.iterdir() if e.is_dir() and not e.name.startswith(".")] \
                if target.exists() else []
            kept = sum(1 for b in bags for p in (b / "data").rglob("*") if p.is_file())
            if process.returncode == 4 and not bags and size > 1024 * 1024:
                found.append(f"the disk of {size} bytes filled and no bag is left")
            counts[f"exit {process.returncode}, {'a bag' if bags else 'no bag'}"] = counts.get(
                f"exit {process.returncode}, {'a bag' if bags else 'no bag'}", 0) + 1
            problems += [f"round {round_} ({size} bytes, {kept} files kept): {p}" for p in found]
        finally:
            subprocess.run(["umount", str(mount)], check=True)
    return counts, problems, f"the source holds {total} bytes"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", type=Path, required=True)
    parser.add_argument("--kills", type=int, default=60)
    parser.add_argument("--concurrent", type=int, default=20)
    parser.add_argument("--full", type=int, default=20)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    args.program = args.program.resolve()
    rng = random.Random(args.seed)
    failed = False
    with tempfile.TemporaryDirectory(prefix="archive-attack-") as folder:
        work = Path(folder)
        source = work / "source"
        make_source(source, rng, files=300, size=96 * 1024)
        for name, attack in (("kills", kills), ("concurrent", concurrent), ("full", full)):
            if getattr(args, name) == 0:
                continue
            counts, problems, note = attack(args, rng, source, work)
            print(f"{name}: {getattr(args, name)} rounds, {len(problems)} problems; {note}")
            for key, count in sorted(counts.items()):
                print(f"    {count:4d}  {key}")
            for problem in problems[:20]:
                print(f"    PROBLEM {problem}")
            failed |= bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
