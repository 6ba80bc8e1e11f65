#!/usr/bin/env python3
"""What the drive model charges, read back from its stats file: nbdkit serves a sparse image
through the plugin at clock scale 0 (nothing is slept), a small NBD client reads, and each
row's reads must cost the modelled seconds the row gives.

Usage: charges_test.py PLUGIN"""

import math
import re
import socket
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

MB = 1_000_000
DISC = 100 * MB  # the image spans the whole modelled disc: disc-mb=100
K = 3.4 / 7.8  # the inner edge's radius, as a fraction of the outer's


def rate(offset):
    """Bytes per second at an offset, as a 52x CAV drive reads them."""
    return 7.8e6 * math.sqrt(K * K + (1 - K * K) * offset / DISC)


def seek(a, b):
    r = [math.sqrt(K * K + (1 - K * K) * x / DISC) for x in (a, b)]
    return 0.020 + 0.130 * math.sqrt(abs(r[0] - r[1]) / (1 - K))


# (what, reads as (offset, length), extra parameters, expected: seeks, seek_s (the time to get
# there, a gap read through included), transfer_s, slow_s, failed reads). The head starts at
# offset 0.
ROWS = [
    ("a sequential read pays no seek", [(0, 65536), (65536, 65536)], [],
     (0, 0.0, 131072 / rate(65536), 0.0, 0)),
    ("the full stroke costs the longest seek", [(DISC - 65536, 65536)], [],
     (1, seek(0, DISC - 65536), 65536 / rate(DISC - 32768), 0.0, 0)),
    ("going back costs a seek", [(10 * MB, 4096), (0, 4096)], [],
     (2, seek(0, 10 * MB) + seek(10 * MB + 4096, 0), 4096 / rate(10 * MB) + 4096 / rate(0),
      0.0, 0)),
    ("a short gap ahead is read through", [(0, 4096), (8192, 4096)], [],
     (0, 4096 / rate(6144), 4096 / rate(2048) + 4096 / rate(10240), 0.0, 0)),
    ("the outer edge reads faster", [(DISC - 2 * MB, MB), (DISC - MB, MB)], [],
     (1, seek(0, DISC - 2 * MB), MB / rate(DISC - 1.5 * MB) + MB / rate(DISC - 0.5 * MB),
      0.0, 0)),
    ("a slow region adds its seconds to each read touching it",
     [(0, 4096), (4096, 4096), (8192, 4096)], ["slow=1-2:0.25"],
     (0, 0.0, sum(4096 / rate(o + 2048) for o in (0, 4096, 8192)), 0.5, 0)),
    ("a read touching a bad sector fails, still charged", [(0, 4096), (4096, 4096)], ["bad=3-3"],
     (0, 0.0, 4096 / rate(2048) + 4096 / rate(6144), 0.0, 1)),
]


class Client:
    """Just enough of the NBD protocol: the fixed newstyle handshake and reads."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.connect(path)
        self.receive(18)  # magics and the server's flags
        self.sock.sendall(struct.pack(">I", 1))  # fixed newstyle
        self.sock.sendall(struct.pack(">QII", 0x49484156454F5054, 1, 0))  # EXPORT_NAME ""
        self.receive(10 + 124)  # size, flags, padding

    def receive(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise OSError("the server closed the connection")
            data += chunk
        return data

    def read(self, offset, length):
        self.sock.sendall(struct.pack(">IHHQQI", 0x25609513, 0, 0, 1, offset, length))
        _, error, _ = struct.unpack(">IIQ", self.receive(16))
        if error:
            raise OSError(f"read at {offset} failed: {error}")
        return self.receive(length)

    def close(self):
        self.sock.close()


def run_row(plugin, folder, reads, extra):
    image, stats, sock = folder / "disc.img", folder / "stats", folder / "sock"
    with open(image, "wb") as f:
        f.truncate(DISC)
    sock.unlink(missing_ok=True)
    server = subprocess.Popen(["nbdkit", "--foreground", "--readonly", "--unix", str(sock),
                               str(plugin), f"file={image}", f"stats={stats}", "scale=0",
                               "disc-mb=100", *extra])
    try:
        deadline = time.monotonic() + 20
        while not sock.exists():
            if server.poll() is not None or time.monotonic() > deadline:
                raise OSError("nbdkit did not start")
            time.sleep(0.02)
        client = Client(str(sock))
        for offset, length in reads:
            try:
                client.read(offset, length)
            except OSError as error:
                if "failed" not in str(error):
                    raise
        client.close()
        pairs = dict(re.findall(r"(\w+) ([\d.]+)", stats.read_text()))
        return (int(pairs["seeks"]), float(pairs["seek_s"]), float(pairs["transfer_s"]),
                float(pairs["slow_s"]), int(pairs["failed"]))
    finally:
        server.terminate()
        server.wait()


def main():
    plugin = Path(sys.argv[1]).resolve()
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for what, reads, extra, expected in ROWS:
            got = run_row(plugin, Path(tmp), reads, extra)
            # The stats file keeps microseconds.
            ok = got[0] == expected[0] and got[4] == expected[4] and \
                all(abs(g - e) < 2e-6 for g, e in zip(got[1:4], expected[1:4]))
            failed += not ok
            print(f"{'ok  ' if ok else 'FAIL'} {what}: seeks, seek s, transfer s, slow s, failed = "
                  f"{got}" + ("" if ok else f", expected {tuple(round(e, 4) for e in expected)}"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
