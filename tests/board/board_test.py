#!/usr/bin/python3
# What the kernel's own FTDI driver (ftdi_sio) and Debian's udev add, shown
# with tarvo's armhf build on the emulated armv7 board (tools/board/board.py):
# the real line settings, udev's names, the low-latency timer, the modem
# lines, and adapters unplugged and plugged in while tarvo runs. What tarvo
# says and sends is shown on pseudo-terminals by the native suite.
#
#     board_test.py ARMHF_BUILD NATIVE_BUILD CACHE [PYTEST OPTION...]
#
# Boots the board once (pytest's module fixture) and puts the adapters back
# as they were at boot before each test, so that each passes alone
# (-k NAME) and in any order, and reads only the frames that reach the hubs
# after it began.
import os
import re
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "tools", "board"))
from board import Board, Hub, boot_image  # noqa: E402

BYTE_WAIT_S = 10.1
LATENCY = "/sys/bus/usb-serial/devices/%s/latency_timer"
BY_ID = "/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_%s-if00-port0"

HUBS = {"huba": ["--ports", "4"],
        "hubb": ["--ports", "12", "--states", "000A0000"],
        "slow": ["--delay-ms", "1500"],
        "hubc": [],
        "silent": ["--silent"],
        "gone": ["--delay-ms", "5000"],
        "hubd": []}
# Plugged in at boot, as ttyUSB0 to ttyUSB5; hubd is plugged in later.
AT_BOOT = ["huba", "hubb", "slow", "hubc", "silent", "gone"]


QUERY = ["?Q\r", "GP\r"]


# Each framing the adapters were set to, in order: (parity, data bits,
# stop bits).
def framings(trace):
    return re.findall(r"usb_serial_set_data .* parity (\w), data bits (\d), "
                      r"stop bits (\d)", trace)


# Board shell: waits for path and for udev to finish its names.
def appear(path):
    return "until [ -e %s ]; do usleep 20000; done; udevadm settle" % path


def vanish(tty):
    return "while [ -e /dev/%s ]; do usleep 20000; done" % tty


# The builds named on the command line, as the fixture builds.
class Builds:
    def __init__(self, armhf, native, cache):
        self.paths = {"armhf": armhf, "native": native, "cache": cache}

    @pytest.fixture(scope="session")
    def builds(self):
        return self.paths


@pytest.fixture(scope="module")
def rig(builds):
    kernel, initrd = boot_image(builds["armhf"], builds["cache"])
    hubsim = os.path.join(builds["native"], "hubsim")
    hubs = {name: Hub(hubsim, settings) for name, settings in HUBS.items()}
    board = Board(kernel, initrd, hubs, AT_BOOT, builds["cache"])
    yield board
    board.stop()
    for hub in hubs.values():
        hub.proc.terminate()


# The board with the adapters as at boot, each at its boot ttyUSBn,
# and no frame taken yet.
@pytest.fixture
def board(rig):
    board = rig
    out, _, _ = board.run("for n in %s; do readlink -f %s || echo none; "
                          "done" % (" ".join(n.upper() for n in HUBS),
                                    BY_ID % "$n"))
    at = dict(zip(HUBS, out.split()))
    moved = [n for n in board.plugged if n not in AT_BOOT or
             at[n] != "/dev/ttyUSB%d" % AT_BOOT.index(n)]
    for name in moved:
        board.unplug(name)
        board.run(vanish(at[name][len("/dev/"):]))
    for name in AT_BOOT:  # the lowest free number, in order
        if name not in board.plugged:
            board.plug(name)
            board.run(appear(BY_ID % name.upper()))
    for hub in board.hubs.values():
        hub.take()
    return board



def test_the_line_is_9600_8n1_whatever_the_adapter_was_left_at(board):
    found, status, _ = board.run("stty -F /dev/ttyUSB0 1200 cs7 parenb "
                                 "cstopb && stty -F /dev/ttyUSB0 -g")
    assert status == 0, found
    left_at = board.trace()
    # The adapter really was at 7E2 before tarvo ran.
    assert framings(left_at)[-1] == ("E", "7", "2")
    out, status, _ = board.run("tarvo /G:ttyUSB0 -H; stty -F /dev/ttyUSB0 -g")
    got, after = out.split("\n", 1)
    assert (got, status) == ("FFFFFFFF", 0)
    frames = board.hubs["huba"].take()
    assert [f for _, f in frames] == QUERY
    assert {speed for speed, _ in frames} == {9600}
    set_since = framings(board.trace()[len(left_at):])
    assert ("N", "8", "1") in set_since
    # The settings found are put back.
    assert set_since[-1] == ("E", "7", "2")
    assert (after, status) == (found, 0)


