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
    """Boots the kernel and initramfs under TCG with one IDE CD drive per entry of `discs`
    (an ISO path, or None for an empty drive). Drive i is the block device "cd<i>", on IDE
    channel i as master, so that the drives do not share a channel; the guest sees them as
    /dev/sr0, /dev/sr1... in that order."""

    def __init__(self, workdir: Path, kernel: Path, initramfs: Path, discs, guest_args,
                 log_path: Path, memory_mb=1024):
        self.workdir = workdir
        self.qmp_path = workdir / "qmp.sock"
        self.lines = queue.Queue()
        self.transcript = []
        self.log = open(log_path, "w", encoding="utf-8")
        if self.qmp_path.exists():
            self.qmp_path.unlink()
        qemu = shutil.which("qemu-system-x86_64")
        if not qemu:
            raise MachineError("qemu-system-x86_64 is not installed (package qemu-system-x86)")
        append = " ".join([
            "console=ttyS0", "quiet", "loglevel=1", "panic=1", f"GUEST_DRIVES={len(discs)}",
            "--", *guest_args])
        cmd = [qemu, "-machine", "pc,accel=tcg", "-cpu", "max", "-smp", "2", "-m", str(memory_mb),
               "-nodefaults", "-no-user-config", "-display", "none", "-vga", "none",
               "-no-reboot", "-kernel", str(kernel), "-initrd", str(initramfs),
               "-append", append, "-serial", "stdio",
               "-qmp", f"unix:{self.qmp_path},server=on,wait=off"]
        for i, disc in enumerate(discs):
            drive = f"if=none,id=cd{i},media=cdrom,readonly=on"
            if disc:
                drive += f",file={disc},format=raw"
            cmd += ["-drive", drive, "-device", f"ide-cd,drive=cd{i},bus=ide.{i},unit=0"]
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
        self.monitor(f"change cd{drive} {iso} raw read-only")

    def eject(self, drive):
        self.monitor(f"eject -f cd{drive}")

    def throttle(self, drive, bytes_per_second):
        self.monitor(f"block_set_io_throttle cd{drive} {bytes_per_second} 0 0 0 0 0")

    def trays(self):
        """{drive index: (tray open, medium inserted)} from query-block."""
        state = {}
        for block in self._qmp("query-block"):
            match = re.fullmatch(r"cd(\d+)", block.get("device", ""))
            if match:
                state[int(match.group(1))] = (block.get("tray_open", False), "inserted" in block)
        return state

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
        if self.qmp_path.exists():
            os.unlink(self.qmp_path)
