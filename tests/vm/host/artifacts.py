"""The guest's kernel and initramfs, built from Debian packages and cached.

The kernel package is downloaded and unpacked, never installed: the host kernel here has no
loadable modules, so everything that touches a disc happens inside the guest.
"""

import contextlib
import fcntl
import hashlib
import os
import re
import shutil
import stat
import subprocess
from pathlib import Path

# In load order; each module's own dependencies are added in front of it.
DRIVE_MODULES = ["scsi_common", "scsi_mod", "libata", "ata_piix", "cdrom", "sr_mod", "nls_utf8",
                 "isofs", "udf", "loop"]


class BuildError(Exception):
    pass


@contextlib.contextmanager
def cache_lock(cache: Path):
    """Held while a suite takes what it needs from the cache or builds it there: the suites run
    side by side, and one must neither build what another is building nor boot what another
    has half written."""
    cache.mkdir(parents=True, exist_ok=True)
    with open(cache / "build.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


def run(cmd, **kwargs):
    result = subprocess.run(cmd, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise BuildError(f"{' '.join(map(str, cmd))} failed:\n{result.stdout}{result.stderr}")
    return result.stdout


def kernel_package():
    """The versioned image package that linux-image-amd64 depends on."""
    for attempt in range(2):
        out = subprocess.run(["apt-cache", "depends", "linux-image-amd64"],
                             capture_output=True, text=True).stdout
        match = re.search(r"Depends:\s+(linux-image-[0-9][^\s]*-amd64)", out)
        if match:
            return match.group(1)
        if attempt == 0:
            # A fresh machine has no package lists yet.
            run(["apt-get", "update", "-qq"])
    raise BuildError("apt-cache knows no linux-image-amd64: cannot fetch a guest kernel")


def fetch_kernel(cache: Path):
    """Returns (vmlinuz, modules folder) of an unpacked kernel package under cache/kernel."""
    root = cache / "kernel" / "root"
    found = sorted(root.glob("boot/vmlinuz-*"))
    if not found:
        download = cache / "kernel" / "download"
        shutil.rmtree(download, ignore_errors=True)
        download.mkdir(parents=True)
        run(["apt-get", "download", kernel_package()], cwd=download)
        debs = list(download.glob("*.deb"))
        if len(debs) != 1:
            raise BuildError(f"expected one kernel package in {download}, found {debs}")
        shutil.rmtree(root, ignore_errors=True)
        run(["dpkg", "-x", str(debs[0]), str(root)])
        shutil.rmtree(download)
        found = sorted(root.glob("boot/vmlinuz-*"))
        if not found:
            raise BuildError("the kernel package holds no boot/vmlinuz-*")
    vmlinuz = found[-1]
    version = vmlinuz.name[len("vmlinuz-"):]
    return vmlinuz, root / "lib" / "modules" / version


def module_depends(ko: Path):
    """The 'depends=' entry of a module's .modinfo section (modinfo -F depends)."""
    data = ko.read_bytes()
    match = re.search(rb"\x00depends=([^\x00]*)\x00", data)
    if not match or not match.group(1):
        return []
    return match.group(1).decode().split(",")


def ordered_modules(modules_dir: Path, wanted):
    """The wanted modules and their dependencies, each after what it depends on."""
    index = {}
    for ko in modules_dir.rglob("*.ko"):
        index[ko.stem.replace("-", "_")] = ko
    order, seen = [], set()

    def visit(name):
        key = name.replace("-", "_")
        if key in seen:
            return
        if key not in index:
            raise BuildError(f"module {name} is not in {modules_dir}")
        seen.add(key)
        for dep in module_depends(index[key]):
            visit(dep)
        order.append(index[key])

    for name in wanted:
        visit(name)
    return order


class Cpio:
    """A cpio archive in the kernel's 'newc' format, written without needing root."""

    def __init__(self):
        self.parts = []
        self.ino = 1

    def _entry(self, name, mode, data=b"", rdev=(0, 0)):
        fields = [self.ino, mode, 0, 0, 1, 0, len(data), 0, 0, rdev[0], rdev[1],
                  len(name) + 1, 0]
        self.ino += 1
        header = b"070701" + b"".join(b"%08X" % f for f in fields)
        blob = header + name.encode() + b"\x00"
        blob += b"\x00" * (-len(blob) % 4)
        blob += data + b"\x00" * (-len(data) % 4)
        self.parts.append(blob)

    def folder(self, name):
        self._entry(name, stat.S_IFDIR | 0o755)

    def file(self, name, data, mode=0o644):
        self._entry(name, stat.S_IFREG | mode, data)

    def symlink(self, name, target):
        self._entry(name, stat.S_IFLNK | 0o777, target.encode())

    def char_device(self, name, major, minor):
        self._entry(name, stat.S_IFCHR | 0o600, rdev=(major, minor))

    def bytes(self):
        trailer = Cpio()
        trailer.ino = 0
        trailer._entry("TRAILER!!!", 0)
        out = b"".join(self.parts) + trailer.parts[0]
        return out + b"\x00" * (-len(out) % 512)


def busybox_static():
    for candidate in ("/bin/busybox", "/usr/bin/busybox"):
        path = Path(candidate)
        # A dynamically linked busybox names its loader; the guest has none.
        if path.exists() and b"ld-linux" not in path.read_bytes()[:65536]:
            return path
    raise BuildError("no static busybox: install busybox-static")


def build_initramfs(cache: Path, modules_dir: Path, init_script: Path, guest_program: Path):
    """initramfs.cpio.gz with busybox, the drive modules, /init and the guest program; rebuilt
    only when one of its inputs changed."""
    busybox = busybox_static()
    modules = ordered_modules(modules_dir, DRIVE_MODULES)
    inputs = [busybox, init_script, guest_program, *modules]
    digest = hashlib.sha256()
    for path in inputs:
        digest.update(str(path).encode())
        digest.update(path.read_bytes())
    key = digest.hexdigest()[:16]
    out = cache / f"initramfs-{key}.cpio.gz"
    if out.exists():
        return out, [m.stem for m in modules]
    for old in cache.glob("initramfs-*.cpio.gz"):
        old.unlink()

    archive = Cpio()
    for folder in ("bin", "dev", "etc", "lib", "lib/modules", "proc", "sys", "tmp", "run",
                   "mnt", "target"):
        archive.folder(folder)
    archive.char_device("dev/console", 5, 1)
    archive.char_device("dev/null", 1, 3)
    archive.file("bin/busybox", busybox.read_bytes(), 0o755)
    archive.symlink("bin/sh", "busybox")
    archive.file("init", init_script.read_bytes(), 0o755)
    archive.file("bin/dravolin-vm-guest", guest_program.read_bytes(), 0o755)
    for ko in modules:
        archive.file(f"lib/modules/{ko.name}", ko.read_bytes())
    archive.file("etc/modules", "".join(f"{ko.name}\n" for ko in modules).encode())

    tmp = out.with_suffix(".tmp")
    with open(tmp, "wb") as f:
        proc = subprocess.run(["gzip", "-1", "-n"], input=archive.bytes(), stdout=f)
    if proc.returncode != 0:
        raise BuildError("gzip failed")
    os.replace(tmp, out)
    return out, [m.stem for m in modules]
