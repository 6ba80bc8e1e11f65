"""The Debian guest: a root file system built from Debian's packages with mmdebstrap, written
as an ext4 image with `mke2fs -d`, and the small busybox initramfs that mounts it.

Both are cached under the cache folder, keyed by what goes into them: the image by the package
list, the image recipe and the kernel's modules (a cold build takes a few minutes and most of it
is the download); the initramfs by its files, the test files of the boot included (seconds).

The guest boots Debian's own kernel (artifacts.fetch_kernel), the same one the busybox guest
boots, with the root disk on virtio-blk opened as a throw-away snapshot. The guest's first
process is tests/vm/debian/init; the agent it starts (tests/vm/debian/agent.py) is what the
host talks to (agent.py on the host side). A suite that needs more packages adds them to
tests/vm/debian/packages, or to the `packages` it passes to build_image.

The image is made from this machine's own apt sources for the suite (scripts/mmdebstrap-sources),
with apt's proxies, so that it builds wherever apt on this machine can fetch.
"""

import hashlib
import os
import re
import shlex
import shutil
import subprocess
import time
from pathlib import Path

import artifacts
from artifacts import BuildError, Cpio

HERE = Path(__file__).resolve().parent
DEBIAN = HERE.parent / "debian"

SUITE = "bookworm"
# This machine's apt sources for SUITE and its proxies, as mmdebstrap arguments.
SOURCES_HELPER = HERE.parents[2] / "scripts" / "mmdebstrap-sources"
# Bumped when the way the image is made changes in a way its inputs do not show.
IMAGE_VERSION = 1
# Documentation, manual pages and message catalogues: never read by a test.
DPKG_EXCLUDES = ["/usr/share/man/*", "/usr/share/doc/*", "/usr/share/info/*",
                 "/usr/share/locale/*", "/usr/share/lintian/*"]

# Loaded by the first stage to reach the root disk.
UNUSED_SECONDS = 24 * 3600  # a cached image or first stage nobody used for this long is stale
ROOT_MODULES = ["virtio_pci", "virtio_blk", "crc32c_generic", "ext4"]
# What the guest itself may load: the CD drives and their file systems, the shared folder,
# loop devices.
GUEST_MODULES = ROOT_MODULES + ["ata_piix", "sr_mod", "isofs", "udf", "nls_utf8", "9p",
                                "9pnet_virtio", "loop"]


def read_packages(path: Path):
    packages = []
    for line in path.read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if line:
            packages.append(line)
    return packages


def layout_helper(program: Path):
    """The disc layout helper the program finds (libexec/dravolin/ in one of the three folders
    above its own, as FindLayoutHelper looks), or None: a build without the disc libraries."""
    folder = program.resolve().parent
    for _ in range(3):
        folder = folder.parent
        helper = folder / "libexec" / "dravolin" / "dravolin-disc-layout"
        if helper.is_file():
            return helper
    return None


def program_packages(binary: Path):
    """The Debian packages of a program's shared libraries, as installed on the host (the
    guest runs the same distribution, so the same packages serve the same binary there)."""
    result = subprocess.run(["ldd", str(binary)], capture_output=True, text=True)
    if result.returncode != 0:
        raise BuildError(f"ldd {binary} failed: {result.stderr.strip()}")
    libraries = []
    for line in result.stdout.splitlines():
        if "not found" in line:
            raise BuildError(f"{binary}: a library is missing on the host: {line.strip()}")
        match = re.search(r"=>\s+(/\S+)", line) or re.match(r"\s*(/\S+)", line)
        if match:  # not the vDSO
            libraries.append(match.group(1))
    # dpkg knows each file under the name its package ships it with: on a merged /usr, a
    # library found in /usr/lib may be known as /lib/..., and the other way round.
    names = {}
    for library in libraries:
        for path in {library, os.path.realpath(library)}:
            names[path] = library
            if path.startswith("/usr/lib/"):
                names[path[len("/usr"):]] = library
            elif path.startswith("/lib/"):
                names["/usr" + path] = library
    result = subprocess.run(["dpkg-query", "-S", *names], capture_output=True, text=True)
    packages, owned = set(), set()
    for line in result.stdout.splitlines():
        package, _, path = line.partition(": ")
        if path in names:
            packages.add(package.split(":", 1)[0])
            owned.add(names[path])
    unknown = [library for library in libraries if library not in owned]
    if unknown:
        raise BuildError(f"{binary}: no Debian package owns {', '.join(unknown)}: the guest "
                         "could not get these libraries")
    return sorted(packages)


