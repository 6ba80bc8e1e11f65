"""What the two suites in the Debian guest share: the Qt program's (qtsuite.py) and
Dravolin.exe's under Wine (winesuite.py). Their command line, the guest they boot (kernel, root
image, discs, first stage, run folder), waiting for the dialog's rows, and each scenario's
outcome with the closing report.
"""

import argparse
import json
import re
import shutil
import time
from dataclasses import dataclass
from pathlib import Path

import artifacts
import debian
import discs as disc_tools
from guest import CheckFailed

TICK = 1.5  # the poll timer's period, in seconds
# The status column's texts, by state.
STATUS = {"Idle": " ", "Ejecting": "Disc ejecting", "Waiting": "Waiting for new disc",
          "Copying": "Disc copying"}


def log(text):
    print(text, flush=True)


# --- the command line ---

def options(*programs):
    """--cache, a path for each of `programs` ((option, help) each, all required), and the
    scenarios to run: --only and --skip, each a part of a scenario's name, as often as
    wanted."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--cache", type=Path, required=True)
    for option, text in programs:
        parser.add_argument(option, type=Path, required=True, help=text)
    parser.add_argument("--only", action="append", default=[],
                        help="run only the scenarios whose name contains this")
    parser.add_argument("--skip", action="append", default=[],
                        help="leave out the scenarios whose name contains this")
    args = parser.parse_args()
    args.cache = args.cache.resolve()
    return args


def skipped(args, name):
    return any(o in name for o in args.skip)


def chosen(args, name):
    """Whether the scenario of that name runs."""
    return not skipped(args, name) and (not args.only or any(o in name for o in args.only))


# --- the guest ---

@dataclass
class GuestFiles:
    kernel: Path
    image: Path
    image_seconds: float  # None when the image came from the cache
    stage1: Path


def build_guest(args, discs, payload, log):
    """The guest's kernel, its root image with the packages of args.program's libraries, the
    discs mastered, and the first stage carrying the test files every boot carries and
    `payload` (a path on the guest's root -> (bytes, mode)). Each is taken from the cache when
    it is there; artifacts.BuildError when one cannot be built."""
    with artifacts.cache_lock(args.cache):
        kernel, modules_dir = artifacts.fetch_kernel(args.cache)
        packages = (debian.read_packages(debian.DEBIAN / "packages")
                    + debian.program_packages(args.program))
        helper = debian.layout_helper(args.program)
        if helper:
            packages += debian.program_packages(helper)
        image, image_seconds = debian.build_image(args.cache, modules_dir, packages, log)
        # Not the busybox suite's discs/: some of its discs have the same names.
        disc_tools.master(discs, args.cache / "desktop-discs")
        stage1 = debian.build_stage1(args.cache, modules_dir, debian.guest_payload(payload))
    return GuestFiles(kernel, image, image_seconds, stage1)


def made(seconds):
    """How a cached thing was had: built, in that many seconds, or None from the cache."""
    return f"built in {seconds:.0f} s" if seconds else "from the cache"


def run_folder(folder: Path, programs, helpers=()):
    """A fresh run folder under `folder` whose share/bin/ holds `programs` (name -> the file
    to copy there) and share/libexec/dravolin/ the `helpers` they start, and an empty
    screenshot folder beside it: (run folder, screenshots)."""
    run_dir = folder / "run"
    shutil.rmtree(run_dir, ignore_errors=True)
    (run_dir / "share" / "bin").mkdir(parents=True)
    for name, source in programs.items():
        shutil.copy2(source, run_dir / "share" / "bin" / name)
    for helper in helpers:
        (run_dir / "share" / "libexec" / "dravolin").mkdir(parents=True, exist_ok=True)
        shutil.copy2(helper, run_dir / "share" / "libexec" / "dravolin" / helper.name)
    shots = folder / "screenshots"
    shutil.rmtree(shots, ignore_errors=True)
    return run_dir, shots


# --- the dialog's rows ---

class DialogRows:
    """Waiting until the dialog's rows show something, for a program driver that reads them:
    its rows() gives the rows in order, row_of(rows, letter) a drive's row among them (None when
    there is none) and shown(row) what the row shows: (text, status, checked)."""

    def wait_rows(self, predicate, timeout, what, interval=0.3):
        deadline = time.monotonic() + timeout
        while True:
            rows = self.rows()
            if predicate(rows):
                return rows
            if time.monotonic() > deadline:
                raise CheckFailed(f"the dialog never showed {what} within {timeout} s; it "
                                  f"shows {[self.shown(r) for r in rows]}")
            time.sleep(interval)

    def wait_dialog(self, timeout):
        self.wait_rows(lambda rows: len(rows) > 0, timeout, "the dialog with its drives")

    def wait_status(self, letter, state, timeout=60, checked=None):
        text = STATUS[state]

        def showing(rows):
            row = self.row_of(rows, letter)
            return (row is not None and self.shown(row)[1] == text
                    and (checked is None or self.shown(row)[2] == checked))
        self.wait_rows(showing, timeout, f"drive {letter} as \"{text}\"")

    def wait_checked(self, letter, checked, timeout):
        def showing(rows):
            row = self.row_of(rows, letter)
            return row is not None and self.shown(row)[2] == checked
        self.wait_rows(showing, timeout,
                       f"drive {letter} {'ticked' if checked else 'unticked'}")


# --- scenarios and their outcomes ---

def record(results, log, name, seconds, outcome):
    """Keeps a scenario's outcome ("ok", or "FAIL " and why) for the closing report, and says
    it."""
    results.append((name, seconds, outcome))
    log(f"  {'ok  ' if outcome == 'ok' else 'FAIL'} {name} ({seconds:.1f} s)"
        + ("" if outcome == "ok" else "\n       " + outcome[5:].replace("\n", "\n       ")))


def failure_shot(program, name):
    """The screen at the moment a scenario failed: a help, never the verdict."""
    program.shot("failed-" + re.sub(r"\W+", "-", name)[:40].strip("-"))


class SuiteRun:
    """What a suite's scenarios stand on: the guest's machine and agent, the discs, and what
    the closing report gives, each scenario's outcome and the figures. A suite's run has all(),
    its scenarios as (name, method), and step(name, method), which runs one."""

    def __init__(self, boot, discs, log):
        self.boot = boot
        self.m = boot.machine
        self.agent = boot.agent
        self.discs = discs
        self.log = log
        self.results = []  # (name, seconds, outcome)
        self.figures = {}  # scenario -> lines for the closing report

    def record(self, name, seconds, outcome):
        record(self.results, self.log, name, seconds, outcome)

    def run_chosen(self, args):
        """The scenarios the command line chose, in order."""
        for name, scenario in self.all():
            if skipped(args, name):
                self.log(f"  --  {name}: left out (--skip)")
            elif chosen(args, name):
                self.step(name, scenario)

    def target_files(self, folder):
        """{relative path: [sha256, size]} and the entries that are not regular files."""
        out = self.agent.run(["python3", "-B", "/opt/guest/treesum.py", folder])["out"]
        report = json.loads(out)
        return report["files"], report["others"]


def report(run, log, started, built, where):
    """The end of a suite in this guest: every figure, where to look (`where`), the count and
    the times; the exit code, 1 when any scenario failed."""
    failed = [r for r in run.results if r[2] != "ok"]
    for name, lines in run.figures.items():
        log(f"{name}:")
        for line in lines:
            log(f"    {line}")
    total = time.monotonic() - started
    log(where)
    log(f"{len(run.results) - len(failed)} passed, {len(failed)} failed "
        f"({total:.1f} s in all, {total - (built - started):.1f} s in the guest)")
    return 1 if failed else 0
