# Debian's pdudaemon runs docs/rigs.md's recipe against tarvo.
#
# Run by tests/rigs/run.sh inside tarvo-sandbox, in a network namespace of
# its own, with a 4-port hub with every port on named /dev/hubs/rack3 as the
# recipe names it. pdudaemon comes from the unpacked package in
# $PDUDAEMON_ROOT, with the page's configuration; only its listening address
# changes, for the lab host's request to the rig host.
import json
import os
import re
import subprocess
import time

import pytest

PAGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                    "docs", "rigs.md")
HUB = "/dev/hubs/rack3"
ASK = ("import sys, urllib.request, urllib.error\n"
       "try: print(urllib.request.urlopen(sys.argv[1]).status)\n"
       "except urllib.error.HTTPError as e: print(e.code)")


# The hub's ports as tarvo /G -B prints them, port 1 last.
def states():
    return subprocess.run(["tarvo", "/G:" + HUB, "-B"], capture_output=True,
                          text=True).stdout.strip()


# pdudaemon with the page's configuration, listening on address; host
# and caller are command prefixes (network namespaces') for pdudaemon
# and for the requests.
class Daemon:

    def __init__(self, folder, address="127.0.0.1", host=(), caller=()):
        config = json.loads(re.search(r"## pdudaemon.*?```json\n(.*?)```",
                                      open(PAGE).read(), re.S)[1])
        config["daemon"]["hostname"] = address
        self.url = "http://%s:%d/power/control/" % (address,
                                                    config["daemon"]["port"])
        self.caller = list(caller)
        json.dump(config, open(os.path.join(folder, "conf"), "w"))
        self.log = os.path.join(folder, "log")
        open(self.log, "w").close()  # pdudaemon appends to it
        self.errors = os.path.join(folder, "stderr")
        root = os.environ["PDUDAEMON_ROOT"]
        self.proc = subprocess.Popen(
            list(host) + ["/usr/bin/python3", root + "/usr/sbin/pdudaemon",
                          "--conf", os.path.join(folder, "conf"),
                          "--loglevel", "INFO", "--logfile", self.log],
            stdout=subprocess.DEVNULL, stderr=open(self.errors, "w"),
            env=dict(os.environ,
                     PYTHONPATH=root + "/usr/lib/python3/dist-packages"))

    # The HTTP status of a request; waits up to 30 s for pdudaemon to
    # listen.
    def ask(self, request, **query):
        url = self.url + request + "?" + "&".join("%s=%s" % kv
                                                  for kv in query.items())
        deadline = time.monotonic() + 30
        while True:
            asked = subprocess.run(
                self.caller + ["/usr/bin/python3", "-c", ASK, url],
                capture_output=True, text=True, timeout=60)
            if asked.returncode == 0:
                return int(asked.stdout)
            assert self.proc.poll() is None and time.monotonic() < deadline, \
                "pdudaemon is not listening: " + open(self.errors).read()
            time.sleep(0.02)

    # The switchings pdudaemon logged, in order.
    def jobs(self):
        return re.findall(r"Processing job for PDU rack3: \((off|on) 2\)",
                          open(self.log).read())

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


@pytest.fixture(scope="module")
def daemon(tmp_path_factory):
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    daemon = Daemon(str(tmp_path_factory.mktemp("pdudaemon")))
    yield daemon
    daemon.stop()


@pytest.fixture
def hub_on():
    assert states() == "1111"
    yield
    subprocess.run(["tarvo", "/S:" + HUB, "1:2"], check=True)


@pytest.mark.parametrize("target", [{"hostname": "rack3", "port": 2},
                                    {"alias": "board7"}], ids=["port", "alias"])
def test_off_on_and_reboot_switch_port_2_alone(daemon, hub_on, target):
    jobs = len(daemon.jobs())
    assert daemon.ask("off", **target) == 200
    assert states() == "1101"
    assert daemon.ask("on", **target) == 200
    assert states() == "1111"
    assert daemon.ask("reboot", delay=1, **target) == 200
    assert states() == "1111"
    assert daemon.jobs()[jobs:] == ["off", "on", "off", "on"]


def test_a_missing_hub_is_answered_200_with_the_failure_mark(daemon, hub_on):
    os.rename(HUB, HUB + ".hidden")
    try:
        assert daemon.ask("on", hostname="rack3", port=2) == 200
    finally:
        os.rename(HUB + ".hidden", HUB)
    errors = open(daemon.errors).read()
    assert "tarvo: rack3 port not switched on" in errors
    # The mark follows any failure, a shell's "tarvo: not found" too.
    assert "not found" not in errors
    assert "ERROR" not in open(daemon.log).read()  # pdudaemon logs none


def test_a_fractional_reboot_delay_is_refused_after_the_off(daemon, hub_on):
    assert daemon.ask("reboot", hostname="rack3", port=2, delay="1.5") == 500
    assert states() == "1101"


# pdudaemon and the hub on the rig host, the request from the lab host,
# over a veth pair between their network namespaces; their names live in a
# /run/netns of the sandbox's own.
def test_a_request_from_the_lab_host_switches_the_rig_hosts_port(
        hub_on, tmp_path):
    for step in ["mkdir -p /run/netns", "mount -t tmpfs tmpfs /run/netns",
                 "ip netns add rig", "ip netns add lab",
                 "ip link add rig0 type veth peer name lab0",
                 "ip link set rig0 netns rig", "ip link set lab0 netns lab",
                 "ip -n rig addr add 10.77.0.1/24 dev rig0",
                 "ip -n lab addr add 10.77.0.2/24 dev lab0",
                 "ip -n rig link set rig0 up", "ip -n lab link set lab0 up"]:
        subprocess.run(step.split(), check=True)
    daemon = Daemon(str(tmp_path), "10.77.0.1", ["ip", "netns", "exec", "rig"],
                    ["ip", "netns", "exec", "lab"])
    try:
        assert daemon.ask("off", hostname="rack3", port=2) == 200
        assert states() == "1101"
    finally:
        daemon.stop()
