#!/usr/bin/env python3
"""tarvo beside the C client (c_client.c) on the emulated armv7 board,
printed as Markdown for docs/performance.md (bench/run.sh).

    board_bench.py ARMHF_BUILD NATIVE_BUILD CACHE

The board, its FT232 adapter and its simulated hub are
tools/board/board.py's. Two boards, one after the other: the hub answering
at once (each program's per-run work), and the hub keeping 9600-baud wire
time behind a model of the FT232's latency timer (what a user waits for).

Commands run in alternating batches of RUNS runs: WARM_UP_ROUNDS rounds,
then ROUNDS measured ones, every batch of a table in each round, ratios
taken round by round. Every batch runs twice in its round: with the
board's address randomization as it boots, and with it off. The emulator
reuses the code it has translated only at the virtual addresses it was
translated at, so with randomization every run has its executable's and
its libraries' code translated anew: a cost that grows with how much code
a run touches, which no real CPU pays. Beside each figure stands QEMU's
own count of the blocks it translated (x-query-jit), per run.

Behind the modelled timer, each /G is also cut into stretches, timed from
QEMU's dated trace of the adapter's control requests and the hub's
arrival of each frame: where tarvo's time goes beside the C client's.
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools", "board"))
from board import Board, Hub, boot_image  # noqa: E402

ROUNDS = 9
RUNS = 30
# A freshly booted board runs slower for its first minute or so (udev
# still settling, the emulator translating the first runs' code): rounds
# before the measured ones.
WARM_UP_ROUNDS = 6
# A board's batches, boot included, take up to about four minutes.
BENCH_BOUND_S = 900
LAYOUTS = (("randomized", 2), ("fixed", 0))


# The stretches of one /G: from one mark to the next. "opened" is the
# adapter's reset that ftdi_sio sends when the port is first opened (tarvo:
# its lock; the C client: its first exchange), "low" the request for a 1 ms
# timer, "query" and "states" the frames' arrival at the hub, "closed"
# DTR and RTS dropped as the port's last descriptor closes; "closed_before"
# is the run before's.
STRETCHES = (
    ("the run before closes the port; this run opens it (exit, start, "
     "the name's walk)", "closed_before", "opened"),
    ("opened; low latency asked for (the lock, the lock folders, the "
     "signals, the line)", "opened", "low"),
    ("low latency asked for; ?Q at the hub", "low", "query"),
    ("?Q at the hub; GP at the hub (the reply, the port closed and opened "
     "again)", "query", "states"),
    ("GP at the hub; the port's last close (the reply, the port put back, "
     "the output)", "states", "closed"),
)
CONTROL = re.compile(r"@(\d+\.\d+):usb_serial_handle_control dev \S+ got "
                     r"control (0x[0-9a-f]+), value (0x[0-9a-f]+)")


class Timeline:
    """The marks of every /G that a batch ran, from the board's trace and
    its hub's frames since the last look."""

    def __init__(self, board, hub):
        self.board, self.hub = board, hub
        self.trace_read = 0
        self.arrivals_read = 0

    def _new_events(self):
        with open(self.board.trace_path, "rb") as log:
            log.seek(self.trace_read)
            data = log.read()
        self.trace_read += len(data)
        text = data.decode(errors="replace")
        events = [(float(t), "%s %s" % (request, value))
                  for t, request, value in CONTROL.findall(text)]
        arrivals = self.hub.arrivals[self.arrivals_read:]
        self.arrivals_read += len(arrivals)
        events += [(t, frame[:2]) for t, frame in arrivals]
        return sorted(events)

    def stretches(self):
        """Each stretch's median over the runs since the last call (ms)."""
        events = self._new_events()

        def last(before, mark):
            found = [t for t, e in events if t <= before and e == mark]
            return found[-1] if found else None

        def first(after, mark):
            found = [t for t, e in events if t >= after and e == mark]
            return found[0] if found else None

        values = {name: [] for name, _, _ in STRETCHES}
        closed_before = None
        for query in [t for t, e in events if e == "?Q"]:
            states = first(query, "GP")
            if states is None:
                break
            marks = {"closed_before": closed_before, "query": query,
                     "states": states,
                     "opened": last(query, "0x4000 0x0"),
                     "low": last(query, "0x4009 0x1"),
                     "closed": first(states, "0x4001 0x300")}
            for name, start, end in STRETCHES:
                if marks[start] is not None and marks[end] is not None:
                    values[name].append((marks[end] - marks[start]) * 1000)
            closed_before = marks["closed"]
        return {name: median(v) for name, v in values.items() if v}


def translated_blocks(board):
    """How many code blocks the emulator has translated so far."""
    text = board.ask("x-query-jit")["human-readable-text"]
    return int(re.search(r"TB count\s+(\d+)", text).group(1))


def batch(board, command, layout, timeline=None):
    """Milliseconds a run of command takes over RUNS runs in a row, with
    the board's address randomization at layout (/proc's value); the
    blocks translated a run; and, with a timeline, its stretches."""
    board.run("echo %d > /proc/sys/kernel/randomize_va_space" % layout)
    if timeline:
        timeline.stretches()  # what came before is not this batch's
    blocks = translated_blocks(board)
    out, status, _ = board.run(
        "read a rest < /proc/uptime; i=0; while [ $i -lt %d ]; do %s "
        ">/dev/null || exit 1; i=$((i+1)); done; read b rest < /proc/uptime;"
        " echo $a $b" % (RUNS, command))
    if status != 0:
        raise RuntimeError("%s failed on the board: %s" % (command, out))
    start, end = (float(x) for x in out.split())
    return ((end - start) * 1000 / RUNS,
            (translated_blocks(board) - blocks) / RUNS,
            timeline.stretches() if timeline else {})


