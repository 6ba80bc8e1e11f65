#!/usr/bin/env python3
"""Dravolin.exe, the Windows build, under Wine in the Debian guest (TCG) with two emulated ATAPI
drives as E: and F:: run by the desktop user from the prefix's Program Files, its discs mounted
by the guest's automounter, its dialog driven from outside, files checked by SHA-256 and trays
and door locks read through QEMU's monitor. Screenshots go under the cache folder.

Usage: winesuite.py --cache DIR --exe Dravolin.exe --probe dravolin_wine_probe.exe
                      --program DRAVOLIN [--only SUBSTRING]... [--skip SUBSTRING]...
--program is the Linux build of dravolin, whose libraries' packages the shared guest image holds
(the image is the desktop suite's: one package list, one cached image).
Exit code 0 when every scenario passed; 1 with the reasons otherwise (a guest that cannot be
built or booted included: the suite never passes without having run).
"""

import sys
import time
from pathlib import Path

import artifacts
import debian
import desktopdiscs
import desktopsuite
import wineprefix
from desktopsuite import log
from guest import CheckFailed
from machine import MachineError
from wineprogram import WineProgram
from winearchive import WineArchive
from winescenarios import WineScenarios

HERE = Path(__file__).resolve().parent
# QEMU 7.2's TCG faults an iretq made in user mode when the CPU has SMAP (the guest's kernel
# oopses on it): Wine returns from its system call emulation that way.
CPU = "max,-smap"
WINE_DISCS = ["photos", "names-a", "names-b", "large", "dacha", "blank", "manual", "archive"]


class WineSuiteRun(WineScenarios, WineArchive):
    def all(self):
        return WineScenarios.all(self) + WineArchive.all(self)


def main():
    args = desktopsuite.options(("--exe", "Dravolin.exe"), ("--probe", "dravolin_wine_probe.exe"),
                                ("--program", "the Linux dravolin"),
                                ("--seekdrive", "the drive model: nbdkit-seekdrive-plugin.so"))
    started = time.monotonic()

    every_disc = desktopdiscs.define_desktop_discs()
    wine_discs = {name: every_disc[name] for name in WINE_DISCS}
    try:
        guest = desktopsuite.build_guest(args, wine_discs, {
            "opt/wine/automount.py": ((HERE.parent / "wine" / "automount.py").read_bytes(),
                                      0o644)}, log)
        home, prefix_seconds = wineprefix.build_home_disk(args.cache, log)
    except artifacts.BuildError as error:
        log(f"FAIL building the guest: {error}")
        return 1
    built = time.monotonic()
    log(f"Debian guest image {guest.image.name}: {desktopsuite.made(guest.image_seconds)}; "
        f"Wine prefix {home.name}: {desktopsuite.made(prefix_seconds)}; "
        f"everything ready in {built - started:.1f} s")

    run_dir, shots = desktopsuite.run_folder(args.cache / "wine", {
        "Dravolin.exe": args.exe, "dravolin_wine_probe.exe": args.probe})

    boot = None
    program = None
    run = None
    figures = []
    try:
        boot = debian.Boot(run_dir, guest.kernel, guest.stage1, guest.image, (home, True),
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
        run = WineSuiteRun(boot, program, wine_discs, log)
        run.seek_plugin = args.seekdrive
        run.step("the dialog lists E: and F:, the AutoPlay value is there", run.started)
        run.run_chosen(args)
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
    return desktopsuite.report(run, log, started, built,
                               f"screenshots: {shots}; the guest's logs: {logs}")


if __name__ == "__main__":
    sys.exit(main())