def _stage_modules(modules_dir: Path, wanted, stage: Path):
    """Copies the wanted modules and their dependencies into stage/lib/modules/VERSION, with
    the kernel's lists of built-in modules that depmod reads."""
    version = modules_dir.name
    dest = stage / "lib" / "modules" / version
    for ko in artifacts.ordered_modules(modules_dir, wanted):
        target = dest / ko.relative_to(modules_dir)
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(ko, target)
    for extra in list(modules_dir.glob("modules.builtin*")) + [modules_dir / "modules.order"]:
        if extra.exists():
            shutil.copy2(extra, dest / extra.name)
    return version


def apt_sources(sources_file: Path):
    """Writes this machine's apt sources for SUITE to `sources_file` and returns the
    mmdebstrap arguments that use them (the file, then the proxies apt is set up with)."""
    result = subprocess.run([str(SOURCES_HELPER), str(sources_file), SUITE],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise BuildError(f"the guest image takes this machine's apt sources: "
                         f"{result.stderr.strip()}")
    return result.stdout.splitlines()


def image_key(packages, modules_dir: Path, sources: str):
    digest = hashlib.sha256()
    digest.update(repr((IMAGE_VERSION, SUITE, sources, DPKG_EXCLUDES, sorted(set(packages)),
                        modules_dir.name, GUEST_MODULES)).encode())
    digest.update((DEBIAN / "setup-image").read_bytes())
    return digest.hexdigest()[:16]


def build_image(cache: Path, modules_dir: Path, packages, log=print):
    """The root image cache/debian/root-KEY.img, built unless it is there. Returns (path,
    seconds spent building or None when it came from the cache)."""
    folder = cache / "debian"
    folder.mkdir(parents=True, exist_ok=True)
    sources_file = folder / "host.sources"
    sources = apt_sources(sources_file)
    key = image_key(packages, modules_dir, sources_file.read_text())
    image = folder / f"root-{key}.img"
    if image.exists():
        image.touch()
        return image, None
    if not shutil.which("mmdebstrap"):
        raise BuildError("mmdebstrap is not installed (scripts/install-deps installs it)")
    if not shutil.which("mke2fs"):
        raise BuildError("mke2fs is not installed (package e2fsprogs)")
    log(f"building the Debian guest image ({len(set(packages))} packages and their "
        f"dependencies, from this machine's apt sources): a few minutes, once")
    started = time.monotonic()
    work = folder / "work"
    shutil.rmtree(work, ignore_errors=True)
    stage = work / "modules"
    version = _stage_modules(modules_dir, GUEST_MODULES, stage)
    tmp_image = folder / f"root-{key}.img.tmp"
    for stale in folder.glob("root-*.img.tmp"):
        stale.unlink()
    hook = " ".join([shlex.quote(str(DEBIAN / "setup-image")), '"$1"', shlex.quote(str(stage)),
                     shlex.quote(version), shlex.quote(str(tmp_image))])
    cmd = ["mmdebstrap", "--variant=apt", "--mode=auto", "--format=null",
           "--include=" + ",".join(sorted(set(packages))),
           *[f"--dpkgopt=path-exclude={p}" for p in DPKG_EXCLUDES],
           "--dpkgopt=path-include=/usr/share/doc/*/copyright",
           f"--customize-hook={hook}", SUITE, "/dev/null", *sources]
    env = dict(os.environ, TMPDIR=str(work))
    log_path = folder / "mmdebstrap.log"
    with open(log_path, "w") as out:
        out.write("$ " + " ".join(shlex.quote(c) for c in cmd) + "\n")
        out.flush()
        result = subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT, env=env)
    if result.returncode != 0 or not tmp_image.exists():
        tail = "\n".join(log_path.read_text(errors="replace").splitlines()[-25:])
        raise BuildError(f"mmdebstrap failed (exit {result.returncode}); {log_path}:\n{tail}")
    shutil.rmtree(work, ignore_errors=True)
    # A suite running beside this one may boot another image (another package list) again
    # later: only those nobody used for a day are stale.
    for old in folder.glob("root-*.img"):
        if time.time() - old.stat().st_mtime > UNUSED_SECONDS:
            old.unlink(missing_ok=True)
    os.replace(tmp_image, image)
    return image, time.monotonic() - started


