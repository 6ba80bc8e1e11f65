"""The host's side of the Debian guest's agent (tests/vm/debian/agent.py): JSON lines over the
guest's second serial port, which QEMU connects to a unix socket."""

import base64
import json
import socket
import time
from pathlib import Path

from guest import CheckFailed
from machine import MachineError


class AgentError(CheckFailed):
    pass


class Agent:
    def __init__(self, machine, timeout=180):
        """Connects at once (the socket exists as soon as QEMU runs) and waits for the agent's
        first line, which it sends when the guest is up."""
        self.machine = machine
        self.next_id = 1
        self.buffer = b""
        deadline = time.monotonic() + 10
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.sock.connect(str(machine.agent_path))
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise MachineError("the agent's serial socket never appeared")
                time.sleep(0.05)
        first = self._line(timeout)
        if not first.get("ready"):
            raise AgentError(f"the agent started with {first}")

    def _line(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AgentError(f"the guest's agent did not answer within {timeout} s; "
                                 f"console: {self.machine.transcript[-5:]}")
            if self.machine.proc.poll() is not None:
                raise MachineError(f"the guest stopped (QEMU exit code {self.machine.proc.returncode}); "
                                   f"console: {self.machine.transcript[-10:]}")
            self.sock.settimeout(min(left, 0.5))
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                continue
            if not chunk:
                raise MachineError(f"the agent's channel closed; console: "
                                   f"{self.machine.transcript[-10:]}")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        # A line can start with noise the UART held from before the agent opened it.
        text = line.decode("utf-8", "replace")
        return json.loads(text[text.index("{"):])

    def request(self, op, **fields):
        """Sends one request and waits for its answer: as long as the request's own "timeout"
        (for commands run in the guest), and a margin."""
        ident = self.next_id
        self.next_id += 1
        sent = time.monotonic()
        self.sock.sendall((json.dumps({"id": ident, "op": op, **fields}) + "\n").encode())
        while True:
            answer = self._line(fields.get("timeout", 120) + 30)
            if answer.get("id") == ident:
                break
        # Each request in the console log, with how long the guest took to answer it.
        what = fields.get("argv") or fields.get("sh") or fields.get("request") or ""
        self.machine.note(f"agent {op} {str(what)[:100]} -> {time.monotonic() - sent:.2f} s")
        if not answer.get("ok"):
            raise AgentError(f"guest {op} {fields.get('argv') or fields.get('sh') or ''}: "
                             f"{answer.get('error')}")
        return answer

    # --- convenience ---

    def run(self, argv=None, sh=None, user=None, timeout=120, check=True, **fields):
        """Runs a command to its end; with `check`, a non-zero exit is a failure."""
        command = {"argv": argv} if argv else {"sh": sh}
        if user:
            command["user"] = user
        answer = self.request("run", **command, **fields, timeout=timeout)
        if check and answer["rc"] != 0:
            raise AgentError(f"guest command {argv or sh} exited {answer['rc']}:\n"
                             f"{answer['out']}{answer['err']}")
        return answer

    def sh(self, command, **kwargs):
        return self.run(sh=command, **kwargs)["out"]

    def spawn(self, name, argv=None, sh=None, user=None, server=False, **fields):
        command = {"argv": argv} if argv else {"sh": sh}
        if user:
            command["user"] = user
        return self.request("spawn", name=name, server=server, **command, **fields)["pid"]

    def ask(self, pid, request, timeout=60):
        answer = self.request("ask", pid=pid, request=request, timeout=timeout)["answer"]
        if not answer.get("ok"):
            raise AgentError(f"guest helper {request.get('op')}: {answer.get('error')}")
        return answer

    def poll(self, pid):
        return self.request("poll", pid=pid)["rc"]

    def wait(self, pid, timeout):
        return self.request("wait", pid=pid, timeout=timeout)["rc"]

    def signal(self, pid, number):
        self.request("signal", pid=pid, signal=number)

    def read(self, path):
        return base64.b64decode(self.request("read", path=path)["data"])

    def shot(self, name, share: Path):
        """The guest's screen as share/shots/NAME.xwd; returns that path."""
        return share / self.request("shot", name=name)["path"]

    def poweroff(self):
        self.sock.sendall((json.dumps({"op": "poweroff"}) + "\n").encode())
