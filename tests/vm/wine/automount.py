"""The guest's automounter for the Windows program under Wine, run as root: what the Windows
shell's automount does for Dravolin.exe, done the way a Linux desktop does it.

    automount.py DEVICE:MOUNT_POINT...

Every drive gets an fstab entry with the option `users`, so that the desktop user may unmount
it: Wine does so on the user's behalf when Dravolin.exe ejects (FSCTL_DISMOUNT_VOLUME runs
umount on the disc's mount point). The kernel polls the drives for disc changes, udev reports
them, and this follows udev's events:

- a new disc with a file system (a media change that brings one) is mounted read-only at the
  drive's mount point, at once or after the delay the host asked for (see below);
- a disc that leaves while still mounted (the tray opened by force, the disc pulled away) is
  unmounted lazily, since its file system can no longer be read.

A disc is mounted when the kernel reports its arrival (a media change), never again after
someone unmounted it while it stays in the drive: the eject that follows Wine's dismount must not
find it mounted again.

The host delays the next mount of a drive by writing the seconds into /run/automount/delay-srN
(the file is consumed by that mount), which is how a desktop's automounter can lag behind the
disc. Every action goes to standard output as one line, after the seconds since boot (the clock
of the kernel's log and of Wine's trace): "12.34 MOUNT sr0 /media/cdrom0 ok 0.21 s".
"""

import os
import select
import subprocess
import sys
import threading
import time

CONTROL = "/run/automount"
POLL_MSECS = 1000


def say(text):
    with open("/proc/uptime") as uptime:
        now = uptime.read().split()[0]
    print(f"{now} {text}", flush=True)


def mounted(mount_point):
    with open("/proc/self/mounts") as mounts:
        return any(line.split()[1] == mount_point for line in mounts)


def properties(lines):
    event = {}
    for line in lines:
        key, _, value = line.partition("=")
        event[key] = value
    return event


class Drive:
    def __init__(self, device, mount_point):
        self.device = device
        self.name = os.path.basename(device)
        self.mount_point = mount_point
        self.lock = threading.Lock()
        self.generation = 0  # bumped when a disc leaves: a pending mount of it is dropped
        self.not_before = 0.0  # the host's delay for the disc that arrived last
        self.mounted_disc = None  # (file system UUID, label) of the disc this program mounted
        self.released_disc = None  # a disc someone else unmounted while it stayed in the drive
        self.own_unmount = False

    def mount(self, generation, disc):
        time.sleep(max(0.0, self.not_before - time.monotonic()))
        with self.lock:
            if generation != self.generation or disc == self.released_disc:
                return
            if mounted(self.mount_point):
                if self.mounted_disc == disc:
                    return
                # Another disc took the place of the one still mounted, too fast for the
                # kernel to report the drive empty in between.
                self.own_unmount = True
                subprocess.run(["umount", "-l", self.mount_point], capture_output=True)
                say(f"UNMOUNT {self.name} {self.mount_point} (disc replaced)")
            started = time.monotonic()
            result = subprocess.run(["mount", self.mount_point], capture_output=True, text=True)
            outcome = "ok" if result.returncode == 0 else "failed " + result.stderr.strip()
            self.mounted_disc = disc if result.returncode == 0 else None
            say(f"MOUNT {self.name} {self.mount_point} {outcome} "
                f"{time.monotonic() - started:.2f} s")

    def arrived(self, event):
        """A disc change that brings a disc with a file system. udev reports one change more
        than once; each report mounts the disc unless it is mounted already."""
        disc = (event.get("ID_FS_UUID", ""), event.get("ID_FS_LABEL", ""))
        delay_file = os.path.join(CONTROL, f"delay-{self.name}")
        with self.lock:
            generation = self.generation
            if os.path.exists(delay_file):
                with open(delay_file) as f:
                    delay = float(f.read().strip() or 0)
                os.unlink(delay_file)
                self.not_before = time.monotonic() + delay
                say(f"DELAY {self.name} {delay:.1f} s")
        say(f"DISC {self.name} {event.get('ID_FS_TYPE')} {disc[1]}")
        threading.Thread(target=self.mount, args=(generation, disc), daemon=True).start()

    def gone(self):
        with self.lock:
            self.generation += 1
            self.mounted_disc = self.released_disc = None
            if mounted(self.mount_point):
                self.own_unmount = True
                result = subprocess.run(["umount", "-l", self.mount_point], capture_output=True,
                                        text=True)
                outcome = "ok" if result.returncode == 0 else "failed " + result.stderr.strip()
                say(f"UNMOUNT {self.name} {self.mount_point} (disc gone) {outcome}")
            else:
                say(f"GONE {self.name}")

    def event(self, event, initial=False):
        """A udev event (or the state found at start) for this drive."""
        if not initial and event.get("DISK_MEDIA_CHANGE") != "1":
            return
        if event.get("ID_CDROM_MEDIA") == "1" and event.get("ID_FS_TYPE"):
            self.arrived(event)
        else:
            self.gone()


def watch_unmounts(drives):
    """Notices every unmount of a drive's mount point, and reports the ones this program did not
    make (Wine's dismount before an eject): that disc is not mounted again while it stays in the
    drive. The kernel flags /proc/self/mounts at each change."""
    with open("/proc/self/mounts") as mounts:
        poller = select.poll()
        poller.register(mounts, select.POLLPRI | select.POLLERR)
        before = {d.mount_point for d in drives if mounted(d.mount_point)}
        while True:
            poller.poll()
            mounts.seek(0)
            now = {line.split()[1] for line in mounts.read().splitlines()}
            for drive in drives:
                if drive.mount_point in before and drive.mount_point not in now:
                    with drive.lock:
                        if drive.own_unmount:
                            drive.own_unmount = False
                        else:
                            drive.released_disc = drive.mounted_disc
                            say(f"UNMOUNTED {drive.name} {drive.mount_point} by another")
            before = {d.mount_point for d in drives if d.mount_point in now}


def setup(drives):
    os.makedirs(CONTROL, exist_ok=True)
    with open("/etc/fstab", "a") as fstab:
        for drive in drives:
            os.makedirs(drive.mount_point, exist_ok=True)
            fstab.write(f"{drive.device} {drive.mount_point} auto ro,users,noauto 0 0\n")
            # The kernel looks for disc changes itself (udev then reports them), as desktops
            # have it do for removable drives; without it a change is noticed only when a
            # program opens the drive.
            with open(f"/sys/block/{drive.name}/events_poll_msecs", "w") as f:
                f.write(str(POLL_MSECS))


def main(args):
    drives = {}
    for arg in args:
        device, _, mount_point = arg.partition(":")
        drives[device] = Drive(device, mount_point)
    setup(drives.values())
    threading.Thread(target=watch_unmounts, args=(list(drives.values()),), daemon=True).start()
    monitor = subprocess.Popen(["udevadm", "monitor", "--udev", "--property",
                                "--subsystem-match=block"], stdout=subprocess.PIPE, text=True)
    # The state before the first event: a disc already in a drive is mounted now.
    for drive in drives.values():
        info = subprocess.run(["udevadm", "info", "--query=property", drive.device],
                              capture_output=True, text=True).stdout.splitlines()
        drive.event(properties(info), initial=True)
    say("READY")
    block = []
    for line in monitor.stdout:
        line = line.rstrip("\n")
        if line:
            block.append(line)
            continue
        event = properties(block[1:])
        block = []
        drive = drives.get(event.get("DEVNAME"))
        if drive and event.get("ACTION") == "change":
            drive.event(event)


if __name__ == "__main__":
    main(sys.argv[1:])
