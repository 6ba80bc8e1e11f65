"""The Wine prefix of the guest's desktop user, made on the host and brought in as the user's
disk, since wineboot takes minutes in the guest under TCG (about four) and seconds here (10-25).

The host and the guest run the same distribution and so the same Wine (checked: the version of
the host's wine64 is part of the cache key, and Wine would update a prefix whose stamp does not
match its own wine.inf at the first start, which the suite would notice as a slow start). The
prefix is the Windows tests' desktop prefix (scripts/wine-prefix --desktop: Wine's fonts, the
dialog font's replacement, a virtual desktop in which Wine draws the window frames), made as the
guest user (uid 1000) so that Wine accepts it there, with the drive letters E: and F: backed by
the guest's first two CD drives:

    dosdevices/e:: -> /dev/sr0     the device, for the device commands
    dosdevices/e:  -> /media/cdrom0 the folder the guest's automounter mounts the disc on
    HKLM\\Software\\Wine\\Drives  "e:" = "cdrom" (and f: for /dev/sr1, /media/cdrom1)

and Wine's relay trace narrowed to the calls whose answers the scenarios report (a process
started with +relay logs each with its arguments and its return value, nothing else).

Wine's mount manager keeps following the mounts through UDisks2 once it runs: it removes the
folder link while nothing is mounted and puts it back when the disc is.

The user's disk (ext4, the user's home folder at its root) is cached as
cache/wine/home-KEY.img and opened as a throw-away snapshot by each boot.
"""

import hashlib
import os
import shutil
import subprocess
import time
from pathlib import Path

from artifacts import BuildError

ROOT = Path(__file__).resolve().parents[3]
WINE_PREFIX_SCRIPT = ROOT / "scripts" / "wine-prefix"
# Bumped when the recipe below changes in a way its inputs do not show.
RECIPE_VERSION = 1
USER_UID = 1000
DRIVES = [("e", "/dev/sr0", "/media/cdrom0"), ("f", "/dev/sr1", "/media/cdrom1")]
DISK_MB = 2048
# The calls of the program that its relay trace shows: the device commands and the drive types.
RELAYED = ["DeviceIoControl", "GetDriveTypeA"]


def wine_version():
    result = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", "wine64"],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise BuildError("wine64 is not installed on the host (scripts/install-deps installs it)")
    return result.stdout.strip()


def _key():
    digest = hashlib.sha256(repr((RECIPE_VERSION, wine_version(), DRIVES, DISK_MB,
                                  RELAYED)).encode())
    digest.update(WINE_PREFIX_SCRIPT.read_bytes())
    return digest.hexdigest()[:16]


def _as_user(cmd, home: Path, **env):
    """Runs a command as the guest user's uid, with a minimal environment."""
    full_env = {"PATH": "/usr/bin:/bin", "HOME": str(home), "USER": "user", "LOGNAME": "user",
                **env}
    prefix = []
    if os.geteuid() == 0:
        prefix = ["setpriv", f"--reuid={USER_UID}", f"--regid={USER_UID}", "--clear-groups"]
    return subprocess.run(prefix + ["env", "-i"] + [f"{k}={v}" for k, v in full_env.items()]
                          + cmd, capture_output=True, text=True)


def _make_prefix(work: Path):
    """work/home/user/.wine, owned by the guest user when this runs as root (otherwise by the
    caller, and the guest hands it over at session start)."""
    home = work / "home" / "user"
    home.mkdir(parents=True)
    if os.geteuid() == 0:
        for folder in (work, work / "home", home):
            os.chown(folder, USER_UID, USER_UID)
    state = home / ".wine-build"
    result = _as_user([str(WINE_PREFIX_SCRIPT), str(state), "--desktop"], home)
    if result.returncode != 0:
        raise BuildError(f"scripts/wine-prefix failed:\n{result.stdout}{result.stderr}")
    prefix = home / ".wine"
    os.rename(state / "prefix", prefix)
    shutil.rmtree(state)
    reg = home / "drives.reg"
    reg.write_text("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n"
                   + "".join(f'"{letter}:"="cdrom"\n' for letter, _, _ in DRIVES)
                   + "\n[HKEY_CURRENT_USER\\Software\\Wine\\Debug]\n"
                   + f'"RelayInclude"="{";".join(RELAYED)}"\n')
    wine_env = {"WINEPREFIX": str(prefix), "WINEDEBUG": "-all"}
    result = _as_user(["/usr/lib/wine/wine64", "regedit", "/S",
                       "Z:" + str(reg).replace("/", "\\")], home, **wine_env)
    # The wineserver writes the registry to disk when it ends.
    _as_user(["/usr/lib/wine/wineserver", "-k"], home, **wine_env)
    _as_user(["/usr/lib/wine/wineserver", "-w"], home, **wine_env)
    reg.unlink()
    if '"e:"="cdrom"' not in (prefix / "system.reg").read_text(errors="replace"):
        raise BuildError(f"the drive types did not reach the prefix's registry: {result.stderr}")
    dosdevices = prefix / "dosdevices"
    for letter, device, mount_point in DRIVES:
        for name, target in ((f"{letter}:", mount_point), (f"{letter}::", device)):
            link = dosdevices / name
            if link.is_symlink() or link.exists():
                link.unlink()
            os.symlink(target, link)
            if os.geteuid() == 0:
                os.lchown(link, USER_UID, USER_UID)
    (prefix / ".dravolin-ready").unlink(missing_ok=True)
    os.chmod(home, 0o700)


def build_home_disk(cache: Path, log=print):
    """The cached user's disk with the prefix: (path, seconds spent or None from the cache)."""
    folder = cache / "wine"
    folder.mkdir(parents=True, exist_ok=True)
    image = folder / f"home-{_key()}.img"
    if image.exists():
        return image, None
    log("building the Wine prefix for the guest user (once)")
    started = time.monotonic()
    work = folder / "work"
    shutil.rmtree(work, ignore_errors=True)
    _make_prefix(work)
    tmp = image.with_suffix(".tmp")
    result = subprocess.run(["mke2fs", "-q", "-F", "-t", "ext4", "-L", "home", "-d",
                             str(work / "home"), str(tmp), f"{DISK_MB}M"],
                            capture_output=True, text=True)
    shutil.rmtree(work, ignore_errors=True)
    if result.returncode != 0:
        raise BuildError(f"mke2fs of the user's disk failed: {result.stderr}")
    for old in folder.glob("home-*.img"):
        old.unlink()
    os.replace(tmp, image)
    return image, time.monotonic() - started
