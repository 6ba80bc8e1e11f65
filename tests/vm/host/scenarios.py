"""The copy cycle on two emulated drives, D: (cd0, /dev/sr0) and E: (cd1, /dev/sr1), in one boot.

Each step loads or ejects discs through the monitor, waits for the guest's lines and the trays,
and records what the target folders must hold; the end compares that with the guest's report.
"""

import hashlib
import re
import subprocess
import tempfile
import time

from guest import CheckFailed

LETTERS = "DE"
POLL_MS = 250
SLOW = 6 * 1024 * 1024  # bytes per second: a copy that takes long enough to act during it


class Run:
    def __init__(self, machine, guest, discs, log):
        self.m = machine
        self.g = guest
        self.discs = discs
        self.log = log
        self.expected = {}  # target-relative path -> sha256 that must be there
        self.optional = {}  # path -> sha256 that may be there (a copy cut short)
        self.forbidden = set()  # paths that must not be there
        self.serials = {}  # disc name -> serial the guest showed
        self.results = []  # (scenario, seconds)
        self.cycle_lines = None

    # --- helpers ---

    def expect_copy(self, folder, disc):
        for rel, digest in self.discs[disc].expected().items():
            self.expected[f"{folder}/{rel}"] = digest

    def load(self, drive, disc):
        self.m.change(drive, self.discs[disc].iso)

    def copied(self, drive, disc, since, outcome="completed", fs=None):
        """Waits for the copy of `disc` in `drive` and its eject; checks the label shown and,
        given `fs`, the file system the disc was read through."""
        letter = LETTERS[drive]
        i, match = self.g.wait(rf"^DRV {letter} label (.*) serial ([0-9a-f]{{8}})$", since=since)
        label, serial = match.group(1), match.group(2)
        if label != self.discs[disc].label:
            raise CheckFailed(f"drive {letter} shows label '{label}' for disc {disc}")
        self.serials[disc] = serial
        self.g.wait(rf"^COPY {letter} start ", since=since)
        if fs:
            _, mounted = self.g.wait(rf"^COPY {letter} fs (\S+)$", since=since)
            if mounted.group(1) != fs:
                raise CheckFailed(f"disc {disc} was read as {mounted.group(1)}, not {fs}")
        _, done = self.g.wait(rf"^COPY {letter} done (\w+)", since=since)
        if done.group(1) != outcome:
            raise CheckFailed(f"copy of {disc} in {letter}: {done.group(0)}, not {outcome}")
        return self.ejected(drive, since)

    def ejected(self, drive, since):
        """Waits for the guest's eject of `drive` and for the host to see its tray open."""
        end, match = self.g.wait(rf"^IOCTL sr{drive} eject (ok|failed.*)$", since=since)
        if match.group(1) != "ok":
            raise CheckFailed(f"the cycle's eject of drive {LETTERS[drive]} {match.group(1)}")
        self.m.wait_tray(drive, True)
        return end

    def step(self, name, action):
        started = time.monotonic()
        since = self.g.set_mark()
        action(since)
        seconds = time.monotonic() - started
        self.results.append((name, seconds))
        self.log(f"  ok  {name} ({seconds:.1f} s)")

    # --- scenarios ---

    def start_closes_tray_and_copies_disc_in(self, _since):
        """D: starts empty with its tray open: the cycle closes it and waits. E: holds a
        Joliet disc from the start: copied and ejected. All of it follows the start on its
        own, so every line since the first counts."""
        self.g.wait(r"^IOCTL sr0 close ok$", since=0)
        self.m.wait_tray(0, False)
        self.g.wait(r"^DRV D state Waiting$", since=0)
        # E:'s disc may be told before or after D: waits: whichever the machine's load makes first.
        first = self.g.wait(r"^DRV E label", since=0)[0]
        end = self.copied(1, "joliet", 0, fs="iso9660")
        self.expect_copy("t1", "joliet")
        self.cycle_lines = [line for line in self.g.lines[first:end + 1]
                            if re.match(r"^(DRV|COPY|PROMPT) E |^IOCTL sr1 ", line)]

    def next_disc_rock_ridge(self, since):
        """A Rock Ridge disc with a deep tree goes into the waiting D:."""
        self.load(0, "rockridge")
        self.copied(0, "rockridge", since, fs="iso9660")
        self.expect_copy("t1", "rockridge")

    def two_drives_in_parallel(self, since):
        """A large file in D: and a UDF disc in E:, both slowed down so the copies overlap:
        the UDF disc holds little, so its drive is slowed the most."""
        self.load(0, "large")
        self.load(1, "udf")
        # Slow enough that E:'s disc is found while D: still copies, however late a busy machine
        # finds it (CI saw it 4 s after D:'s copy began).
        self.m.throttle(0, SLOW // 3)
        self.m.throttle(1, 24 * 1024)
        d_start = self.g.wait(r"^COPY D start ", since=since)[0]
        e_start = self.g.wait(r"^COPY E start ", since=since)[0]
        first_done = self.g.wait(r"^COPY [DE] done ", since=since)[0]
        if first_done < max(d_start, e_start):
            raise CheckFailed("the copies did not overlap: one ended before the other began")
        self.copied(0, "large", since)
        self.copied(1, "udf", since, fs="udf")
        self.m.throttle(0, 0)
        self.m.throttle(1, 0)
        self.expect_copy("t1", "large")
        self.expect_copy("t1", "udf")
        if self.serials["large"] == self.serials["udf"]:
            raise CheckFailed("two different discs showed the same serial")

    def same_names_policy_decides(self, since):
        """Three discs with the same file names into one folder: replace, then skip."""
        self.g.command("target /target/names")
        self.load(0, "names-a")
        self.copied(0, "names-a", since)
        mark = self.g.set_mark()
        self.load(1, "names-b")
        self.copied(1, "names-b", mark)
        for rel in ("same.txt", "shared/inner.bin"):
            self.g.wait(rf"^PROMPT exists {re.escape(rel)} -> replace$", since=mark)
        self.g.command("on-exists skip")
        mark = self.g.set_mark()
        self.load(0, "names-c")
        self.copied(0, "names-c", mark)
        for rel in ("same.txt", "shared/inner.bin"):
            self.g.wait(rf"^PROMPT exists {re.escape(rel)} -> skip$", since=mark)
        b = self.discs["names-b"].expected()
        for disc in ("names-a", "names-b", "names-c"):
            suffix = disc[-1]
            self.expected[f"names/only-on-{suffix}.txt"] = self.discs[disc].expected()[f"only-on-{suffix}.txt"]
        self.expected["names/same.txt"] = b["same.txt"]
        self.expected["names/shared/inner.bin"] = b["shared/inner.bin"]
        if len({self.serials[d] for d in ("names-a", "names-b", "names-c")}) != 3:
            raise CheckFailed("discs with the same names showed the same serial")

    def blank_then_empty_disc(self, since):
        """A disc without a file system: the error is shown, the disc ejected, and the next
        disc (an empty one) is copied in turn."""
        self.g.command("on-error skip")
        self.load(1, "blank")
        self.g.wait(r"^COPY E error /dev/sr1: .* -> skip$", since=since)
        self.g.wait(r"^COPY E done failed", since=since)
        self.ejected(1, since)
        mark = self.g.set_mark()
        self.load(1, "empty")
        self.copied(1, "empty", mark)

    def eject_during_copy(self, since):
        """The host pulls the disc out in the middle of the large file: the error is shown, no
        partial file is left under its name, and the drive goes back to waiting."""
        self.g.command("target /target/cut")
        self.load(0, "large")
        self.m.throttle(0, SLOW)
        self.g.wait(r"^COPY D file big\.bin$", since=since)
        self.m.eject(0)
        self.g.wait(r"^COPY D error .*big\.bin.* -> skip$", since=since)
        _, done = self.g.wait(r"^COPY D done (\w+)", since=since)
        if done.group(1) == "completed":
            raise CheckFailed("a copy whose disc was pulled out reported success")
        self.g.wait(r"^DRV D state Ejecting$", since=since)
        # "Waiting" is shown as the eject worker starts: a disc loaded before its ioctl
        # lands would be thrown out again, so the next step starts after the eject itself.
        self.ejected(0, since)
        self.forbidden.add("cut/big.bin")
        large = self.discs["large"].expected()
        self.optional["cut/after/small.txt"] = large["after/small.txt"]

    def links_and_devices_stay_out(self, since):
        """Links leading out of the disc, a device node and a FIFO: only regular files and
        folders arrive, and nothing appears outside the target (checked at the end)."""
        self.g.command("target /target/special")
        self.load(0, "special")
        self.m.throttle(0, 0)  # still set from the cut copy; it needs a medium to be changed
        self.copied(0, "special", since)
        self.expect_copy("special", "special")

    def swaps_past_a_prober(self, since):
        """Another process asks D: for media changes every 20 ms, as a desktop's disc prober
        does, and so takes the kernel's one shared flag before the program asks. Discs swapped
        behind a closed tray show only as that change: the unticked row still follows each."""
        self.g.command("untick D")
        self.g.command("prober /dev/sr0")
        self.g.wait(r"^PROBER sr0 started$", since=since)
        self.load(0, "names-a")
        self.g.wait(r"^DRV D label NAMES_A ", since=since)
        for disc in ("names-b", "names-c", "names-a"):
            mark = self.g.set_mark()
            self.load(0, disc)
            self.g.wait(rf"^DRV D label {self.discs[disc].label} ", timeout=20, since=mark)
        self.g.command("prober off")
        taken = sum(1 for line in self.g.lines[since:]
                    if line == "PROBER sr0 took a media change")
        if taken == 0:
            raise CheckFailed("the prober took no media change: the case proved nothing")
        self.log(f"      the prober took {taken} media changes before the program asked")

    def scratched_disc_bagged(self, since):
        """A disc with scratches (QEMU's blkdebug fails every read that covers one of its
        sectors), the last sector among them and the one sector of a 26-byte file, made a bag
        from its image on the real sr driver and a loop device: the map's bad sectors are the
        scratched ones and ddrescuelog reads the map alike; the image is the disc up to its
        volume's end with zeros where the scratches are; each file's damaged ranges are what the
        scratches mean for it, and its bytes in the bag are the disc's with zeros there."""
        self.g.command("untick D,E")
        disc = self.discs["large"]
        data = disc.iso.read_bytes()
        volume = int.from_bytes(data[16 * 2048 + 80:16 * 2048 + 84], "little")
        sectors = min(volume, len(data) // 2048)
        starts = {path: data.find(content[:64]) // 2048 for path, content in disc.files.items()}
        bad = {sectors // 2, sectors // 2 + 1, *range(sectors - 300, sectors - 291), sectors - 1,
               starts["after/small.txt"]}
        self.m.insert_scratched(1, disc.iso, bad)
        self.g.wait(rf"^DRV E label {disc.label} ", since=since)
        self.g.command("bag /dev/sr1 /run/bags", timeout=600)
        _, said = self.g.wait(r"^BAG /dev/sr1 result (\d+) published (\d)(.*)$", since=since)
        tags = {}
        for line in self.g.lines[since:]:
            if line.startswith("TAG "):
                name, _, text = line[4:].partition(" ")
                tags.setdefault(name, []).append(text)
        problems = []
        if said.group(1) != "1" or said.group(2) != "1":
            problems.append(f"the bag ended as {said.group(0)}, not published incomplete")
        mapped = "\n".join(tags.get("data/image/disc.map", []))
        marked = set()
        lines = [line.split() for line in mapped.splitlines() if not line.startswith("#")]
        for fields in lines[1:]:  # after the line that says where the read stands
            pos, size, state = int(fields[0], 16), int(fields[1], 16), fields[2]
            if state != "+":
                marked |= {(pos + i) // 2048 for i in range(0, size, 2048)}
        if marked != bad:
            problems.append(f"the map's unread sectors {sorted(marked)} are not the scratched "
                            f"{sorted(bad)}")
        with tempfile.NamedTemporaryFile("w", suffix=".map") as f:
            f.write(mapped + "\n")
            f.flush()
            listed = subprocess.run(["ddrescuelog", "-b", "2048", "-l-", f.name],
                                    capture_output=True, text=True)
        if listed.returncode != 0 or {int(n) for n in listed.stdout.split()} != bad:
            problems.append(f"ddrescuelog lists the bad sectors as {listed.stdout.split()} "
                            f"({listed.stderr.strip()})")
        image = bytearray(data[:sectors * 2048])
        for sector in bad:
            image[sector * 2048:(sector + 1) * 2048] = bytes(2048)
        expected = {"data/image/disc.iso": hashlib.sha256(image).hexdigest()}
        damaged = []
        for path, content in disc.files.items():
            kept = bytearray(content)
            for at in range(0, len(content), 2048):
                if starts[path] + at // 2048 in bad:
                    end = min(at + 2048, len(content))
                    kept[at:end] = bytes(end - at)
                    if damaged and damaged[-1][0] == path and damaged[-1][2] == at:
                        damaged[-1][2] = end
                    else:
                        damaged.append([path, at, end])
            expected["data/files/" + path] = hashlib.sha256(kept).hexdigest()
        manifest = {line.split("  ", 1)[1]: line.split("  ", 1)[0]
                    for line in tags.get("manifest-sha256.txt", [])}
        for path, digest in expected.items():
            if manifest.get(path) != digest:
                problems.append(f"{path} in the bag is not the disc with zeros where scratched")
        listed_damage = [line for line in tags.get("damaged-files.txt", [])
                         if line.startswith("data/files/")]
        if sorted(listed_damage) != sorted(f"data/files/{p} {b}-{e}" for p, b, e in damaged):
            problems.append(f"damaged-files.txt lists {listed_damage}, the scratches mean "
                            f"{damaged}")
        if problems:
            raise CheckFailed("; ".join(problems))
        self.log(f"      {len(damaged)} damaged ranges in {len(disc.files)} files, as scratched")
        self.m.eject(1)

    def all(self):
        return [
            ("tray open and empty at start; a Joliet disc already in",
             self.start_closes_tray_and_copies_disc_in),
            ("next disc: Rock Ridge, nested folders, label and serial change",
             self.next_disc_rock_ridge),
            ("two drives in parallel: a large file and a UDF disc", self.two_drives_in_parallel),
            ("same names on three discs: replace, then skip", self.same_names_policy_decides),
            ("blank disc, then an empty disc", self.blank_then_empty_disc),
            ("disc ejected by the host in the middle of a copy", self.eject_during_copy),
            ("links and device nodes never copied as such", self.links_and_devices_stay_out),
            ("discs swapped while another process polls the drive for media changes",
             self.swaps_past_a_prober),
            ("a scratched disc made a bag from its image and map", self.scratched_disc_bagged),
        ]

    def final_check(self):
        sums, others, outside = self.g.report()
        problems = []
        for path, digest in self.expected.items():
            if path not in sums:
                problems.append(f"missing: {path}")
            elif sums[path] != digest:
                problems.append(f"differs: {path}")
        for path, digest in sums.items():
            if path in self.expected:
                continue
            if path in self.optional:
                if digest != self.optional[path]:
                    problems.append(f"incomplete file under its real name: {path}")
            elif path in self.forbidden:
                problems.append(f"partial file under its real name: {path}")
            else:
                problems.append(f"unexpected file: {path}")
        problems += [f"not a regular file or folder in the target: {e}" for e in others]
        problems += [f"written outside the target: {p}" for p in outside]
        if self.g.find(r"^BYE$", since=0) is None:
            problems.append("the guest program did not end cleanly (no BYE)")
        if problems:
            raise CheckFailed("the target folders are wrong:\n  " + "\n  ".join(problems))
        return len(sums)
