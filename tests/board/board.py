#!/usr/bin/env python3
"""tarvo's armhf build on an emulated armv7 board, through the kernel's own
FTDI driver (ftdi_sio), Debian's udev and real unplugs.

    board.py ARMHF_BUILD NATIVE_BUILD CACHE [TEST...]
    board.py --shell ARMHF_BUILD NATIVE_BUILD CACHE
    board.py --bench ARMHF_BUILD NATIVE_BUILD CACHE

QEMU emulates the board (virt, Cortex-A15) with an xHCI controller and
FTDI FT232 adapters (usb-serial), each wired to a simulated hub (hubsim)
on the host. The board's kernel and initramfs come from image.py. The
driver runs tarvo in the board over its serial console, unplugs and
re-plugs adapters through QMP, and judges what the board printed, what the
hubs received and what QEMU traced of the adapters. It prints a line per
test and the counts. With --shell it boots the board with two hubs and
hands its console to the terminal instead; with --bench it times tarvo
against bench/c_client.c on the board and prints the figures as Markdown.
"""
import ctypes
import json
import os
import re
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
BYTE_WAIT_S = 10.1


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
        self.frames = []  # (speed, bytes as hubsim prints them)
        self.arrived = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            parts = line.split()
            if len(parts) == 3 and parts[0] == "frame":
                with self.arrived:
                    self.frames.append((int(parts[1]), parts[2]))
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
            "-append", "console=ttyAMA0 quiet",
            "-device", "qemu-xhci,id=xhci,p2=8,p3=8"]
    for name, hub in hubs.items():
        args += ["-chardev", "serial,id=%s,path=%s" % (name, hub.pty)]
    for name in plugged:
        args += ["-device", Board.adapter(name)]
    return args


class Board:
    def __init__(self, kernel, initrd, hubs, plugged, work):
        self.qmp_path = os.path.join(work, "qmp.sock")
        self.trace_path = os.path.join(work, "trace.log")
        for path in (self.qmp_path, self.trace_path):
            if os.path.exists(path):
                os.unlink(path)
        args = qemu_args(kernel, initrd, hubs, plugged, "stdio") + [
            "-monitor", "none",
            "-qmp", "unix:%s,server=on,wait=off" % self.qmp_path,
            "-D", self.trace_path, "-trace", "usb_serial_set_*",
            "-trace", "usb_serial_handle_control"]
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT,
                                     preexec_fn=die_with_the_driver)
        self.watchdog = threading.Timer(BOARD_BOUND_S, self.proc.kill)
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

    def plug(self, name):
        device = dict(kv.split("=") for kv in Board.adapter(name).split(",")[1:])
        self.ask("device_add", driver="usb-serial", **device)

    def trace(self):
        with open(self.trace_path, errors="replace") as log:
            return log.read()

    def stop(self):
        self.watchdog.cancel()
        self.proc.kill()
        self.proc.wait()


LATENCY = "/sys/bus/usb-serial/devices/%s/latency_timer"
BY_ID = "/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_%s-if00-port0"


def wait_for_latency(tty, value):
    """Board shell: waits while $run runs for tty's latency_timer to read
    value; prints what it read last."""
    lt = LATENCY % tty
    return ('while kill -0 $run 2>/dev/null && [ "$(cat %s)" != %s ]; do :; '
            'done; cat %s' % (lt, value, lt))


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, name, ok, detail=""):
        print("%s: %s%s" % ("ok" if ok else "FAILED", name,
                            "" if ok else "\n  " + detail.replace("\n", "\n  ")))
        if ok:
            self.passed += 1
        else:
            self.failed += 1

    def expect(self, name, got, wanted):
        self.check(name, got == wanted, "got    %r\nwanted %r" % (got, wanted))


def frame(text):
    """A frame as hubsim --record prints it."""
    return text.replace(" ", "\\x20").replace("\r", "\\r")


