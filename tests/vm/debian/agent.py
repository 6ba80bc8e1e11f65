"""The Debian guest's agent: runs what the host asks, over the second serial port (/dev/ttyS1).

One JSON object per line each way; requests are answered in order, each with the "id" it came
with. The agent runs as root; a request with "user" runs as that user, with the user's session
environment (home, runtime folder, display, session bus). Requests:

  {"op": "run", "argv": [...] | "sh": "...", "user"?, "env"?, "timeout"?, "input"?,
   "nofile"?: [soft, hard]}          -> {"rc", "out", "err", "seconds"}
  {"op": "spawn", same fields, "name": "x"}
                                      -> {"pid"}: runs in the background, output in
                                         /run/guest/x.log; "server": true keeps its stdin and
                                         stdout as a line channel for "ask"
  {"op": "ask", "pid", "request": {...}, "timeout"?}
                                      -> the server's one-line JSON answer, as "answer"
  {"op": "poll", "pid"}               -> {"rc": null while it runs}
  {"op": "wait", "pid", "timeout"}    -> {"rc": null on time-out}
  {"op": "signal", "pid", "signal"}   -> {} (to the process group)
  {"op": "shot", "name"}              -> {"path"}: the screen as an XWD file in the shared
                                         folder's shots/ (Xvfb keeps the screen in /run/xvfb)
  {"op": "read", "path"}              -> {"data": base64}
  {"op": "poweroff"}                  -> syncs and powers off (no answer)
Every answer carries "ok"; a failed request has "ok": false and "error".
"""

import base64
import json
import os
import pwd
import select
import shutil
import signal
import subprocess
import sys
import termios
import time
import tty

USER_ENV = {
    "PATH": "/usr/local/bin:/usr/bin:/bin",
    "LANG": "C.UTF-8",
    "DISPLAY": ":0",
}
LOGS = "/run/guest"
SHARE = "/mnt/host"


def user_env(name, extra):
    entry = pwd.getpwnam(name)
    env = dict(USER_ENV)
    runtime = f"/run/user/{entry.pw_uid}"
    env.update({
        "HOME": entry.pw_dir,
        "USER": name,
        "LOGNAME": name,
        "SHELL": entry.pw_shell,
        "XDG_RUNTIME_DIR": runtime,
        "DBUS_SESSION_BUS_ADDRESS": f"unix:path={runtime}/bus",
    })
    env.update(extra or {})
    return env, entry


def popen_args(req):
    argv = req.get("argv") or ["/bin/sh", "-c", req["sh"]]
    kwargs = {"start_new_session": True}
    nofile = req.get("nofile")
    if req.get("user"):
        env, entry = user_env(req["user"], req.get("env"))
        groups = [g for g in os.getgrouplist(req["user"], entry.pw_gid)]
        kwargs.update(user=entry.pw_uid, group=entry.pw_gid, extra_groups=groups,
                      cwd=entry.pw_dir)
    else:
        env = dict(os.environ)
        env.update(USER_ENV)
        env.update(req.get("env") or {})
    kwargs["env"] = env
    if nofile:
        import resource

        def limit():
            resource.setrlimit(resource.RLIMIT_NOFILE, tuple(nofile))
        kwargs["preexec_fn"] = limit
    return argv, kwargs