def test_udevs_names_reach_their_hub_alone(board):
    by_path, _, _ = board.run("ls /dev/serial/by-path/*usb-0:1:1.0-port0")
    for name in (BY_ID % "HUBA", by_path.strip()):
        out, status, _ = board.run("readlink -f %s; tarvo /G:%s -H" %
                                   (name, name))
        assert (out, status) == ("/dev/ttyUSB0\nFFFFFFFF\n", 0), name
        assert [f for _, f in board.hubs["huba"].take()] == QUERY
        assert not any(hub.take() for hub in board.hubs.values()), name


# The timer reads 1 while the reply is awaited, and what it read before
# once the run ends, or once SIGTERM ends it.
@pytest.mark.parametrize("before,end", [("16", ""), ("8", "kill -TERM $run;")])
def test_low_latency_while_a_reply_is_awaited_then_put_back(board, before,
                                                            end):
    lt = LATENCY % "ttyUSB2"
    out, _, _ = board.run(
        "echo %s > %s; tarvo /G:ttyUSB2 >/dev/null & run=$!; until [ $(cat %s)"
        " = 1 ] || ! kill -0 $run; do :; done; cat %s; %s wait $run; "
        "echo status $?; cat %s" % (before, lt, lt, lt, end, lt))
    # The shell may or may not report the job as Terminated.
    assert [line for line in out.splitlines() if line != "Terminated"] == [
        "1", "status %d" % (143 if end else 0), before]


def test_a_scan_leaves_the_latency_timer_alone(board):
    lt = LATENCY % "ttyUSB2"
    out, _, _ = board.run(
        "echo 16 > %s; tarvo /Q >/dev/null 2>&1 & run=$!; while kill -0 $run "
        "2>/dev/null; do cat %s; done | sort -u; wait $run; echo status $?" %
        (lt, lt))
    assert out == "16\nstatus 0\n"


# DTR and RTS over one run, from QEMU's trace of the adapters'
# set-modem-control requests: one pulse per adapter the run talks to, up at
# its first open and down at its end.
@pytest.mark.parametrize("command,adapters", [
    ("/G:ttyUSB0", 1), ("/C:ttyUSB0 2@0.1", 1), ("/Q", len(AT_BOOT))])
def test_modem_lines_up_once_and_down_at_the_end(board, command, adapters):
    before = len(board.trace())
    board.run("tarvo " + command)
    levels = {}  # (adapter, "DTR" or "RTS"): each level set, in order
    for device, value in re.findall(
            r"dev (\S+) got control 0x4001, value (0x[0-9a-f]+)",
            board.trace()[before:]):
        value = int(value, 16)
        for line, mask in (("DTR", 0x100), ("RTS", 0x200)):
            if value & mask:
                levels.setdefault((device, line), []).append(
                    "up" if value & (mask >> 8) else "down")
    moves = {key: [level for n, level in enumerate(set_levels)
                   if n == 0 or level != set_levels[n - 1]]
             for key, set_levels in levels.items()}
    assert len({device for device, _ in moves}) == adapters, moves
    assert all(m == ["up", "down"] for m in moves.values()), moves
    assert len(moves) == 2 * adapters, moves


def test_unplugged_while_a_reply_is_awaited(board):
    def pull():
        board.hubs["gone"].wait_for("?Q")
        board.unplug("gone")
    out, status, seconds = board.run_while("tarvo /G:ttyUSB5", pull)
    assert (out, status) == (
        "Query Err\ntarvo: /dev/ttyUSB5: the line hung up while waiting for "
        "the answer to \"?Q\"\n", 1)
    # The hub would answer after 5 s: the hang-up ends the wait before.
    assert seconds < 4, seconds
    board.run(vanish("ttyUSB5"))