def median(values):
    return sorted(values)[len(values) // 2]


class Rounds:
    """Every command under every layout in each round, after the warm-up
    rounds; medians of the times and blocks, and ratios round by round."""

    def __init__(self, board, commands, timeline=None):
        self.columns = [(c, layout) for _, layout in LAYOUTS for c in commands]
        for _ in range(WARM_UP_ROUNDS):
            for command, layout in self.columns:
                batch(board, command, layout)
        self.rounds = [[batch(board, c, layout, timeline)
                        for c, layout in self.columns]
                       for _ in range(ROUNDS)]
        self.commands = commands

    def _column(self, command, layout):
        return self.columns.index((command, layout))

    def ms(self, command, layout):
        i = self._column(command, layout)
        return median([r[i][0] for r in self.rounds])

    def blocks(self, command, layout):
        i = self._column(command, layout)
        return median([r[i][1] for r in self.rounds])

    def stretch(self, command, layout, name):
        i = self._column(command, layout)
        return median([r[i][2][name] for r in self.rounds])

    def ratio(self, command, peer, layout):
        i, j = self._column(command, layout), self._column(peer, layout)
        return median([r[i][0] / r[j][0] for r in self.rounds])


def bench_per_run(board, _hub):
    """Per-run work: tarvo beside the C client, the hub answering at once,
    /G and /S in the same rounds."""
    pairs = (("/G", "tarvo /G:ttyUSB0", "c-client /dev/ttyUSB0 '?Q' GP"),
             ("/S", "tarvo /S:ttyUSB0 1:1",
              "c-client /dev/ttyUSB0 '?Q' GP 'SPmira    FFFFFFFF'"))
    rounds = Rounds(board, [c for _, t, p in pairs for c in (t, p)])
    print("| command | addresses | tarvo (ms) | C client (ms) | ratio (median "
          "of %d rounds) | blocks translated a run: tarvo, C client |" % ROUNDS)
    print("|---|---|---|---|---|---|")
    for name, tarvo, peer in pairs:
        for layout_name, layout in LAYOUTS:
            print("| %s | %s | %.1f | %.1f | %.3f | %.0f, %.0f |" % (
                name, layout_name, rounds.ms(tarvo, layout),
                rounds.ms(peer, layout), rounds.ratio(tarvo, peer, layout),
                rounds.blocks(tarvo, layout), rounds.blocks(peer, layout)))
    out, _, _ = board.run("open-configure /dev/ttyUSB0 200")
    print()
    print("One open and configure of the emulated adapter (open, settings "
          "read, input flushed, raw 9600 8N1 set, settings put back, close): "
          "%s µs, the mean of 200 cycles." % out.strip())


def bench_as_a_user_waits(board, hub):
    """/G with the wire paced and the adapter's latency timer modelled:
    tarvo, the C client asking for low latency as tarvo does, and the C
    client as a script would be, which does not; and the stretches of
    tarvo's and the low-latency client's runs. The emulated adapter
    reports a timer of 0, where a real FT232 comes at 16 ms: it is set to
    16 first, as a real one's driver finds it."""
    board.run("echo 16 > /sys/bus/usb-serial/devices/ttyUSB0/latency_timer")
    tarvo, low = "tarvo /G:ttyUSB0", "c-client -l /dev/ttyUSB0 '?Q' GP"
    plain = "c-client /dev/ttyUSB0 '?Q' GP"
    rounds = Rounds(board, [tarvo, low, plain], Timeline(board, hub))
    print("| /G, median of %d rounds | tarvo (ms) | C client, low latency "
          "(ms) | C client, timer left at 16 ms (ms) | tarvo / low-latency "
          "client | tarvo / plain client |" % ROUNDS)
    print("|---|---|---|---|---|---|")
    for layout_name, layout in LAYOUTS:
        print("| addresses %s | %.1f | %.1f | %.1f | %.3f | %.3f |" % (
            layout_name, rounds.ms(tarvo, layout), rounds.ms(low, layout),
            rounds.ms(plain, layout), rounds.ratio(tarvo, low, layout),
            rounds.ratio(tarvo, plain, layout)))
    print()
    print("| stretch of a /G (ms, medians) | tarvo, randomized | C client, low "
          "latency, randomized | tarvo, fixed | C client, low latency, fixed |")
    print("|---|---|---|---|---|")
    for name, _, _ in STRETCHES:
        print("| %s | %s |" % (name, " | ".join(
            "%.2f" % rounds.stretch(c, layout, name)
            for _, layout in LAYOUTS for c in (tarvo, low))))


def cross_compile(source, cache):
    """An armhf build of one of bench/'s C programs, for the board."""
    out = os.path.join(cache, os.path.basename(source)[:-2].replace("_", "-"))
    subprocess.run(["arm-linux-gnueabihf-gcc", "-O2", "-o", out, source],
                   check=True)
    return out


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: board_bench.py ARMHF_BUILD NATIVE_BUILD CACHE")
    armhf, native, cache = sys.argv[1:4]
    os.makedirs(cache, exist_ok=True)
    kernel, initrd = boot_image(
        armhf, cache, [cross_compile(os.path.join(HERE, c), cache)
                       for c in ("c_client.c", "open_configure.c")])
    trace = os.path.join(cache, "trace.log")
    for run, settings in ((bench_per_run, []),
                          (bench_as_a_user_waits,
                           ["--wire-time", "--latency-trace", trace])):
        hub = Hub(os.path.join(native, "hubsim"), settings)
        board = Board(kernel, initrd, {"huba": hub}, ["huba"], cache,
                      bound_s=BENCH_BOUND_S)
        try:
            run(board, hub)
            print()
        finally:
            board.stop()
            hub.proc.kill()


if __name__ == "__main__":
    main()
