#!/usr/bin/env python3
"""The dravolin program users start, in a Debian guest (TCG) with four emulated ATAPI drives:
run as an ordinary user, discs mounted by the real UDisks2, its dialog driven through xdotool
and read through its accessibility tree, screenshots kept under the cache folder.

Usage: qtsuite.py --cache DIR --program PATH [--only SUBSTRING]... [--skip SUBSTRING]...
Exit code 0 when every scenario passed; 1 with the reasons otherwise (a guest that cannot be
built or booted included: the suite never passes without having run).
"""

import argparse
import shutil
import sys
import time
from pathlib import Path

import artifacts
import debian
import desktopdiscs
import discs as disc_tools
from guest import CheckFailed
from machine import MachineError
from qtfaults import FaultScenarios
from qtpower import PowerCuts
from qtprogram import QtProgram
from qtscenarios import UserScenarios


class QtScenarios(UserScenarios, FaultScenarios):
    def all(self):
        return UserScenarios.all(self) + FaultScenarios.all(self)


def log(text):
    print(text, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cache", type=Path, required=True)
    parser.add_argument("--program", type=Path, required=True, help="the release dravolin")
    parser.add_argument("--only", action="append", default=[],
                        help="run only the scenarios whose name contains this")
    parser.add_argument("--skip", action="append", default=[],
                        help="leave out the scenarios whose name contains this")
    args = parser.parse_args()
    cache = args.cache.resolve()
    started = time.monotonic()

    try:
        vmlinuz, modules_dir = artifacts.fetch_kernel(cache)
        packages = (debian.read_packages(debian.DEBIAN / "packages")
                    + debian.program_packages(args.program))
        image, image_seconds = debian.build_image(cache, modules_dir, packages, log)
        all_discs = desktopdiscs.define_desktop_discs()
        disc_tools.master(all_discs, cache)
        payload = debian.guest_payload({
            "etc/polkit-1/rules.d/50-desktop-user.rules":
                ((debian.DEBIAN / "50-desktop-user.rules").read_bytes(), 0o644)})
        stage1 = debian.build_stage1(cache, modules_dir, payload)
    except artifacts.BuildError as error:
        log(f"FAIL building the guest: {error}")
        return 1
    built = time.monotonic()
    size = image.stat().st_blocks * 512 / 2**20
    log(f"Debian guest image {image.name}: {size:.0f} MiB on disk, "
        + (f"built in {image_seconds:.0f} s" if image_seconds else "from the cache")
        + f"; everything ready in {built - started:.1f} s")

    folder = cache / "desktop"
    run_dir = folder / "run"
    shutil.rmtree(run_dir, ignore_errors=True)
    (run_dir / "share" / "bin").mkdir(parents=True)
    shutil.copy2(args.program, run_dir / "share" / "bin" / "dravolin")
    shots = folder / "screenshots"
    shutil.rmtree(shots, ignore_errors=True)
    user_disk = debian.make_disk(run_dir / "user.img", 1024, "home")
    # The full-disk scenario's target: small enough to fill.
    small_disk = debian.make_disk(run_dir / "small.img", 16, "small")

    boot = None
    run = None
    try:
        boot = debian.Boot(run_dir, vmlinuz, stage1, image, user_disk, [None] * 4,
                           disks=[small_disk])
        log(f"guest up in {boot.seconds:.1f} s (boot to the agent, services ready)")
        program = QtProgram(boot.agent, boot.share, shots, log)
        program.start_session(Path("bin/dravolin"))
        program.start()
        program.shot("started")
        run = QtScenarios(boot, program, all_discs, log)
        for name, scenario in run.all():
            if any(o in name for o in args.skip):
                log(f"  --  {name}: left out (--skip)")
            elif not args.only or any(o in name for o in args.only):
                run.step(name, scenario)
        for took, call, stack in program.ui_waits():
            log(f"  UI thread waited {took * 1000:.0f} ms outside its event loop: {call}")
            for frame in stack[:25]:
                log(f"      {frame}")
        boot.poweroff()
        boot.close()
        boot = None
        if (not args.only or any(o in "power cut" for o in args.only)) and \
                not any(o in "power cut" for o in args.skip):
            cuts = PowerCuts(run_dir, vmlinuz, stage1, image, all_discs, shots, log)
            cuts.run()
            run.results += cuts.results
            run.figures["power cuts"] = cuts.figures + [
                "boots to the agent: " + ", ".join(f"{s:.0f} s" for s in cuts.boot_seconds)]
    except (MachineError, CheckFailed) as error:
        log(f"FAIL {error}")
        log(f"console: {run_dir / 'console.log'}")
        return 1
    finally:
        if boot:
            boot.close()

    run.figures["UDisks2 and new discs"] = [
        f"in the other scenarios, UDisks2 did not know a new disc yet when the program asked "
        f"it to mount {run.unknown_disc} time(s) (answered Retry)"]
    return debian.report(run, log, started, built, f"screenshots: {shots}")


if __name__ == "__main__":
    sys.exit(main())
