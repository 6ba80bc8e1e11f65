"""A QEMU guest with CD drives: its serial console as lines, its monitor over QMP."""

import json
import os
import queue
import re
import shutil
import socket
import subprocess
import threading
import time
from pathlib import Path


class MachineError(Exception):
    pass


class Machine:
    """Boots a kernel and initramfs under TCG with one IDE CD drive per entry of `discs` (an
    ISO path, or None for an empty drive). Drive i is the block device "cd<i>". With up to two
    drives, drive i is the master of IDE channel i, so that the drives do not share a channel;
    with three or four, drives 0 and 1 are master and slave of channel 0, drives 2 and 3 of
    channel 1. The guest sees them as /dev/sr0, /dev/sr1... in that order.

    The Debian guest adds `disks` (raw images on virtio-blk, /dev/vda first; a disk given as
    (path, True) is opened as a throw-away snapshot), a `share` (a host folder the guest mounts
    over virtio-9p with the tag "host"), and `agent`: a second serial port (the guest's
    /dev/ttyS1) on the unix socket workdir/agent.sock, for the guest's agent. `kernel_args` are
    added to the kernel command line; `guest_args` follow a "--" (the busybox guest's
    program reads them). `cpu` is QEMU's CPU model with its feature switches."""

    def __init__(self, workdir: Path, kernel: Path, initramfs: Path, discs, guest_args,
                 log_path: Path, memory_mb=1024, *, kernel_args=(), disks=(), share=None,
                 agent=False, cpu="max"):
        self.workdir = workdir
        self.qmp_path = workdir / "qmp.sock"
        self.agent_path = workdir / "agent.sock" if agent else None
        self.lines = queue.Queue()
        self.transcript = []
        self.log = open(log_path, "w", encoding="utf-8")
        for sock in (self.qmp_path, self.agent_path):
            if sock and sock.exists():
                sock.unlink()
        qemu = shutil.which("qemu-system-x86_64")
        if not qemu:
            raise MachineError("qemu-system-x86_64 is not installed (package qemu-system-x86)")
        # TCG's TSC follows the host's clock on every vCPU, but the kernel finds the vCPUs'
        # TSCs out of step and falls back to the HPET, whose every read is an emulated device
        # access: twice the cost of each clock read in the guest.
        append = " ".join([
            "console=ttyS0", "quiet", "loglevel=1", "panic=1", "tsc=reliable", "clocksource=tsc",
            f"GUEST_DRIVES={len(discs)}",
            *kernel_args, *(["--", *guest_args] if guest_args else [])])
        cmd = [qemu, "-machine", "pc,accel=tcg", "-cpu", cpu, "-smp", "2", "-m", str(memory_mb),
               "-nodefaults", "-no-user-config", "-display", "none", "-vga", "none",
               "-no-reboot", "-kernel", str(kernel), "-initrd", str(initramfs),
               "-append", append, "-serial", "stdio",
               "-qmp", f"unix:{self.qmp_path},server=on,wait=off"]
        if agent:
            cmd += ["-chardev", f"socket,id=agent,path={self.agent_path},server=on,wait=off",
                    "-serial", "chardev:agent"]
        for i, disk in enumerate(disks):
            path, snapshot = disk if isinstance(disk, tuple) else (disk, False)
            cmd += ["-drive", f"file={path},if=virtio,format=raw,index={i}"
                    + (",snapshot=on" if snapshot else "")]
        if share:
            cmd += ["-virtfs", f"local,path={share},mount_tag=host,security_model=none,id=host"]
        if len(discs) > 4:
            raise MachineError("at most four IDE CD drives")
        for i, disc in enumerate(discs):
            bus, unit = (i, 0) if len(discs) <= 2 else (i // 2, i % 2)
            drive = f"if=none,id=cd{i},media=cdrom,readonly=on"
            if disc:
                drive += f",file={disc},format=raw"
            cmd += ["-drive", drive,
                    "-device", f"ide-cd,drive=cd{i},id=cdrom{i},bus=ide.{bus},unit={unit}"]
        self.log.write("$ " + " ".join(cmd) + "\n")
        self.started = time.monotonic()
        try:
            self.proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=subprocess.STDOUT, cwd=workdir)
        except OSError as error:
            raise MachineError(f"QEMU could not start: {error}") from error
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.qmp = None
        self._connect_qmp()

    # --- serial console ---

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n").replace("\r", "")
            self.log.write(f"{time.monotonic() - self.started:7.2f} {line}\n")
            self.log.flush()
            self.transcript.append(line)
            self.lines.put(line)
        self.lines.put(None)

    def note(self, text):
        """A line of the host's own in the console log, between the guest's lines."""
        self.log.write(f"{time.monotonic() - self.started:7.2f} (host) {text}\n")
        self.log.flush()

    def send(self, command):
        """A line to the guest program's standard input."""
        self.log.write(f"{time.monotonic() - self.started:7.2f} >>> {command}\n")
        self.proc.stdin.write((command + "\n").encode())
        self.proc.stdin.flush()

    # --- monitor ---

    def _connect_qmp(self):
        deadline = time.monotonic() + 30
        while True:
            if self.proc.poll() is not None:
                out = "\n".join(self.transcript[-20:])
                raise MachineError(f"QEMU could not start (exit code {self.proc.returncode}):\n"
                                   f"{out}")
            try:
                sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                sock.connect(str(self.qmp_path))
                break
            except OSError:
                sock.close()
                if time.monotonic() > deadline:
                    raise MachineError("QEMU's monitor socket never appeared")
                time.sleep(0.05)
        self.qmp = sock.makefile("rw", encoding="utf-8")
        json.loads(self.qmp.readline())  # the greeting
        self._qmp("qmp_capabilities")

    def _qmp(self, command, **arguments):
        self.qmp.write(json.dumps({"execute": command, "arguments": arguments}) + "\n")
        self.qmp.flush()
        while True:
            reply = json.loads(self.qmp.readline())
            if "event" in reply:
                continue
            if "error" in reply:
                raise MachineError(f"monitor: {command} {arguments}: {reply['error']}")
            return reply["return"]

    def monitor(self, command_line):
        """A human monitor command (change, eject -f, info block...); returns its output."""
        self.log.write(f"{time.monotonic() - self.started:7.2f} (qemu) {command_line}\n")
        out = self._qmp("human-monitor-command", **{"command-line": command_line})
        if out.strip():
            self.log.write(out)
        # The human monitor reports failures as text, not as QMP errors.
        if re.search(r"^(Error|Could not|Device .* not found)", out, re.M):
            raise MachineError(f"monitor: {command_line}: {out.strip()}")
        return out

    def change(self, drive, iso):
        """Puts a disc into the drive and closes the tray. The tray is forced open first: a
        process in the guest that has the device open holds its door locked for that moment,
        and a plain change would then only ask the guest to eject, which udev does later,
        possibly after the new disc is in."""
        self.log.write(f"{time.monotonic() - self.started:7.2f} (qemu) change cd{drive} {iso}\n")
        self._qmp("blockdev-change-medium", id=f"cdrom{drive}", filename=str(iso), format="raw",
                  force=True, **{"read-only-mode": "read-only"})

    def eject(self, drive):
        """Opens the tray and takes the disc out."""
        self.monitor(f"eject -f cd{drive}")

    def open_tray(self, drive):
        """Opens the tray and leaves the disc in it, as a press of the drive's button does."""
        self._qmp("blockdev-open-tray", id=f"cdrom{drive}", force=True)

    def throttle(self, drive, bytes_per_second):
        self.monitor(f"block_set_io_throttle cd{drive} {bytes_per_second} 0 0 0 0 0")

    def trays(self):
        """{drive index: (tray open, medium inserted)} from query-block."""
        return {i: (b["tray_open"], b["inserted"]) for i, b in self.drive_states().items()}

    def drive_states(self):
        """{drive index: {"tray_open", "inserted", "locked"}} from query-block: "locked" is the
        door lock the guest set (SCSI PREVENT MEDIUM REMOVAL), as a mount does."""
        state = {}
        for block in self._qmp("query-block"):
            match = re.fullmatch(r"cd(\d+)", block.get("device", ""))
            if match:
                state[int(match.group(1))] = {"tray_open": block.get("tray_open", False),
                                              "inserted": "inserted" in block,
                                              "locked": block.get("locked", False)}
        return state

    def insert_scratched(self, drive, iso, bad_sectors):
        """Puts `iso` into `drive` through QEMU's blkdebug driver: every read that covers one
        of `bad_sectors` (2048-byte disc sectors) fails with EIO, as a scratch does. The
        blkdebug node sits under the raw format node, where the format driver's read event
        arms its rules."""
        self.scratched = getattr(self, "scratched", 0) + 1
        node = f"scratched{self.scratched}"
        rules = [{"event": "read_aio", "errno": 5, "sector": s * 4} for s in sorted(bad_sectors)]
        try:
            self._qmp("blockdev-add", **{
                "driver": "raw", "node-name": node, "read-only": True,
                "file": {"driver": "blkdebug", "inject-error": rules,
                         "image": {"driver": "file", "filename": str(iso), "read-only": True}}})
        except MachineError as error:
            raise MachineError(f"QEMU cannot make a scratched disc: its blkdebug driver "
                               f"refused ({error})") from None
        self._qmp("blockdev-open-tray", id=f"cdrom{drive}", force=True)
        self._qmp("blockdev-remove-medium", id=f"cdrom{drive}")
        self._qmp("blockdev-insert-medium", id=f"cdrom{drive}", **{"node-name": node})
        self._qmp("blockdev-close-tray", id=f"cdrom{drive}")

    def insert_served(self, drive, socket_path):
        """Puts the disc an NBD server serves on the unix socket `socket_path` (the drive model,
        seekdrive.py) into `drive`: a node of QEMU's nbd driver becomes the drive's medium, as
        in insert_scratched, and is taken out again by change() or eject() like any other.
        The node of the disc served before in this drive is let go, which ends that
        connection."""
        self._qmp("blockdev-open-tray", id=f"cdrom{drive}", force=True)
        self._qmp("blockdev-remove-medium", id=f"cdrom{drive}")
        self.release_served(drive)
        self.served_count = getattr(self, "served_count", 0) + 1
        node = f"served{self.served_count}"
        self._qmp("blockdev-add", **{
            "driver": "raw", "node-name": node, "read-only": True,
            "file": {"driver": "nbd", "server": {"type": "unix", "path": str(socket_path)}}})
        self.served = {**getattr(self, "served", {}), drive: node}
        self._qmp("blockdev-insert-medium", id=f"cdrom{drive}", **{"node-name": node})
        self._qmp("blockdev-close-tray", id=f"cdrom{drive}")

    def release_served(self, drive):
        """Deletes the node of the disc last served into `drive`, once that disc is out of it
        (an eject or another disc), so that its server may stop."""
        node = getattr(self, "served", {}).get(drive)
        if node:
            self._qmp("blockdev-del", **{"node-name": node})
            del self.served[drive]

    def power_cut(self):
        """SIGKILL to QEMU: the guest loses what only its memory held, as in a power cut."""
        self.log.write(f"{time.monotonic() - self.started:7.2f} (host) SIGKILL to QEMU\n")
        self.proc.kill()
        self.proc.wait()

    def wait_tray(self, drive, open_, timeout=20):
        deadline = time.monotonic() + timeout
        while self.trays()[drive][0] != open_:
            if time.monotonic() > deadline:
                raise MachineError(f"drive {drive}: tray never became {'open' if open_ else 'closed'}")
            time.sleep(0.05)

    # --- end ---

    def wait_exit(self, timeout=120):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise MachineError(f"the guest did not power off within {timeout} s")

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self.qmp:
            try:
                self.qmp.close()
            except OSError:
                pass
        self.log.close()
        for sock in (self.qmp_path, self.agent_path):
            if sock and sock.exists():
                os.unlink(sock)
