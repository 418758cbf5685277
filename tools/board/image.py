#!/usr/bin/env python3
"""Builds the emulated armv7 board's kernel and initramfs from Debian.

    image.py CACHE TARVO [PROGRAM...]

CACHE keeps the fetched packages (CACHE/debs, listed in
CACHE/packages.txt) and the unpacked tree (CACHE/tree-KEY) between runs,
so a second run fetches nothing; remove CACHE to take Debian's newest. TARVO is
the armhf tarvo to put in the image, in /usr/bin with the other armhf
PROGRAMs. Prints the kernel's path, then the
initramfs's.

The board runs Debian's armmp kernel (the one linux-image-armmp:armhf
depends on today), busybox-static and Debian's own udev with its rules,
so /dev/serial/by-id and by-path are the names a real system makes. The
packages are only downloaded and unpacked, never installed on the host.
"""
import hashlib
import os
import re
import shutil
import stat
import subprocess
import sys
import time

# The board's drivers: the USB host controller QEMU gives it, and the
# FTDI adapter's; modprobe takes what they need from modules.dep.
DRIVERS = ["xhci_pci", "ftdi_sio"]

INIT = """#!/bin/busybox sh
/bin/busybox --install -s 2>/dev/null
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /run
mkdir -p /run/lock /var /tmp && ln -s /run/lock /var/lock
for driver in %s; do modprobe "$driver" || echo "BOARD-FAILED modprobe $driver"; done
/lib/systemd/systemd-udevd --daemon || echo "BOARD-FAILED udevd"
udevadm trigger --action=add
udevadm settle
echo BOARD-READY
exec setsid cttyhack sh
""" % " ".join(DRIVERS)


def fail(message):
    sys.exit("board image: " + message)


def run(args, **kwargs):
    try:
        return subprocess.run(args, check=True, capture_output=True, text=True,
                              **kwargs).stdout
    except FileNotFoundError:
        fail("%s is missing: install it (apt-get install %s)" %
             (args[0], {"depmod": "kmod"}.get(args[0], args[0])))
    except subprocess.CalledProcessError as error:
        fail("%s failed: %s" % (" ".join(args), error.stderr.strip()))


def depends(packages):
    """The packages that packages depend on, as apt would pick them."""
    out = run(["apt-cache", "depends", "--no-recommends", "--no-suggests",
               "--no-conflicts", "--no-breaks", "--no-replaces",
               "--no-enhances"] + packages)
    names = re.findall(r"^\s+\|?(?:Pre)?Depends: (\S+)", out, re.M)
    return [n if n.endswith(":armhf") else n + ":armhf"
            for n in names if not n.startswith("<")]


def packages():
    """The kernel, busybox, udev and every library udev needs."""
    kernels = [p for p in depends(["linux-image-armmp:armhf"])
               if p.startswith("linux-image-")]
    if not kernels:
        fail("no armhf kernel: is the armhf architecture added "
             "(dpkg --add-architecture armhf; apt-get update)?")
    wanted = [kernels[0], "busybox-static:armhf", "udev:armhf"]
    level = ["udev:armhf"]
    while level:
        level = sorted({d for d in depends(level)
                        if d.startswith("lib") and d not in wanted})
        wanted += level
    return wanted


def fetch(names, debs):
    """The .deb of each package, downloaded unless CACHE has it."""
    os.makedirs(debs, exist_ok=True)
    shown = run(["apt-cache", "show", "--no-all-versions"] + names)
    files = []
    for record in shown.strip().split("\n\n"):
        field = dict(re.findall(r"^(Package|Version|Architecture): (\S+)$",
                                record, re.M))
        files.append(os.path.join(debs, "%s_%s_%s.deb" % (
            field["Package"], field["Version"].replace(":", "%3a"),
            field["Architecture"])))
    missing = [n for n, f in zip(names, files) if not os.path.exists(f)]
    if missing:
        print("board image: fetching %d packages into %s" % (len(missing), debs),
              file=sys.stderr)
        began = time.monotonic()
        run(["apt-get", "download"] + missing, cwd=debs)
        print("board image: fetched in %.1f s" % (time.monotonic() - began),
              file=sys.stderr)
    for file in files:
        if not os.path.exists(file):
            fail("apt-get download left no " + file)
    return files


def cached_fetch(cache):
    """fetch() once; later runs take the list it left, and fetch nothing."""
    listed = os.path.join(cache, "packages.txt")
    if os.path.exists(listed):
        with open(listed) as lines:
            files = lines.read().split()
        if all(os.path.exists(f) for f in files):
            return files
    files = fetch(packages(), os.path.join(cache, "debs"))
    with open(listed, "w") as lines:
        lines.write("\n".join(files) + "\n")
    return files