QUERY = [frame("?Q\r"), frame("GP\r")]
# Each: the command, what it prints, its status, the frames the hub got.
COMMANDS = [
    ("/Q:ttyUSB1", "ttyUSB1, 12 ports, On=10,12, Off=1,2,3,4,5,6,7,8,9,11, "
     "FW=2.1\n", 0, QUERY),
    ("/Q:ttyUSB1 -F", "000A00000C2.1\r\n", 0, QUERY),
    ("/G:ttyUSB0", "On=1,2,3,4 Off=None\n", 0, QUERY),
    ("/S:ttyUSB0 0:2", "", 0, QUERY + [frame("SPmira    FDFFFFFF\r")]),
    ("/G:ttyUSB0 -H", "FDFFFFFF\n", 0, QUERY),
    ("/F:ttyUSB1 1:1,12", "", 0, QUERY + [frame("FPmira    010A0000\r")]),
    ("/G:ttyUSB1 -B", "101000000001\n", 0, QUERY),
    ("/P:ttyUSB0 mira newpw", "", 0, [frame("CPmira    newpw   \r")]),
    ("/W:ttyUSB0 mira", "Invalid Password!\n", 1, [frame("WPmira    \r")]),
    ("/W:ttyUSB0 newpw", "", 0, [frame("WPnewpw   \r")]),
    ("/R:ttyUSB0 newpw", "", 0, [frame("RHnewpw   \r")]),
    ("/D:ttyUSB0 newpw", "", 0, [frame("RDnewpw   \r")]),
    ("/C:ttyUSB0 2@0.2", "", 0, QUERY + [frame("SPmira    FDFFFFFF\r"),
                                         frame("SPmira    FFFFFFFF\r")]),
    ("/G:ttyUSB7", "Query Err\n", 1, []),
]


def test_commands(board, hubs, checks):
    """Every command on real ttyUSB devices: output, status, frames, line."""
    board.run("true")
    for hub in hubs.values():
        hub.take()
    for command, out, status, frames in COMMANDS:
        got_out, got_status, _ = board.run("tarvo " + command)
        hub = hubs["huba"] if "ttyUSB0" in command else hubs["hubb"]
        got = hub.take()
        checks.expect("tarvo " + command, (got_out, got_status,
                                           [f for _, f in got]),
                      (out, status, frames))
        checks.check("tarvo %s: every frame at 9600 baud" % command,
                     all(speed == 9600 for speed, _ in got), repr(got))
    data = set(re.findall(r"usb_serial_set_data .*", board.trace()))
    checks.check("8 data bits, no parity, 1 stop bit (QEMU's trace)",
                 len(data) > 0 and all(
                     "parity N" in d and "data bits 8" in d and
                     "stop bits 1" in d for d in data), repr(data))


# Every hub command by a name of udev's, on a hub with every port on and
# the default password, which the last two commands leave it with again.
BY_NAME = [
    ("/Q:%s", "ttyUSB0, 4 ports, On=1,2,3,4, Off=None, FW=2.1\n", QUERY),
    ("/S:%s 0:2", "", QUERY + [frame("SPmira    FDFFFFFF\r")]),
    ("/G:%s -H", "FDFFFFFF\n", QUERY),
    ("/F:%s 1:2", "", QUERY + [frame("FPmira    FFFFFFFF\r")]),
    ("/P:%s mira pw2", "", [frame("CPmira    pw2     \r")]),
    ("/W:%s pw2", "", [frame("WPpw2     \r")]),
    ("/R:%s pw2", "", [frame("RHpw2     \r")]),
    ("/D:%s pw2", "", [frame("RDpw2     \r")]),
    ("/C:%s 2@0.1", "", QUERY + [frame("SPmira    FDFFFFFF\r"),
                                 frame("SPmira    FFFFFFFF\r")]),
]


def test_names(board, hubs, checks):
    """udev's names reach the hub they name, for every command."""
    for name, tty in (("HUBA", "ttyUSB0"), ("HUBB", "ttyUSB1")):
        out, status, _ = board.run("readlink -f " + BY_ID % name)
        checks.expect("by-id of %s leads to %s" % (name, tty),
                      (out, status), ("/dev/%s\n" % tty, 0))
    by_path, _, _ = board.run("ls /dev/serial/by-path/*usb-0:1:1.0-port0")
    hubs["huba"].take()
    for path in (BY_ID % "HUBA", by_path.strip()):
        for command, out, frames in BY_NAME:
            got_out, got_status, _ = board.run("tarvo " + command % path)
            got = [f for _, f in hubs["huba"].take()]
            checks.expect("tarvo " + command % path, (got_out, got_status, got),
                          (out, 0, frames))


