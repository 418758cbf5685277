"""pdudaemon runs docs/rigs.md's recipe against tarvo.

    pdudaemon_test.py SCENARIO [LISTEN_ADDRESS [CALLER...]]

Run by tests/rigs/run.sh inside tarvo-sandbox, in a network namespace of
its own, among a 4-port hub with every port on, named /dev/hubs/rack3 as
the recipe names it (or missing, for the "missing" scenario). Starts
pdudaemon with the page's configuration (only its listening address may
change) from the unpacked package in $PDUDAEMON_ROOT, makes requests and
reads the hub back with tarvo /G. CALLER, when
given, is a command prefix that makes the requests from another network
namespace (ip netns exec lab). Exits 0 when every check holds.
"""
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PAGE = os.path.join(HERE, "..", "..", "docs", "rigs.md")
FAILURE_MARK = "tarvo: rack3 port not switched on"


def recipe():
    page = open(PAGE).read()
    block = re.search(r"## pdudaemon.*?```json\n(.*?)```", page, re.S)
    return json.loads(block.group(1))


def states():
    """The hub's ports as tarvo /G -B prints them, port 1 last."""
    run = subprocess.run(["tarvo", "/G:/dev/hubs/rack3", "-B"],
                         capture_output=True, text=True)
    return run.stdout.strip()


class Daemon:
    def __init__(self, config, folder):
        self.config = config
        path = os.path.join(folder, "pdudaemon.conf")
        with open(path, "w") as file:
            json.dump(config, file)
        self.errors = os.path.join(folder, "stderr")
        root = os.environ["PDUDAEMON_ROOT"]
        env = dict(os.environ, PYTHONPATH=os.path.join(
            root, "usr", "lib", "python3", "dist-packages"))
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(root, "usr", "sbin", "pdudaemon"),
             "--conf", path, "--loglevel", "INFO",
             "--logfile", os.path.join(folder, "log")],
            stdout=subprocess.DEVNULL, stderr=open(self.errors, "w"), env=env)
        address = (config["daemon"]["hostname"], config["daemon"]["port"])
        deadline = time.monotonic() + 30
        while True:
            try:
                socket.create_connection(address, timeout=1).close()
                return
            except OSError:
                if self.proc.poll() is not None or time.monotonic() > deadline:
                    sys.exit("pdudaemon did not start listening on %s:%d:\n%s"
                             % (address + (open(self.errors).read(),)))
                time.sleep(0.02)

    def ask(self, request, caller, **query):
        url = "http://%s:%d/power/control/%s?%s" % (
            self.config["daemon"]["hostname"], self.config["daemon"]["port"],
            request, "&".join("%s=%s" % kv for kv in query.items()))
        code = subprocess.run(
            caller + ["/usr/bin/python3", "-c",
                      "import sys, urllib.request, urllib.error\n"
                      "try: print(urllib.request.urlopen(sys.argv[1]).status)\n"
                      "except urllib.error.HTTPError as e: print(e.code)",
                      url], capture_output=True, text=True, timeout=60)
        return int(code.stdout.strip() or 0)

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


failures = []

# The two ways of naming the port, each switched off, on and rebooted.
SWITCHED_BY = {
    "by-port": {"hostname": "rack3", "port": 2},
    "by-alias": {"alias": "board7"},
}


def expect(what, got, wanted):
    if got != wanted:
        failures.append("%s: got %r, wanted %r" % (what, got, wanted))


def main():
    scenario = sys.argv[1]
    config = recipe()
    if len(sys.argv) > 2:
        config["daemon"]["hostname"] = sys.argv[2]
    caller = sys.argv[3:]
    with tempfile.TemporaryDirectory() as folder:
        daemon = Daemon(config, folder)
        try:
            if scenario in SWITCHED_BY:
                target = SWITCHED_BY[scenario]
                expect("off", daemon.ask("off", caller, **target), 200)
                expect("states after off", states(), "1101")
                expect("on", daemon.ask("on", caller, **target), 200)
                expect("states after on", states(), "1111")
                expect("reboot", daemon.ask("reboot", caller, delay=1,
                                            **target), 200)
                expect("states after reboot", states(), "1111")
                log = open(os.path.join(folder, "log")).read()
                expect("the reboot's off and on, after the off and the on",
                       re.findall(r"Processing job for PDU rack3: \((off|on) 2\)",
                                  log), ["off", "on", "off", "on"])
            elif scenario == "missing":
                expect("on for a missing hub", daemon.ask(
                    "on", caller, hostname="rack3", port=2), 200)
                errors = open(daemon.errors).read()
                expect("the recipe's failure mark", FAILURE_MARK in errors,
                       True)
                # The mark follows any failure, a shell's "tarvo: not found"
                # too: tarvo itself must have run and said why.
                expect("tarvo ran", "not found" not in errors, True)
            elif scenario == "fractional-delay":
                expect("reboot with delay=1.5", daemon.ask(
                    "reboot", caller, hostname="rack3", port=2, delay="1.5"),
                    500)
                expect("states after it", states(), "1101")
            else:
                sys.exit("unknown scenario " + scenario)
        finally:
            daemon.stop()
    for failure in failures:
        print(failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
