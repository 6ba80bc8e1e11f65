"""The drive model: discs served to the guest's CD drive by nbdkit through our plugin
(tests/vm/seekdrive), which charges each read what a real 52x CAV drive takes for it, the
seek from the previous read included. See the plugin's source for the model."""

import math
import os
import re
import shutil
import subprocess
import time
from pathlib import Path

# Published figures for CD and DVD drives: track to track and full stroke seeks, the data rate
# at the inner and the outer edge of a 700 MB disc spinning at a constant 52x.
MODEL = {"seek-min-ms": 20, "seek-max-ms": 150, "inner-mbps": 3.4, "outer-mbps": 7.8,
         "disc-mb": 700}


class ModelError(Exception):
    pass


def average_seek_ms(model=MODEL):
    """The mean seek between two positions drawn evenly over the whole disc, as the plugin
    charges it (sampled on a grid)."""
    k = model["inner-mbps"] / model["outer-mbps"]
    radii = [math.sqrt(k * k + (1 - k * k) * (i + 0.5) / 200) for i in range(200)]
    total = sum(math.sqrt(abs(a - b) / (1 - k)) for a in radii for b in radii)
    return model["seek-min-ms"] + (model["seek-max-ms"] - model["seek-min-ms"]) * total / 200**2


def describe(scale, model=MODEL):
    return (f"drive model: seek {model['seek-min-ms']} ms (track to track) to "
            f"{model['seek-max-ms']} ms (full stroke), {average_seek_ms(model):.0f} ms on "
            f"average; {model['inner-mbps']} MB/s inner to {model['outer-mbps']} MB/s outer "
            f"on a {model['disc-mb']} MB disc (52x CAV); clock scale {scale} (the guest waits "
            f"{scale} s for each modelled second; drive times below are modelled seconds)")


class DriveModel:
    """One nbdkit process at a time, serving one disc image on a unix socket under `folder`;
    `scale` multiplies every modelled time the plugin sleeps, `slow` are (first sector,
    last sector, seconds) regions."""

    def __init__(self, plugin: Path, folder: Path, scale=1.0, slow=(), model=MODEL, bad=()):
        if not shutil.which("nbdkit"):
            raise ModelError("nbdkit is not installed (packages nbdkit, nbdkit-plugin-dev)")
        if not Path(plugin).exists():
            raise ModelError(f"the drive model's plugin is not built: {plugin}")
        self.plugin, self.folder, self.scale = Path(plugin), Path(folder), scale
        self.params = {**model, "scale": scale}
        self.slow = list(slow)
        self.bad = list(bad)  # (first sector, last sector): every read touching them fails
        self.proc = None
        self.socket = self.folder / "seekdrive.sock"
        self.stats_path = self.folder / "seekdrive.stats"
        self.log_path = self.folder / "seekdrive.log"

    def serve(self, image: Path, trace=None):
        """Starts serving `image` (stopping what was served before); the socket's path. With
        `trace`, a file that gets a line for each read: its sector, sectors and seek seconds."""
        self.stop()
        self.socket.unlink(missing_ok=True)
        cmd = ["nbdkit", "--foreground", "--readonly", "--exit-with-parent", "--unix",
               str(self.socket), str(self.plugin), f"file={image}", f"stats={self.stats_path}",
               *([f"trace={trace}"] if trace else []),
               *(f"{k}={v}" for k, v in self.params.items()),
               *(f"slow={a}-{b}:{s}" for a, b, s in self.slow),
               *(f"bad={a}-{b}" for a, b in self.bad)]
        log = open(self.log_path, "a")
        log.write("$ " + " ".join(cmd) + "\n")
        log.flush()
        self.proc = subprocess.Popen(cmd, stdout=log, stderr=subprocess.STDOUT)
        log.close()
        deadline = time.monotonic() + 20
        while not self.socket.exists():
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise ModelError(f"nbdkit did not start: see {self.log_path}")
            time.sleep(0.05)
        return self.socket

    def stats(self):
        """What the drive did since it started serving: reads, bytes, seeks and the modelled
        seconds (seek_s, transfer_s, slow_s)."""
        try:
            text = self.stats_path.read_text()
        except FileNotFoundError:
            text = ""
        pairs = dict(re.findall(r"(\w+) ([\d.]+)", text))
        return {k: float(pairs.get(k, 0)) for k in
                ("reads", "bytes", "seeks", "seek_s", "transfer_s", "slow_s", "failed")}

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None
        if self.stats_path.exists():
            os.unlink(self.stats_path)


def since(before, after):
    """The drive's work between two stats() readings."""
    return {k: after[k] - before.get(k, 0) for k in after}