def build_stage1(cache: Path, modules_dir: Path, payload):
    """The first stage's initramfs with the boot's test files: `payload` maps a path on the
    guest's root file system to (bytes, mode). Cached by content."""
    busybox = artifacts.busybox_static()
    modules = artifacts.ordered_modules(modules_dir, ROOT_MODULES)
    stage1 = (DEBIAN / "stage1").read_bytes()
    digest = hashlib.sha256(busybox.read_bytes() + stage1)
    for ko in modules:
        digest.update(ko.name.encode() + ko.read_bytes())
    for path in sorted(payload):
        data, mode = payload[path]
        digest.update(f"{path} {mode:o} {len(data)}".encode() + data)
    key = digest.hexdigest()[:16]
    folder = cache / "debian"
    folder.mkdir(parents=True, exist_ok=True)
    out = folder / f"stage1-{key}.cpio.gz"
    if out.exists():
        out.touch()
        return out
    # Each suite's payload makes its own first stage, and a suite running beside this one boots
    # its own again later (the power cuts): only those nobody used for a day are stale.
    for old in folder.glob("stage1-*.cpio.gz"):
        if time.time() - old.stat().st_mtime > UNUSED_SECONDS:
            old.unlink(missing_ok=True)

    archive = Cpio()
    folders = {"bin", "dev", "etc", "lib", "lib/modules", "proc", "sys", "newroot", "payload"}
    for path in payload:
        parts = Path(path.strip("/")).parts[:-1]
        for i in range(1, len(parts) + 1):
            folders.add("payload/" + "/".join(parts[:i]))
    for name in sorted(folders):
        archive.folder(name)
    archive.char_device("dev/console", 5, 1)
    archive.char_device("dev/null", 1, 3)
    archive.file("bin/busybox", busybox.read_bytes(), 0o755)
    archive.symlink("bin/sh", "busybox")
    archive.file("init", stage1, 0o755)
    for ko in modules:
        archive.file(f"lib/modules/{ko.name}", ko.read_bytes())
    archive.file("etc/modules", "".join(f"{ko.name}\n" for ko in modules).encode())
    for path in sorted(payload):
        data, mode = payload[path]
        archive.file("payload/" + path.strip("/"), data, mode)
    tmp = out.with_suffix(".tmp")
    with open(tmp, "wb") as f:
        proc = subprocess.run(["gzip", "-1", "-n"], input=archive.bytes(), stdout=f)
    if proc.returncode != 0:
        raise BuildError("gzip failed")
    os.replace(tmp, out)
    return out


def guest_payload(extra=None):
    """The test files every Debian boot carries: the second stage and the agent."""
    payload = {
        "opt/guest/init": ((DEBIAN / "init").read_bytes(), 0o755),
        "opt/guest/agent.py": ((DEBIAN / "agent.py").read_bytes(), 0o644),
        "opt/guest/uihelper.py": ((DEBIAN / "uihelper.py").read_bytes(), 0o644),
        "opt/guest/treesum.py": ((DEBIAN / "treesum.py").read_bytes(), 0o644),
    }
    payload.update(extra or {})
    return payload


def make_disk(path: Path, size_mb: int, label: str):
    """A fresh ext4 file system with mke2fs's default options, as a user's disk would have."""
    path.unlink(missing_ok=True)
    result = subprocess.run(["mke2fs", "-q", "-F", "-t", "ext4", "-L", label, str(path),
                             f"{size_mb}M"], capture_output=True, text=True)
    if result.returncode != 0:
        raise BuildError(f"mke2fs {path} failed: {result.stderr}")
    return path


class Boot:
    """One boot of the Debian guest: the root image as a snapshot (/dev/vda), the user's disk
    (/dev/vdb, mounted on /home), further `disks` (/dev/vdc...), `discs` in up to four IDE CD
    drives, the run folder's share/ mounted on /mnt/host, and the agent."""

    def __init__(self, run_dir: Path, kernel: Path, stage1: Path, image: Path, user_disk: Path,
                 discs, disks=(), kernel_args=(), memory_mb=2048, console="console.log",
                 timeout=300, cpu="max"):
        from agent import Agent
        from machine import Machine
        self.share = run_dir / "share"
        self.share.mkdir(parents=True, exist_ok=True)
        self.console = run_dir / console
        started = time.monotonic()
        self.machine = Machine(run_dir, kernel, stage1, discs, [], self.console, memory_mb,
                               kernel_args=["GUEST_SHARE=host", *kernel_args],
                               disks=[(image, True), user_disk, *disks], share=self.share,
                               agent=True, cpu=cpu)
        try:
            self.agent = Agent(self.machine, timeout)
        except BaseException:
            self.machine.close()
            raise
        self.seconds = time.monotonic() - started

    def poweroff(self, timeout=120):
        self.agent.poweroff()
        self.machine.wait_exit(timeout)

    def close(self):
        self.machine.close()