def test_latency(board, hubs, checks):
    """Low latency while a reply is awaited, and the timer put back."""
    for before in ("16", "8"):
        out, status, _ = board.run(
            "echo %s > %s; tarvo /G:ttyUSB2 -H & run=$!; %s; wait $run; "
            "echo status $?; cat %s" % (before, LATENCY % "ttyUSB2",
                                        wait_for_latency("ttyUSB2", 1),
                                        LATENCY % "ttyUSB2"))
        checks.expect("latency_timer %s, then 1 during the wait, then %s" %
                      (before, before), out,
                      "1\nFFFFFFFF\nstatus 0\n%s\n" % before)
    out, status, _ = board.run(
        "echo 16 > %s; tarvo /G:ttyUSB2 & run=$!; %s; kill -TERM $run; "
        "wait $run; echo status $?; cat %s" % (
            LATENCY % "ttyUSB2", wait_for_latency("ttyUSB2", 1),
            LATENCY % "ttyUSB2"))
    checks.expect("latency_timer back to 16 after SIGTERM", out,
                  "1\nTerminated\nstatus 143\n16\n")


def appear(path):
    """Board shell: waits for path and for udev to finish its names."""
    return "until [ -e %s ]; do usleep 20000; done; udevadm settle" % path


def vanish(tty):
    return "while [ -e /dev/%s ]; do usleep 20000; done" % tty


def test_unplug_awaiting_reply(board, hubs, checks):
    """The adapter pulled while /G waits for the hub's reply."""
    def pull():
        hubs["gone"].wait_for("?Q")
        board.unplug("gone")
    out, status, seconds = board.run_while("tarvo /G:ttyUSB5", pull)
    print("unplug while a reply is awaited: %r, status %d, %.2f s" %
          (out, status, seconds))
    checks.expect("unplugged while a reply is awaited", (out, status),
                  ("Query Err\n", 1))
    checks.check("ends within one byte wait", seconds < BYTE_WAIT_S,
                 "%.2f s" % seconds)
    board.run(vanish("ttyUSB5"))


def test_unplug_during_scan(board, hubs, checks):
    """A scan with hubs, a silent adapter, one locked by another run and one
    pulled while it is probed: one byte wait, not the sum."""
    board.plug("gone")
    board.run(appear("/dev/ttyUSB5"))
    def pull():
        hubs["gone"].wait_for("?Q")
        board.unplug("gone")
    out, status, seconds = board.run_while(
        "tarvo /C:ttyUSB1 1@15 & usleep 500000; "
        "read start rest < /proc/uptime; tarvo /Q; status=$?; "
        "read end rest < /proc/uptime; echo took $start $end; exit $status",
        pull)
    took = re.search(r"took (\S+) (\S+)", out)
    seconds = float(took.group(2)) - float(took.group(1))
    out = out[:took.start()]
    print("scan with an unplug: %r, status %d, %.2f s" % (out, status, seconds))
    checks.expect("the scan lists the hubs that answered", (out, status), (
        "ttyUSB0, 4 ports, On=1,2,3,4, Off=None, FW=2.1\n"
        "ttyUSB2, 4 ports, On=1,2,3,4, Off=None, FW=2.1\n"
        "ttyUSB3, 4 ports, On=1,2,3,4, Off=None, FW=2.1\n"
        "3 Managed USB Hub(s) Found.\n", 0))
    checks.check("the scan takes one byte wait, not the sum",
                 BYTE_WAIT_S - 0.5 < seconds < BYTE_WAIT_S + 1.5,
                 "%.2f s" % seconds)
    board.run(vanish("ttyUSB5"))


