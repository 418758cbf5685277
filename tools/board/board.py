#!/usr/bin/env python3
"""An emulated armv7 board running tarvo's armhf build, with the kernel's
own FTDI driver (ftdi_sio) and Debian's udev.

    board.py --shell ARMHF_BUILD NATIVE_BUILD CACHE

QEMU emulates the board (virt, Cortex-A15) with an xHCI controller and
FTDI FT232 adapters (usb-serial), each wired to a simulated hub (hubsim)
on the host. The board's kernel and initramfs come from image.py beside
this file. With --shell it boots the board with two hubs and hands its
console to the terminal (tools/try-board.sh). As a module it is the
harness that the board's tests (tests/board/board_test.py) and its
benchmark (bench/board_bench.py) drive: Hub, Board and boot_image().
"""
import codecs
import ctypes
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

# A whole board run, boot included, is killed after this: an emulated
# adapter whose host side stops reading blocks QEMU altogether.
BOARD_BOUND_S = 240
HERE = os.path.dirname(os.path.abspath(__file__))


def die_with_the_driver():
    """In a child: SIGKILL when the driver ends, however it ends."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Hub:
    """One hubsim process: its pty, and the frames it records."""

    def __init__(self, hubsim, settings):
        self.proc = subprocess.Popen([hubsim, "--record"] + settings,
                                     stdout=subprocess.PIPE, text=True,
                                     preexec_fn=die_with_the_driver)
        self.pty = self.proc.stdout.readline().strip()
        if not self.pty.startswith("/dev/pts/"):
            raise SystemExit("hubsim did not start: %r" % self.pty)
        self.frames = []  # (speed, its bytes, a character each)
        # (when it arrived as the clock's time, its bytes), for timing
        # against the trace's times; never taken.
        self.arrivals = []
        self.arrived = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            parts = line.split()
            if len(parts) == 3 and parts[0] == "frame":
                frame = codecs.decode(parts[2], "unicode_escape")
                with self.arrived:
                    self.frames.append((int(parts[1]), frame))
                    self.arrivals.append((time.time(), frame))
                    self.arrived.notify_all()

    def take(self):
        """The frames since the last take."""
        with self.arrived:
            taken, self.frames = self.frames, []
        return taken

    def wait_for(self, code, timeout=30):
        """Waits until a frame that begins with code has arrived."""
        with self.arrived:
            if not self.arrived.wait_for(
                    lambda: any(f.startswith(code) for _, f in self.frames),
                    timeout):
                raise TimeoutError("no %s frame at the hub" % code)


def qemu_args(kernel, initrd, hubs, plugged, console):
    """The board: its kernel and initramfs, a chardev per hub and an adapter
    per name in plugged; console is QEMU's -serial back end."""
    args = ["qemu-system-arm", "-M", "virt,highmem=off",
            "-cpu", "cortex-a15", "-m", "256", "-nic", "none",
            "-display", "none", "-serial", console,
            "-kernel", kernel, "-initrd", initrd,
            "-append", "console=ttyAMA0 quiet loglevel=1",
            "-device", "qemu-xhci,id=xhci,p2=8,p3=8"]
    for name, hub in hubs.items():
        args += ["-chardev", "serial,id=%s,path=%s" % (name, hub.pty)]
    for name in plugged:
        args += ["-device", Board.adapter(name)]
    return args