# Hubs, a silent adapter and one pulled while it is probed: one byte
# wait, not the sum.
def test_a_scan_with_an_unplug_takes_one_byte_wait(board):
    def pull():
        board.hubs["gone"].wait_for("?Q")
        board.unplug("gone")
    out, status, _ = board.run_while(
        "read start rest < /proc/uptime; tarvo /Q; status=$?; "
        "read end rest < /proc/uptime; echo took $start $end; exit $status",
        pull)
    took = re.search(r"took (\S+) (\S+)", out)
    seconds = float(took.group(2)) - float(took.group(1))
    printed, gone = out[:took.start()].rsplit("ttyUSB5: ", 1)
    assert (printed, status) == (
        "ttyUSB0, 4 ports, On=1,2,3,4, Off=None, FW=2.1\n"
        "ttyUSB1, 12 ports, On=10,12, Off=1,2,3,4,5,6,7,8,9,11, FW=2.1\n"
        "ttyUSB2, 4 ports, On=1,2,3,4, Off=None, FW=2.1\n"
        "ttyUSB3, 4 ports, On=1,2,3,4, Off=None, FW=2.1\n"
        "4 Managed USB Hub(s) Found.\n"
        "tarvo: scan passed over /dev/ttyUSB4: no answer to \"?Q\" within "
        "10.1 s\n"
        "tarvo: scan passed over /dev/", 0)
    # What the pulled adapter's line says depends on the moment of the
    # pull (a hang-up, an I/O error, no device): one line of it.
    assert gone.endswith("\n") and gone.count("\n") == 1 and len(gone) > 1
    assert BYTE_WAIT_S - 0.5 < seconds < BYTE_WAIT_S + 1.5, seconds
    board.run(vanish("ttyUSB5"))


# /C's hub pulled in the off time, another adapter plugged in, then the
# first again: it comes back as another ttyUSBn, and nothing of the run
# reaches either.
def test_unplugged_in_the_off_time_reaches_no_adapter_plugged_since(board):
    board.run("rm -f /tmp/c.status; (tarvo /C:ttyUSB3 1@8 > /tmp/c.out; "
              "echo $? > /tmp/c.status) &")
    board.hubs["hubc"].wait_for("SP")
    # In the off time: the echo is read and the port closed, its low
    # latency given back. QEMU 7.2 can crash when an adapter is pulled
    # while its reply is still on the way.
    board.run('while [ "$(cat %s)" = 1 ]; do usleep 1000; done' %
              (LATENCY % "ttyUSB3"))
    board.unplug("hubc")
    board.run(vanish("ttyUSB3"))
    for name in ("hubd", "hubc"):
        board.plug(name)
        board.run(appear(BY_ID % name.upper()))
    out, _, _ = board.run("until [ -e /tmp/c.status ]; do usleep 20000; "
                          "done; cat /tmp/c.out /tmp/c.status")
    # Opened before the plugs or after: the name leads nowhere, or to an
    # adapter that is not the one locked.
    reason, printed = out.split("\n", 1)
    assert printed == "Ports Left Off!\n1\n"
    assert reason in [
        "tarvo: /dev/ttyUSB3: ports 1 may be left off; switching them back on"
        " failed: " + why for why in (
            "no such device; is the hub plugged in, and is the name right?",
            "the name led to another device once the hub was locked; nothing"
            " was sent")], reason
    assert board.hubs["hubd"].take() == []
    assert [f for _, f in board.hubs["hubc"].take()] == QUERY + [
        "SPmira    FEFFFFFF\r"]
    out, _, _ = board.run("readlink -f " + BY_ID % "HUBC")
    assert re.fullmatch(r"/dev/ttyUSB\d+\n", out) and out != "/dev/ttyUSB3\n"
    out, status, _ = board.run("tarvo /G:%s -H" % (BY_ID % "HUBC"))
    assert (out, status, len(board.hubs["hubc"].take())) == (
        "FEFFFFFF\n", 0, 2)


def main():
    if len(sys.argv) < 4:
        sys.exit("usage: board_test.py ARMHF_BUILD NATIVE_BUILD CACHE "
                 "[PYTEST OPTION...]")
    sys.exit(pytest.main(["-p", "no:cacheprovider", "-v", __file__] +
                         sys.argv[4:], plugins=[Builds(*sys.argv[1:4])]))


if __name__ == "__main__":
    main()