def test_unplug_during_power_cycle(board, hubs, checks):
    """/C's hub pulled in the off time, another adapter plugged in, then the
    first again: it comes back as another ttyUSBn, and nothing of the run
    reaches either."""
    for hub in hubs.values():
        hub.take()
    def pull_and_replug():
        hubs["hubc"].wait_for("SP")
        board.unplug("hubc")
        board.run(vanish("ttyUSB3"))
        for name in ("hubd", "hubc"):
            board.plug(name)
            board.run(appear(BY_ID % name.upper()))
    board.run("(tarvo /C:ttyUSB3 1@8 > /tmp/c.out; echo $? > /tmp/c.status) &")
    pull_and_replug()
    out, _, _ = board.run("until [ -e /tmp/c.status ]; do usleep 20000; "
                          "done; cat /tmp/c.out /tmp/c.status")
    print("unplug in /C's off time: %r" % out)
    checks.expect("unplugged in the off time", out, "Ports Left Off!\n1\n")
    checks.expect("nothing of the run reaches the adapters plugged since",
                  (hubs["hubd"].take(), [f for _, f in hubs["hubc"].take()]),
                  ([], ["?Q\\r", "GP\\r",
                        "SPmira\\x20\\x20\\x20\\x20FEFFFFFF\\r"]))
    out, _, _ = board.run("readlink -f " + BY_ID % "HUBC")
    print("the first adapter came back as " + out.strip())
    checks.check("it comes back as another ttyUSBn",
                 re.fullmatch(r"/dev/ttyUSB\d+\n", out) and
                 out != "/dev/ttyUSB3\n", out)
    out, status, _ = board.run("tarvo /G:%s -H" % (BY_ID % "HUBC"))
    checks.expect("its by-id name reaches it at the new number",
                  (out, status, len(hubs["hubc"].take())),
                  ("FEFFFFFF\n", 0, 2))


def test_modem_lines(board, hubs, checks):
    """DTR and RTS over one run of each command, from QEMU's trace of the
    adapters' set-modem-control requests: one pulse per device a run
    talks to, up at its first open and down at its end."""
    for command in ("/G:ttyUSB0", "/S:ttyUSB0 1:2", "/C:ttyUSB0 2@0.1",
                    "/Q"):
        before = len(board.trace())
        board.run("tarvo " + command)
        lines = {}  # (adapter, "DTR" or "RTS"): each level set, in order
        for device, value in re.findall(
                r"dev (\S+) got control 0x4001, value (0x[0-9a-f]+)",
                board.trace()[before:]):
            value = int(value, 16)
            for line, mask in (("DTR", 0x100), ("RTS", 0x200)):
                if value & mask:
                    levels = lines.setdefault((device, line), [])
                    levels.append("up" if value & (mask >> 8) else "down")
        moves = {key: [level for n, level in enumerate(levels)
                       if n == 0 or level != levels[n - 1]]
                 for key, levels in lines.items()}
        adapters = sorted({device for device, _ in moves})
        print("modem lines, tarvo %s: %d adapters, %s" % (
            command, len(adapters), moves[(adapters[0], "DTR")]
            if adapters else "no request"))
        checks.check("tarvo %s: DTR and RTS up once and down at the end" %
                     command, adapters and all(
                         m == ["up", "down"] for m in moves.values()),
                     repr(moves))


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


ROUNDS = 7
RUNS = 30


def batch_ms(board, command):
    """Milliseconds per run of command, over RUNS runs in a row."""
    out, status, _ = board.run(
        "read a rest < /proc/uptime; i=0; while [ $i -lt %d ]; do %s "
        ">/dev/null || exit 1; i=$((i+1)); done; read b rest < /proc/uptime;"
        " echo $a $b" % (RUNS, command))
    if status != 0:
        raise RuntimeError("%s failed on the board: %s" % (command, out))
    start, end = (float(x) for x in out.split())
    return (end - start) * 1000 / RUNS


def bench(board):
    """tarvo beside the C client, in alternating batches on the board."""
    pairs = [("/G", "tarvo /G:ttyUSB0", "c-client /dev/ttyUSB0 '?Q' GP"),
             ("/S", "tarvo /S:ttyUSB0 1:1",
              "c-client /dev/ttyUSB0 '?Q' GP 'SPmira    FFFFFFFF'")]
    for _, tarvo, client in pairs:  # a first batch of each warms up
        batch_ms(board, tarvo), batch_ms(board, client)
    rows = {name: [] for name, _, _ in pairs}
    for _ in range(ROUNDS):
        for name, tarvo, client in pairs:
            rows[name].append((batch_ms(board, tarvo), batch_ms(board, client)))
    print("| command | tarvo (ms) | C client (ms) | ratio (median of %d "
          "rounds) |" % ROUNDS)
    print("|---|---|---|---|")
    middle = ROUNDS // 2
    for name, _, _ in pairs:
        print("| %s | %.1f | %.1f | %.3f |" % (
            name, sorted(t for t, _ in rows[name])[middle],
            sorted(c for _, c in rows[name])[middle],
            sorted(t / c for t, c in rows[name])[middle]))
    out, _, _ = board.run("open-configure /dev/ttyUSB0 200")
    print()
    print("One open and configure of the emulated adapter (open, settings "
          "read, input flushed, raw 9600 8N1 set, settings put back, close): "
          "%s µs, the mean of 200 cycles." % out.strip())


