"""What every desktop scenario stands on: discs in and out, the copied files, the prompts, the
drives' state, the program's store, and putting things back after a scenario that failed.

Drives: D: is cd0 (/dev/sr0, IDE 0 master), E: cd1 (IDE 0 slave), F: cd2 (IDE 1 master),
G: cd3 (IDE 1 slave).
"""

import re
import struct
import time
import zlib

from desktopsuite import SuiteRun, failure_shot
from guest import CheckFailed
from machine import MachineError
from qtprogram import HOME, USER

LETTERS = "DEFG"
STORE = f"{HOME}/.config/dravolin/store"
PROMPTS = r"Confirm File Replace|Error Copying File|Copy finished"
# What the program says of a disc UDisks2 finds no file system on, which is also its answer
# while it has not looked at a new disc yet.
NO_FILES = "This disc holds no files the computer can read"


def copying_title(drive="[D-G]"):
    """A progress window's title: the drive as the dialog's list names it, "PHOTOS (E:)"."""
    return rf"Copying .*\(({drive}):\)"


def drive_named(text):
    """The letter of the drive a prompt names on a line of its own, as the dialog's list
    does."""
    found = re.search(r"\(([D-G]):\)$", text, re.M)
    return found.group(1) if found else None


def parse_store(data):
    """The store file's records, each checked: [(key, name, type, data)]. A damaged file is a
    failure: after a crash or a power cut the store must still be whole."""
    if data[:8] != b"DRVSTOR\x01":
        raise CheckFailed(f"the store does not start with its magic: {data[:8]!r}")
    records, pos = [], 8
    while pos < len(data):
        if data[pos:pos + 4] != b"\xd7REC" or pos + 8 > len(data):
            raise CheckFailed(f"the store is damaged at byte {pos} of {len(data)}")
        (length,) = struct.unpack_from("<I", data, pos + 4)
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length or pos + 12 + length > len(data):
            raise CheckFailed(f"the store's record at byte {pos} is cut short")
        (crc,) = struct.unpack_from("<I", data, pos + 8 + length)
        if zlib.crc32(body) != crc:
            raise CheckFailed(f"the store's record at byte {pos} fails its CRC")
        _, kind, key_length = struct.unpack_from("<III", body, 0)
        key = body[12:12 + key_length]
        at = 12 + key_length
        (name_length,) = struct.unpack_from("<I", body, at)
        name = body[at + 4:at + 4 + name_length]
        at += 4 + name_length
        (data_length,) = struct.unpack_from("<I", body, at)
        records.append((key.decode(), name.decode(), kind, body[at + 4:at + 4 + data_length]))
        pos += 12 + length
    return records


def history(records):
    """The destination history, most recent first, as stored."""
    entries = sorted((name, value) for _, name, _, value in records
                     if re.fullmatch(r"Destination\d\d", name))
    return [value.decode("utf-8", "replace") for _, value in entries]