def module_closure(modules, names):
    """Every module that loading names needs, from modules.dep."""
    dep = {}
    with open(os.path.join(modules, "modules.dep")) as lines:
        for line in lines:
            module, _, needs = line.partition(":")
            dep[module] = needs.split()
    by_name = {os.path.basename(m).split(".ko")[0].replace("-", "_"): m
               for m in dep}
    missing = [n for n in names if n not in by_name]
    if missing:
        fail("the kernel has no module " + ", ".join(missing))
    wanted, todo = set(), [by_name[n] for n in names]
    while todo:
        module = todo.pop()
        if module not in wanted:
            wanted.add(module)
            todo += dep[module]
    return wanted


def unpack(files, tree):
    """The board's tree, made once for a set of packages."""
    if os.path.exists(os.path.join(tree, "root", "init")):
        return
    staging = tree + ".new"
    shutil.rmtree(staging, ignore_errors=True)
    whole = staging + "/whole"
    os.makedirs(whole)
    for file in files:
        run(["dpkg-deb", "-x", file, whole])
    version = os.listdir(os.path.join(whole, "lib/modules"))[0]
    modules = "lib/modules/" + version
    run(["depmod", "-b", whole, version])
    root = staging + "/root"
    os.makedirs(root)
    for top in ["bin", "etc", "lib", "sbin", "usr"]:
        if os.path.isdir(os.path.join(whole, top)):
            shutil.copytree(os.path.join(whole, top), os.path.join(root, top),
                            symlinks=True, ignore=shutil.ignore_patterns(
                                "doc", "man", "locale", "kernel", "hwdb.d",
                                "linux-image-*"))
    for module in module_closure(os.path.join(whole, modules), DRIVERS):
        target = os.path.join(root, modules, module)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(os.path.join(whole, modules, module), target)
    run(["depmod", "-b", root, version])
    shutil.copy(os.path.join(whole, "boot", "vmlinuz-" + version),
                os.path.join(staging, "vmlinuz"))
    for folder in ["proc", "sys", "dev", "run", "tmp", "usr/bin"]:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    with open(os.path.join(root, "init"), "w") as init:
        init.write(INIT)
    os.chmod(os.path.join(root, "init"), 0o755)
    shutil.rmtree(whole)
    shutil.rmtree(tree, ignore_errors=True)
    os.rename(staging, tree)


def tree_entries(root):
    """Every file of root, folders before what they hold: (name, path)."""
    for folder, dirs, names in os.walk(root):
        dirs.sort()
        for name in sorted(dirs + names):
            path = os.path.join(folder, name)
            yield os.path.relpath(path, root), path


def write_cpio(entries, out):
    """The entries, (image path, host path), as a newc archive."""
    with open(out + ".new", "wb") as archive:
        number = 0

        def put(name, mode, data):
            nonlocal number
            number += 1
            fields = (number, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0,
                      len(name) + 1, 0)
            head = b"070701" + b"".join(b"%08X" % f for f in fields)
            archive.write(head + name.encode() + b"\0")
            archive.write(b"\0" * (-(len(head) + len(name) + 1) % 4))
            archive.write(data)
            archive.write(b"\0" * (-len(data) % 4))

        for name, path in entries:
            mode = os.lstat(path).st_mode
            if stat.S_ISLNK(mode):
                data = os.readlink(path).encode()
            elif stat.S_ISREG(mode):
                with open(path, "rb") as file:
                    data = file.read()
            else:
                data = b""
            put(name, mode, data)
        put("TRAILER!!!", 0, b"")
    os.replace(out + ".new", out)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    cache = sys.argv[1]
    programs = {"usr/bin/" + os.path.basename(p): p for p in sys.argv[2:]}
    files = cached_fetch(cache)
    # A new package, or a new init, makes a new tree.
    key = hashlib.sha256("\n".join(sorted(files) + [INIT]).encode()
                         ).hexdigest()[:12]
    tree = os.path.join(cache, "tree-" + key)
    for old in os.listdir(cache):
        if old.startswith("tree-") and old != os.path.basename(tree):
            shutil.rmtree(os.path.join(cache, old))
    unpack(files, tree)
    # The kernel unpacks archives one after another: the tree's, made once,
    # then the programs', made each time.
    tree_cpio = os.path.join(tree, "root.cpio")
    if not os.path.exists(tree_cpio):
        write_cpio(tree_entries(os.path.join(tree, "root")), tree_cpio)
    programs_cpio = os.path.join(cache, "programs.cpio")
    write_cpio(programs.items(), programs_cpio)
    initrd = os.path.join(cache, "initrd.cpio")
    with open(initrd + ".new", "wb") as joined:
        for part in (tree_cpio, programs_cpio):
            with open(part, "rb") as archive:
                shutil.copyfileobj(archive, joined)
    os.replace(initrd + ".new", initrd)
    print(os.path.join(tree, "vmlinuz"))
    print(initrd)


if __name__ == "__main__":
    main()