def cross_compile(source, cache):
    """An armhf build of one of bench/'s C programs, for the board."""
    out = os.path.join(cache, os.path.basename(source)[:-2].replace("_", "-"))
    subprocess.run(["arm-linux-gnueabihf-gcc", "-O2", "-o", out, source],
                   check=True)
    return out


def main():
    mode = sys.argv[1] if sys.argv[1:2] in (["--shell"], ["--bench"]) else ""
    by_hand = mode == "--shell"
    if mode:
        del sys.argv[1]
    armhf, native, cache = sys.argv[1:4]
    chosen = sys.argv[4:]
    if shutil.which("qemu-system-arm") is None:
        sys.exit("board: qemu-system-arm is missing "
                 "(apt-get install qemu-system-arm)")
    began = time.monotonic()
    programs = [os.path.join(armhf, "tarvo")]
    if mode == "--bench":
        benches = os.path.join(os.path.dirname(__file__), "..", "..", "bench")
        os.makedirs(cache, exist_ok=True)
        programs += [cross_compile(os.path.join(benches, c), cache)
                     for c in ("c_client.c", "open_configure.c")]
    image = subprocess.run([sys.executable,
                            os.path.join(os.path.dirname(__file__), "image.py"),
                            cache] + programs,
                           stdout=subprocess.PIPE, text=True)
    if image.returncode != 0:
        sys.exit("board: no image to boot (image.py's message above)")
    kernel, initrd = image.stdout.split()
    print("board: image ready in %.1f s" % (time.monotonic() - began))
    hubsim = os.path.join(native, "hubsim")
    if by_hand:
        sys.exit(shell(kernel, initrd, hubsim))
    if mode == "--bench":
        hubs = {"huba": Hub(hubsim, [])}
        board = Board(kernel, initrd, hubs, ["huba"], cache)
        try:
            bench(board)
        finally:
            board.stop()
        return
    hubs = {"huba": Hub(hubsim, ["--ports", "4"]),
            "hubb": Hub(hubsim, ["--ports", "12", "--states", "000A0000"]),
            "slow": Hub(hubsim, ["--delay-ms", "1500"]),
            "hubc": Hub(hubsim, []),
            "silent": Hub(hubsim, ["--silent"]),
            "gone": Hub(hubsim, ["--delay-ms", "5000"]),
            "hubd": Hub(hubsim, [])}
    checks = Checks()
    started = time.monotonic()
    plugged = ["huba", "hubb", "slow", "hubc", "silent", "gone"]
    board = Board(kernel, initrd, hubs, plugged, cache)
    print("board: booted in %.1f s" % board.boot_s)
    try:
        for test in (test_commands, test_names, test_latency,
                     test_modem_lines, test_unplug_awaiting_reply,
                     test_unplug_during_scan, test_unplug_during_power_cycle):
            if chosen and not any(c in test.__name__ for c in chosen):
                continue
            try:
                test(board, hubs, checks)
            except (TimeoutError, RuntimeError, OSError) as error:
                checks.check(test.__name__, False, "%s\nthe console's end:\n%s" % (
                    error, board.console[-1500:].decode(errors="replace")))
    finally:
        board.stop()
        for hub in hubs.values():
            hub.proc.terminate()
    print("board: all took %.1f s" % (time.monotonic() - started))
    print("board checks: %d passed, %d failed" %
          (checks.passed, checks.failed))
    sys.exit(1 if checks.failed else 0)


if __name__ == "__main__":
    main()