class Agent:
    def __init__(self, port):
        self.fd = os.open(port, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)
        attrs = termios.tcgetattr(self.fd)
        attrs[3] &= ~termios.ECHO
        termios.tcsetattr(self.fd, termios.TCSANOW, attrs)
        self.buffer = b""
        self.procs = {}
        os.makedirs(LOGS, exist_ok=True)

    def send(self, obj):
        data = (json.dumps(obj) + "\n").encode()
        while data:
            n = os.write(self.fd, data)
            data = data[n:]

    def lines(self):
        while True:
            while b"\n" not in self.buffer:
                chunk = os.read(self.fd, 65536)
                if not chunk:
                    return
                self.buffer += chunk
            line, self.buffer = self.buffer.split(b"\n", 1)
            line = line.strip()
            if line:
                yield line

    # --- requests ---

    def op_hello(self, req):
        with open("/proc/uptime") as f:
            return {"uptime": float(f.read().split()[0])}

    def op_run(self, req):
        argv, kwargs = popen_args(req)
        started = time.monotonic()
        try:
            result = subprocess.run(argv, input=(req.get("input") or "").encode(),
                                    capture_output=True, timeout=req.get("timeout", 120),
                                    **kwargs)
        except subprocess.TimeoutExpired as error:
            return {"ok": False, "error": f"timed out after {error.timeout} s: {argv}",
                    "out": (error.stdout or b"").decode("utf-8", "replace")}
        return {"rc": result.returncode, "out": result.stdout.decode("utf-8", "replace"),
                "err": result.stderr.decode("utf-8", "replace"),
                "seconds": time.monotonic() - started}

    def op_spawn(self, req):
        argv, kwargs = popen_args(req)
        log = open(os.path.join(LOGS, req.get("name", "spawned") + ".log"), "ab")
        if req.get("server"):
            proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=log, **kwargs)
        else:
            proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT, **kwargs)
        log.close()
        self.procs[proc.pid] = proc
        return {"pid": proc.pid}

    def proc(self, req):
        proc = self.procs.get(req["pid"])
        if proc is None:
            raise KeyError(f"no process {req['pid']} started by the agent")
        return proc

    def op_ask(self, req):
        proc = self.proc(req)
        proc.stdin.write((json.dumps(req["request"]) + "\n").encode())
        proc.stdin.flush()
        ready, _, _ = select.select([proc.stdout], [], [], req.get("timeout", 60))
        if not ready:
            return {"ok": False, "error": f"process {req['pid']} did not answer in time"}
        line = proc.stdout.readline()
        if not line:
            return {"ok": False, "error": f"process {req['pid']} ended (rc {proc.wait()})"}
        return {"answer": json.loads(line)}

    def op_poll(self, req):
        return {"rc": self.proc(req).poll()}

    def op_wait(self, req):
        try:
            return {"rc": self.proc(req).wait(timeout=req.get("timeout", 60))}
        except subprocess.TimeoutExpired:
            return {"rc": None}

    def op_signal(self, req):
        proc = self.proc(req)
        try:
            os.killpg(proc.pid, req.get("signal", signal.SIGTERM))
        except ProcessLookupError:
            pass
        return {}

    def op_shot(self, req):
        folder = os.path.join(SHARE, "shots")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, req["name"] + ".xwd")
        shutil.copyfile("/run/xvfb/Xvfb_screen0", path + ".tmp")
        os.replace(path + ".tmp", path)
        return {"path": os.path.relpath(path, SHARE)}

    def op_read(self, req):
        with open(req["path"], "rb") as f:
            return {"data": base64.b64encode(f.read()).decode()}

    def serve(self):
        self.send({"id": 0, "ok": True, "ready": True})
        for line in self.lines():
            try:
                req = json.loads(line)
            except ValueError:
                self.send({"id": None, "ok": False, "error": f"not JSON: {line[:200]!r}"})
                continue
            if req.get("op") == "poweroff":
                os.sync()
                os.execv("/sbin/poweroff", ["poweroff", "-f"])
            handler = getattr(self, "op_" + str(req.get("op")), None)
            try:
                if handler is None:
                    raise ValueError(f"unknown op {req.get('op')!r}")
                answer = {"ok": True}
                answer.update(handler(req))
            except Exception as error:  # every failure goes back to the host, with its reason
                answer = {"ok": False, "error": f"{type(error).__name__}: {error}"}
            answer["id"] = req.get("id")
            self.send(answer)


def reap_as_init(child):
    """PID 1 inherits every orphan (daemons that forked): it reaps them all, and powers the
    machine off when the agent itself ends."""
    while True:
        try:
            pid, status = os.wait()
        except ChildProcessError:
            break
        if pid == child:
            print(f"GUEST agent ended with status {status}", flush=True)
            break
    os.sync()
    os.execv("/sbin/poweroff", ["poweroff", "-f"])


if __name__ == "__main__":
    if os.getpid() == 1:
        child = os.fork()
        if child:
            reap_as_init(child)
    Agent(sys.argv[1]).serve()
