#!/usr/bin/env python3
"""Real-drive tests: boots a QEMU guest with two emulated ATAPI CD drives, runs the copy cycle
in it on real discs, changes and ejects discs through the monitor, and checks what arrives.

Usage: vmtest.py --cache DIR --guest PROGRAM
Exit code 0 when every scenario passed; 1 with the reason otherwise (QEMU missing or failing to
start included: the suite never passes without having run).
"""

import argparse
import sys
import time
from pathlib import Path

import artifacts
import discs
from guest import CheckFailed, Guest
from machine import Machine, MachineError
from scenarios import POLL_MS, Run

HERE = Path(__file__).resolve().parent


def log(text):
    print(text, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cache", type=Path, required=True)
    parser.add_argument("--guest", type=Path, required=True, help="the static guest program")
    args = parser.parse_args()
    cache = args.cache.resolve()
    cache.mkdir(parents=True, exist_ok=True)
    started = time.monotonic()

    try:
        with artifacts.cache_lock(cache):
            vmlinuz, modules_dir = artifacts.fetch_kernel(cache)
            initramfs, modules = artifacts.build_initramfs(
                cache, modules_dir, HERE.parent / "guest" / "init.sh", args.guest.resolve())
            all_discs = discs.define_discs()
            discs.master(all_discs, cache / "discs")
    except artifacts.BuildError as error:
        log(f"FAIL building the guest: {error}")
        return 1
    built = time.monotonic()
    log(f"guest kernel {vmlinuz.name}, modules {' '.join(modules)}; "
        f"{len(all_discs)} discs; built in {built - started:.1f} s")

    run_dir = cache / "run"
    run_dir.mkdir(exist_ok=True)
    console_log = run_dir / "console.log"
    guest_args = ["--tick", "D,E", "--target", "/target/t1", "--on-exists", "replace",
                  "--on-error", "skip", "--interval", str(POLL_MS)]
    machine = None
    run = None
    try:
        machine = Machine(run_dir, vmlinuz, initramfs, [None, all_discs["joliet"].iso],
                          guest_args, console_log)
        # D: starts with its tray open and nothing in it.
        machine.eject(0)
        if machine.trays()[0] != (True, False):
            raise CheckFailed(f"drive D did not start open and empty: {machine.trays()[0]}")
        guest = Guest(machine)
        guest.wait(r"^READY drives D E$", timeout=120, since=0)
        booted = time.monotonic()
        log(f"guest up in {booted - built:.1f} s")
        run = Run(machine, guest, all_discs, log)
        for name, scenario in run.all():
            run.step(name, scenario)
        guest.command("quit")
        guest.drain_to_end()
        machine.wait_exit()
        files = run.final_check()
        log(f"  ok  target folders hold exactly the expected {files} files, nothing else anywhere")
    except (MachineError, CheckFailed) as error:
        log(f"FAIL {error}")
        log(f"console: {console_log}")
        return 1
    finally:
        if machine:
            machine.close()

    if run.cycle_lines:
        log("one full cycle, as the guest printed it:")
        for line in run.cycle_lines:
            log(f"    {line}")
    total = time.monotonic() - started
    log(f"{len(run.results)} passed, 0 failed ({total:.1f} s in all, "
        f"{total - (built - started):.1f} s in the guest)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
