"""labgrid's own pytest plugin drives docs/rigs.md's environment file.

Run by tests/rigs/run.sh inside tarvo-sandbox, with --lg-env naming the
page's file, against a 4-port hub with every port on whose by-id name is
the page's. RIG_PORT is the recipe's port.
"""
import os
import subprocess
import time

import pytest

PORT = int(os.environ.get("RIG_PORT", "2"))
HUB = "/G:ttyUSB0"


def states():
    """The hub's ports as tarvo /G -B prints them, port 1 last."""
    return subprocess.run(["tarvo", HUB, "-B"], capture_output=True,
                          text=True, check=True).stdout.strip()


def only_the_port(on):
    bits = ["1"] * 4
    bits[4 - PORT] = "1" if on else "0"
    return "".join(bits)


@pytest.fixture
def power(target):
    driver = target.get_driver("PowerProtocol")
    target.activate(driver)
    return driver


def test_on_off_and_cycle_switch_the_recipes_port_alone(power):
    assert states() == only_the_port(True)
    power.off()
    assert states() == only_the_port(False)
    power.on()
    assert states() == only_the_port(True)
    power.off()
    started = time.monotonic()
    power.cycle()  # off, the wait, on: from off it ends on
    assert states() == only_the_port(True)
    # Only a cycle that really waits its off time (1.5 s) takes that long.
    assert time.monotonic() - started >= 1.5


def test_a_refused_command_raises(power):
    """tarvo's exit status 1 (a missing name, a wrong password) is labgrid's
    error, never a silent success."""
    with pytest.raises(subprocess.CalledProcessError) as refused:
        power.on()
    assert refused.value.returncode == 1


def test_cycle(power):
    """The cycle that run.sh interrupts with Ctrl-C; uninterrupted, it ends
    with the port on."""
    power.cycle()
    assert states() == only_the_port(True)
