#!/usr/bin/env python3
"""Dravolin.exe, the Windows build, under Wine in the Debian guest (TCG) with two emulated ATAPI
drives as E: and F:: run by the desktop user from the prefix's Program Files, its discs mounted
by the guest's automounter, its dialog driven from outside, files checked by SHA-256 and trays
and door locks read through QEMU's monitor. Screenshots go under the cache folder.

Usage: winesuite.py --cache DIR --exe Dravolin.exe --probe dravolin_wine_probe.exe
                      --program DRAVOLIN [--only SUBSTRING]
--program is the Linux build of dravolin, whose libraries' packages the shared guest image holds
(the image is the desktop suite's: one package list, one cached image).
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
import wineprefix
from guest import CheckFailed
from machine import MachineError
from wineprogram import WineProgram
from winescenarios import WineScenarios

HERE = Path(__file__).resolve().parent
# QEMU 7.2's TCG faults an iretq made in user mode when the CPU has SMAP (the guest's kernel
# oopses on it): Wine returns from its system call emulation that way.
CPU = "max,-smap"
WINE_DISCS = ["photos", "names-a", "names-b", "large"]


def log(text):
    print(text, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cache", type=Path, required=True)
    parser.add_argument("--exe", type=Path, required=True, help="Dravolin.exe")
    parser.add_argument("--probe", type=Path, required=True, help="dravolin_wine_probe.exe")
    parser.add_argument("--program", type=Path, required=True, help="the Linux dravolin")
    parser.add_argument("--only", action="append", default=[],
                        help="run only the scenarios whose name contains this")
    args = parser.parse_args()
    cache = args.cache.resolve()
    started = time.monotonic()

    try:
        vmlinuz, modules_dir = artifacts.fetch_kernel(cache)
        packages = (debian.read_packages(debian.DEBIAN / "packages")
                    + debian.program_packages(args.program))
        image, image_seconds = debian.build_image(cache, modules_dir, packages, log)
        every_disc = {**disc_tools.define_discs(), **desktopdiscs.define_desktop_discs()}
        wine_discs = {name: every_disc[name] for name in WINE_DISCS}
        disc_tools.master(wine_discs, cache)
        home, prefix_seconds = wineprefix.build_home_disk(cache, log)
        payload = debian.guest_payload({
            "opt/wine/automount.py": ((HERE.parent / "wine" / "automount.py").read_bytes(),
                                      0o644)})
        stage1 = debian.build_stage1(cache, modules_dir, payload)
    except artifacts.BuildError as error:
        log(f"FAIL building the guest: {error}")
        return 1
    built = time.monotonic()
    log(f"Debian guest image {image.name}: "
        + (f"built in {image_seconds:.0f} s" if image_seconds else "from the cache")
        + f"; Wine prefix {home.name}: "
        + (f"built in {prefix_seconds:.0f} s" if prefix_seconds else "from the cache")
        + f"; everything ready in {built - started:.1f} s")

    folder = cache / "wine"
    run_dir = folder / "run"
    shutil.rmtree(run_dir, ignore_errors=True)
    (run_dir / "share" / "bin").mkdir(parents=True)
    shutil.copy2(args.exe, run_dir / "share" / "bin" / "Dravolin.exe")
    shutil.copy2(args.probe, run_dir / "share" / "bin" / "dravolin_wine_probe.exe")
    shots = folder / "screenshots"
    shutil.rmtree(shots, ignore_errors=True)

    boot = None
    program = None
    run = None
    figures = []
    try:
        boot = debian.Boot(run_dir, vmlinuz, stage1, image, (home, True),
                           [wine_discs["photos"].iso, None], cpu=CPU)
        figures.append(f"guest up in {boot.seconds:.1f} s (boot to the agent, services ready)")
        program = WineProgram(boot.agent, boot.share, shots, log)
        wine_seconds = program.start(Path("bin/Dravolin.exe"), Path("bin/dravolin_wine_probe.exe"))
        figures.append(f"Wine session (wineserver, Wine's services, the probe) answering in "
                       f"{wine_seconds:.1f} s")
        program_seconds = program.start_program()
        figures.append(f"Dravolin.exe's dialog with its drives in {program_seconds:.1f} s")
        for line in figures:
            log(line)
        program.shot("started")
        run = WineScenarios(boot, program, wine_discs, log)
        run.step("the dialog lists E: and F:, the AutoPlay value is there", run.started)
        for name, scenario in run.all():
            if not args.only or any(o in name for o in args.only):
                run.step(name, scenario)
        if program.running():
            program.close_box(program.dialog())
            program.wait_exit(60)
        program.keep_logs()
        program.stop()
        boot.poweroff()
    except (MachineError, CheckFailed) as error:
        log(f"FAIL {error}")
        log(f"console: {run_dir / 'console.log'}")
        try:
            if program:
                program.keep_logs()
        except (MachineError, CheckFailed):
            pass  # a guest that stopped keeps its logs to itself
        return 1
    finally:
        if boot:
            boot.close()

    logs = run_dir / "share" / "logs"
    return debian.report(run, log, started, built,
                         f"screenshots: {shots}; the guest's logs: {logs}")


if __name__ == "__main__":
    sys.exit(main())