class Board:
    def __init__(self, kernel, initrd, hubs, plugged, work,
                 bound_s=BOARD_BOUND_S):
        self.qmp_path = os.path.join(work, "qmp.sock")
        self.trace_path = os.path.join(work, "trace.log")
        self.plugged = set(plugged)
        self.hubs = hubs  # name: the Hub its adapter is wired to
        for path in (self.qmp_path, self.trace_path):
            if os.path.exists(path):
                os.unlink(path)
        args = qemu_args(kernel, initrd, hubs, plugged, "stdio") + [
            "-monitor", "none",
            "-qmp", "unix:%s,server=on,wait=off" % self.qmp_path,
            "-D", self.trace_path, "-trace", "usb_serial_set_*",
            "-trace", "usb_serial_handle_control",
            # Each trace line dated by the clock's time (pid@seconds:).
            "-msg", "timestamp=on"]
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT,
                                     preexec_fn=die_with_the_driver)
        self.watchdog = threading.Timer(bound_s, self.proc.kill)
        self.watchdog.start()
        self.buffer = b""
        self.console = b""
        started = time.monotonic()
        self._until(b"BOARD-READY", 120)
        self.boot_s = time.monotonic() - started
        if b"BOARD-FAILED" in self.console:
            raise SystemExit("the board's set-up failed:\n" +
                             self.console.decode(errors="replace"))
        self.qmp = socket.socket(socket.AF_UNIX)
        self.qmp.connect(self.qmp_path)
        self.qmp_file = self.qmp.makefile("rw")
        self.qmp_file.readline()
        self.ask("qmp_capabilities")

    @staticmethod
    def adapter(name):
        # Each adapter its own USB serial number, as udev's by-id shows it.
        return "usb-serial,id=ad-%s,chardev=%s,serial=%s" % (
            name, name, name.upper())

    def _until(self, mark, timeout):
        end = time.monotonic() + timeout
        while mark not in self.buffer:
            left = end - time.monotonic()
            ready, _, _ = select.select([self.proc.stdout], [], [],
                                        max(0, left))
            if not ready:
                raise TimeoutError("no %r from the board within %s s" %
                                   (mark, timeout))
            got = os.read(self.proc.stdout.fileno(), 65536)
            if not got:
                raise TimeoutError("the board is gone, before %r" % mark)
            self.buffer += got
            self.console += got
        at = self.buffer.index(mark) + len(mark)
        taken, self.buffer = self.buffer[:at], self.buffer[at:]
        return taken

    def send(self, command):
        """Starts command in the board's shell; result() collects it."""
        # The markers are split in the typed line, so the shell's echo of
        # it never matches them.
        line = 'echo "@@"B; ( %s ) 2>&1; echo "@@"E $?\n' % command
        self.proc.stdin.write(line.encode())
        self.proc.stdin.flush()

    def result(self, timeout=60):
        self._until(b"@@B\r\n", timeout)
        out = self._until(b"@@E ", timeout)[:-len(b"@@E ")]
        status = int(self._until(b"\n", 5).strip())
        return out.decode(errors="replace").replace("\r\n", "\n"), status

    def run_while(self, command, action, timeout=60):
        """Runs command, and action (on the host) while it runs."""
        started = time.monotonic()
        self.send(command)
        action()
        out, status = self.result(timeout)
        return out, status, time.monotonic() - started

    def run(self, command, timeout=60):
        started = time.monotonic()
        self.send(command)
        out, status = self.result(timeout)
        return out, status, time.monotonic() - started

    def ask(self, command, **arguments):
        self.qmp_file.write(json.dumps({"execute": command,
                                        "arguments": arguments}) + "\n")
        self.qmp_file.flush()
        while True:
            reply = json.loads(self.qmp_file.readline())
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise RuntimeError("%s: %s" % (command, reply["error"]))

    def unplug(self, name):
        self.ask("device_del", id="ad-" + name)
        self.plugged.discard(name)

    def plug(self, name):
        device = dict(kv.split("=") for kv in Board.adapter(name).split(",")[1:])
        self.ask("device_add", driver="usb-serial", **device)
        self.plugged.add(name)

    def trace(self):
        with open(self.trace_path, errors="replace") as log:
            return log.read()

    def stop(self):
        self.watchdog.cancel()
        self.proc.kill()
        self.proc.wait()



def shell(kernel, initrd, hubsim):
    """The board on this terminal, with two hubs plugged in."""
    hubs = {"hub0": Hub(hubsim, ["--ports", "4", "--states", "05000000",
                                 "--firmware", "1.3"]),
            "hub1": Hub(hubsim, ["--ports", "12", "--states", "000A0000"])}
    # QEMU's monitor shares the terminal: Ctrl-A X quits.
    args = qemu_args(kernel, initrd, hubs, list(hubs), "mon:stdio")
    print("Booting an armv7 board with two hubs on FTDI adapters: ttyUSB0\n"
          "(4 ports) and ttyUSB1 (12 ports). Try tarvo /Q, and\n"
          "ls -l /dev/serial/by-id. Ctrl-A X leaves the board.")
    return subprocess.call(args)


def boot_image(armhf, cache, extra_programs=()):
    """The board's kernel and initramfs, with the armhf tarvo and
    extra_programs in it; exits when there is no image to boot."""
    if shutil.which("qemu-system-arm") is None:
        sys.exit("board: qemu-system-arm is missing "
                 "(apt-get install qemu-system-arm)")
    began = time.monotonic()
    image = subprocess.run([sys.executable, os.path.join(HERE, "image.py"),
                            cache, os.path.join(armhf, "tarvo")] +
                           list(extra_programs),
                           stdout=subprocess.PIPE, text=True)
    if image.returncode != 0:
        sys.exit("board: no image to boot (image.py's message above)")
    print("board: image ready in %.1f s" % (time.monotonic() - began),
          file=sys.stderr)
    return image.stdout.split()


def main():
    if sys.argv[1:2] != ["--shell"] or len(sys.argv) != 5:
        sys.exit("usage: board.py --shell ARMHF_BUILD NATIVE_BUILD CACHE")
    armhf, native, cache = sys.argv[2:5]
    sys.exit(shell(*boot_image(armhf, cache),
                   os.path.join(native, "hubsim")))


if __name__ == "__main__":
    main()