class QtRun(SuiteRun):
    def __init__(self, boot, program, discs, log):
        super().__init__(boot, discs, log)
        self.d = program
        self.unknown_disc = 0  # times UDisks2 did not know a disc yet (answered Retry)
        self.loaded = {}  # drive letter -> the disc last put in

    # --- running the scenarios ---

    def attempt(self, name, action):
        log_start = 0
        try:
            self.reset()
            log_start = len(self.d.program_log())
            action()
            return "ok"
        except (CheckFailed, MachineError) as error:
            said = ""
            try:  # the screenshot and the program's own words help; they are never the verdict
                failure_shot(self.d, name)
                said = "\n".join(line for line in self.d.program_log()[log_start:].splitlines()
                                 if not line.startswith("tick "))[-1200:]
            except Exception:
                pass
            return f"FAIL {error}" + (f"\nthe program said meanwhile:\n{said}" if said else "")

    def step(self, name, action):
        """Runs a scenario once: a failure is the verdict. The one thing tried again is an input
        event the X server under emulation lost (a click on a window that did not take input
        yet), and only where the scenario's own input helpers can tell it was lost: they send it
        once more and say so in the log (see answer, close_prompt, QtProgram.set_checked)."""
        started = time.monotonic()
        outcome = self.attempt(name, action)
        self.record(name, time.monotonic() - started, outcome)
        if outcome != "ok":
            try:  # the next scenario starts from a restarted program, with the trays forced
                if self.d.running():
                    self.agent.signal(self.d.pid, 9)
                    self.agent.wait(self.d.pid, 10)
            except (CheckFailed, MachineError):
                pass

    def reset(self):
        """Every scenario starts from the program's dialog alone on the screen, every drive
        unticked, empty and released. What a failed scenario left behind (a stuck worker, a
        prompt, a mount) is cleared by restarting the program and forcing the trays."""
        if self.d.running():
            self.dismiss_notes()
        clean = self.d.running() and all(w["name"] == "Dravolin" for w in self.d.windows())
        rows = self.d.rows() if clean else []
        if clean and len(rows) != 4:
            clean = False
        for row in rows:
            if not clean:
                break
            if row.checked:
                if row.status == "Disc copying":
                    clean = False
                else:
                    self.d.set_checked(row.letter, False)
        if not clean:
            self.log("       (the program is restarted for the next scenario)")
            if self.d.running():
                self.agent.signal(self.d.pid, 9)
                self.agent.wait(self.d.pid, 10)
            self.d.start()
        self.agent.run(sh="for d in /dev/sr*; do grep -q \"^$d \" /proc/mounts && "
                          "umount -l \"$d\"; done; exit 0")
        for drive, (tray_open, inserted) in self.m.trays().items():
            if inserted:
                self.m.throttle(drive, 0)
            if inserted or not tray_open:
                self.m.eject(drive)

    def stop_program(self):
        """Ends the program as a session's end does (SIGTERM), killing it if it hangs."""
        if self.d.running():
            self.agent.signal(self.d.pid, 15)
            if self.agent.wait(self.d.pid, 20) is None:
                self.agent.signal(self.d.pid, 9)
                self.agent.wait(self.d.pid, 10)

    def fresh_target(self, name):
        """A target folder of the user's that holds nothing yet, even in a second attempt."""
        target = f"{HOME}/discs/{name}"
        self.agent.run(sh=f"rm -rf '{target}'", user=USER)
        return target

    # --- discs and drives ---

    def load(self, drive, disc):
        self.m.change(LETTERS.index(drive), self.discs[disc].iso)
        self.loaded[drive] = disc

    def retry_unknown_disc(self):
        """The one prompt the scenarios answer on their own: UDisks2 did not know the new disc
        yet when the program asked it to mount (the drive reports a disc before udev and
        UDisks2 have looked at it). A user answers Retry; each time is counted, and the
        scenario made for this race reports it."""
        if not any(w["name"] == "Error Copying File" for w in self.d.windows()):
            return False
        node = self.d.top_level("Error Copying File")
        if not node or "showing" not in node.get("states", []):
            return False
        text = self.prompt_text(node)
        drive = drive_named(text)
        # A disc without a file system (blank, audio) gets the same answer from UDisks2 for
        # good: only a disc that has one is retried.
        disc = self.loaded.get(drive) if drive else None
        if NO_FILES in text and disc and self.discs[disc].raw is None:
            self.unknown_disc += 1
            self.answer(node, "Retry")
            self.d.wait_window("Error Copying File", 10, gone=True)
            return True
        return False

    def wait_ejected(self, drive, timeout=60):
        index = LETTERS.index(drive)
        deadline = time.monotonic() + timeout
        while not self.m.trays()[index][0]:
            if time.monotonic() > deadline:
                raise CheckFailed(f"the tray of {drive}: never opened within {timeout} s; "
                                  f"windows: {[w['name'] for w in self.d.windows()]}")
            if not self.retry_unknown_disc():
                time.sleep(0.3)

    def wait_copying(self, drive, timeout=60):
        """The progress window of the drive's copy."""
        deadline = time.monotonic() + timeout
        while True:
            for window in self.d.windows():
                if re.fullmatch(copying_title(drive), window["name"]):
                    return window
            if time.monotonic() > deadline:
                raise CheckFailed(f"no progress window for {drive}: within {timeout} s; "
                                  f"windows: {[w['name'] for w in self.d.windows()]}")
            if not self.retry_unknown_disc():
                time.sleep(0.2)

    def mounts(self, device):
        lines = self.agent.read("/proc/self/mounts").decode().splitlines()
        return [line.split()[1] for line in lines if line.split()[0] == device]

    def held(self, drive):
        """What still holds the drive: a mount, a locked door."""
        index = LETTERS.index(drive)
        problems = []
        mounted = self.mounts(f"/dev/sr{index}")
        if mounted:
            problems.append(f"/dev/sr{index} is still mounted on {mounted}")
        if self.m.drive_states()[index]["locked"]:
            problems.append(f"the door of {drive}: is still locked")
        return problems

    def wait_released(self, drive, timeout):
        """Waits for the drive to be neither mounted nor locked; the problems left, if any."""
        deadline = time.monotonic() + timeout
        while True:
            problems = self.held(drive)
            if not problems or time.monotonic() > deadline:
                return problems
            time.sleep(0.3)

    # --- files ---

    def compare(self, folder, expected, optional=(), temporary_ok=False):
        """The differences between a folder and {path: sha256}: files missing or different,
        unexpected files, entries that are not regular files. `optional` files may be absent
        but must be whole when present; our own temporary files are allowed with
        `temporary_ok`."""
        files, others = self.target_files(folder)
        problems = [f"missing: {p}" for p in expected if p not in files]
        problems += [f"differs: {p}" for p in expected
                     if p in files and files[p][0] != expected[p]]
        for path, (digest, size) in files.items():
            if path in expected:
                continue
            if path in optional:
                if digest != optional[path]:
                    problems.append(f"incomplete under its real name: {path} ({size} bytes)")
            elif re.search(r"(^|/)\.dravolin-[^/]*\.part$", path):
                if not temporary_ok:
                    problems.append(f"temporary file left: {path} ({size} bytes)")
            else:
                problems.append(f"unexpected: {path} ({size} bytes)")
        problems += [f"not a regular file: {p}" for p in others]
        return problems

    def check_copy(self, folder, disc):
        problems = self.compare(folder, self.discs[disc].expected())
        if problems:
            raise CheckFailed(f"{folder} after copying {disc}:\n    " + "\n    ".join(problems))
        return len(self.discs[disc].expected())

    # --- prompts ---

    def wait_prompt(self, title, timeout=60):
        """The prompt's X window and its accessible node, once it is on the screen (a prompt
        about a disc UDisks2 did not know yet is answered with Retry on the way)."""
        deadline = time.monotonic() + timeout
        while True:
            if self.retry_unknown_disc():
                continue
            window = next((w for w in self.d.windows() if re.fullmatch(title, w["name"])), None)
            node = self.d.top_level(title) if window else None
            if node and "showing" in node.get("states", []):
                return window, node
            if time.monotonic() > deadline:
                raise CheckFailed(f"no '{title}' prompt within {timeout} s; windows: "
                                  f"{[w['name'] for w in self.d.windows()]}")
            time.sleep(0.3)

    def prompt_text(self, node):
        return "\n".join(self.d.texts(node))

    def answer(self, node, button):
        """Presses a prompt's button and waits for that prompt's window to go. A click that
        reaches the X server while the new window does not take input yet is lost (seen under
        a loaded TCG guest): the user clicks again, once, and this says so in the log."""
        title = node.get("name", "")
        before = {w["id"] for w in self.d.windows() if w["name"] == title}
        self.d.press(node, button)
        for attempt in range(2):
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline:
                if not before or before - {w["id"] for w in self.d.windows()}:
                    return
                time.sleep(0.2)
            again = self.d.top_level(re.escape(title)) if attempt == 0 else None
            if not again:
                return  # the caller's own checks tell what happened
            self.log(f"       ({title!r}: the click on {button} was not taken, clicked again)")
            self.d.press(again, button)

    def close_prompt(self, window):
        """The prompt's close box, as a window manager sends it; sent once more when the first
        message is lost, as a click is (see answer), and said in the log."""
        self.d.close_box(window["id"])
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            if window["id"] not in {w["id"] for w in self.d.windows()}:
                return
            time.sleep(0.2)
        self.log(f"       ({window['name']!r}: the close box was not taken, closed again)")
        self.d.close_box(window["id"])

    def dismiss_notes(self, wait=0.0):
        """Presses OK on every "Copy finished" note (a copy that did not complete ends with
        one), waiting up to `wait` seconds for the first; returns what they said."""
        texts = []
        deadline = time.monotonic() + wait
        while True:
            shown = [w for w in self.d.windows() if w["name"] == "Copy finished"]
            if not shown:
                if texts or time.monotonic() >= deadline:
                    return texts
                time.sleep(0.3)
                continue
            notes = [n for n in (self.d.app() or {}).get("children", [])
                     if n.get("name") == "Copy finished" and "showing" in n.get("states", [])]
            if notes:
                texts.append(self.prompt_text(notes[0]))
                self.answer(notes[0], "OK")
                deadline = time.monotonic() + 10  # for the note to go
            elif time.monotonic() > deadline + 10:
                raise CheckFailed("a 'Copy finished' note is on the screen but not in the "
                                  "program's accessibility tree")
            time.sleep(0.3)

    def untick(self, letter):
        self.dismiss_notes()
        self.d.set_checked(letter, False)

    def store(self):
        return parse_store(self.agent.read(STORE))

    def program_rss_peak_kb(self):
        status = self.agent.read(f"/proc/{self.d.pid}/status").decode()
        return int(re.search(r"VmHWM:\s+(\d+)", status).group(1))

    def as_user(self, command):
        return self.agent.run(sh=command, user=USER)["out"]
