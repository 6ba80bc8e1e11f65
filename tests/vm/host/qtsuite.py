#!/usr/bin/env python3
"""The dravolin program users start, in a Debian guest (TCG) with four emulated ATAPI drives:
run as an ordinary user, discs mounted by the real UDisks2, its dialog driven through xdotool
and read through its accessibility tree, screenshots kept under the cache folder.

Usage: qtsuite.py --cache DIR --program PATH --seekdrive PLUGIN [--only SUBSTRING]...
                   [--skip SUBSTRING]...
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
from desktopsuite import log
from guest import CheckFailed
from machine import MachineError
from qtarchive import ArchiveScenarios
from qtfaults import FaultScenarios
from qtpower import PowerCuts
from qtprogram import QtProgram
from qtreadon import ReadOnScenarios
from readoncut import NAME as READ_ON
from qtscenarios import UserScenarios
from qtseek import SeekScenarios


class QtScenarios(UserScenarios, FaultScenarios, ArchiveScenarios, ReadOnScenarios,
                  SeekScenarios):
    def all(self):
        return (UserScenarios.all(self) + FaultScenarios.all(self)
                + ArchiveScenarios.all(self) + ReadOnScenarios.all(self)
                + SeekScenarios.all(self))


def main():
    args = desktopsuite.options(("--program", "the release dravolin"),
                                ("--seekdrive", "the drive model: nbdkit-seekdrive-plugin.so"))
    started = time.monotonic()

    all_discs = desktopdiscs.define_desktop_discs()
    try:
        guest = desktopsuite.build_guest(args, all_discs, {
            "etc/polkit-1/rules.d/50-desktop-user.rules":
                ((debian.DEBIAN / "50-desktop-user.rules").read_bytes(), 0o644)}, log)
    except artifacts.BuildError as error:
        log(f"FAIL building the guest: {error}")
        return 1
    built = time.monotonic()
    size = guest.image.stat().st_blocks * 512 / 2**20
    log(f"Debian guest image {guest.image.name}: {size:.0f} MiB on disk, "
        f"{desktopsuite.made(guest.image_seconds)}; everything ready in {built - started:.1f} s")

    helper = debian.layout_helper(args.program)
    run_dir, shots = desktopsuite.run_folder(args.cache / "desktop",
                                             {"dravolin": args.program},
                                             [helper] if helper else [])
    user_disk = debian.make_disk(run_dir / "user.img", 1024, "home")
    # The full-disk scenario's target: small enough to fill.
    small_disk = debian.make_disk(run_dir / "small.img", 16, "small")

    boot = None
    run = None
    try:
        boot = debian.Boot(run_dir, guest.kernel, guest.stage1, guest.image, user_disk,
                           [None] * 4, disks=[small_disk])
        log(f"guest up in {boot.seconds:.1f} s (boot to the agent, services ready)")
        program = QtProgram(boot.agent, boot.share, shots, log)
        program.start_session(Path("bin/dravolin"))
        program.start()
        program.shot("started")
        run = QtScenarios(boot, program, all_discs, log)
        run.seek_plugin = args.seekdrive
        run.run_chosen(args)
        for took, call, stack in program.ui_waits():
            log(f"  UI thread waited {took * 1000:.0f} ms outside its event loop: {call}")
            for frame in stack[:25]:
                log(f"      {frame}")
        plain = desktopsuite.chosen(args, "power cut")
        archive = desktopsuite.chosen(args, "power cut, archive mode: a bag being written")
        read_on = desktopsuite.chosen(args, f"power cut, {READ_ON}")
        if plain or archive or read_on:
            # The cuts go on from this boot, on its user disk, and close it.
            cuts = PowerCuts(run_dir, guest.kernel, guest.stage1, guest.image, user_disk,
                             all_discs, shots, log)
            cuts.seek_plugin = args.seekdrive
            running, boot = boot, None
            cuts.run(running, program, plain=plain, archive=archive, read_on=read_on)
            run.results += cuts.results
            run.figures["power cuts"] = cuts.figures + [
                "boots to the agent: " + ", ".join(f"{s:.0f} s" for s in cuts.boot_seconds)]
        else:
            boot.poweroff()
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
    return desktopsuite.report(run, log, started, built, f"screenshots: {shots}")


if __name__ == "__main__":
    sys.exit(main())
