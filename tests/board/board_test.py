#!/usr/bin/env python3
"""tarvo's armhf build on the emulated armv7 board (tools/board/board.py),
through the kernel's own FTDI driver (ftdi_sio), Debian's udev and real
unplugs.

    board_test.py ARMHF_BUILD NATIVE_BUILD CACHE [TEST...]

Runs tarvo in the board over its serial console, unplugs and re-plugs
adapters through QMP, and judges what the board printed, what the hubs
received and what QEMU traced of the adapters. Prints a line per check and
the counts.
"""
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "tools", "board"))
from board import Board, Hub, boot_image  # noqa: E402

BYTE_WAIT_S = 10.1


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
        # In the off time: the echo is read and the port closed, its low
        # latency given back. QEMU 7.2 can crash when an adapter is pulled
        # while its reply is still on the way.
        board.run('while [ "$(cat %s)" = 1 ]; do usleep 1000; done'
                  % (LATENCY % "ttyUSB3"))
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



def main():
    armhf, native, cache = sys.argv[1:4]
    chosen = sys.argv[4:]
    kernel, initrd = boot_image(armhf, cache)
    hubsim = os.path.join(native, "hubsim")
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