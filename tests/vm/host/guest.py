"""The guest program's side of the serial console: its lines, its commands, its final report."""

import queue
import re
import time

from machine import MachineError


class CheckFailed(Exception):
    pass


class Guest:
    """Every line the guest printed, kept in order, so a step can look for a line that came
    before it started waiting (two drives report in any interleaving)."""

    def __init__(self, machine):
        self.machine = machine
        self.lines = []
        self.mark = 0

    def _pump(self, timeout):
        """Takes the lines that arrived, waiting up to `timeout` for the first."""
        try:
            line = self.machine.lines.get(timeout=timeout)
        except queue.Empty:
            return
        while True:
            if line is None:
                self.machine.lines.put(None)
                raise MachineError(f"the guest stopped (QEMU exit code {self.machine.proc.wait()})")
            self.lines.append(line)
            try:
                line = self.machine.lines.get_nowait()
            except queue.Empty:
                return

    def set_mark(self):
        """Later waits look only at lines from here on."""
        self.mark = len(self.lines)
        return self.mark

    def find(self, pattern, since=None):
        """Index and match of the first line from `since` (the mark) matching, or None."""
        regex = re.compile(pattern)
        for i in range(self.mark if since is None else since, len(self.lines)):
            match = regex.search(self.lines[i])
            if match:
                return i, match
        return None

    def wait(self, pattern, timeout=60, since=None):
        deadline = time.monotonic() + timeout
        while True:
            found = self.find(pattern, since)
            if found:
                return found
            left = deadline - time.monotonic()
            if left <= 0:
                tail = "\n  ".join(self.lines[-15:])
                raise CheckFailed(f"no line /{pattern}/ within {timeout} s; last lines:\n  {tail}")
            self._pump(min(left, 0.5))

    def command(self, text, timeout=30):
        since = len(self.lines)
        self.machine.send(text)
        _, match = self.wait(rf"^(ACK|NAK) {re.escape(text)}(: .*)?$", timeout, since)
        if match.group(1) != "ACK":
            raise CheckFailed(f"the guest refused '{text}'{match.group(2)}")

    def drain_to_end(self, timeout=120):
        """After quit: everything up to the init script's last line."""
        self.wait(r"^GUEST end$", timeout, since=0)

    def report(self):
        """The init script's account of the target file system after the program ended:
        ({relative path: sha256}, [non-regular entries], [new paths outside /target])."""
        sums, others, outside = {}, [], []
        for line in self.lines:
            if line.startswith("SUM "):
                digest, path = line[4:].split(" ", 1)
                sums[path] = digest
            elif line.startswith("ENT "):
                others.append(line[4:])
            elif line.startswith("OUTSIDE "):
                outside.append(line[8:])
        return sums, others, outside
