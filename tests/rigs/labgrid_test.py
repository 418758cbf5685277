# labgrid's own pytest plugin drives docs/rigs.md's environment file.
#
# Run by tests/rigs/run.sh inside tarvo-sandbox with --lg-env naming the
# page's file, against a 4-port hub with every port on that bears the page's
# by-id name. RIG_PORT is the recipe's port.
import os
import signal
import subprocess
import sys
import time

import pytest

PORT = int(os.environ["RIG_PORT"])
BY_ID = os.environ["RIG_BY_ID"]


# The hub's ports as tarvo /G -B prints them, port 1 last.
def states():
    return subprocess.run(["tarvo", "/G:ttyUSB0", "-B"], capture_output=True,
                          text=True, check=True).stdout.strip()


def only_the_port(on):
    bits = ["1"] * 4
    bits[4 - PORT] = "1" if on else "0"
    return "".join(bits)


@pytest.fixture
def power(target):
    driver = target.get_driver("PowerProtocol")
    target.activate(driver)
    assert states() == only_the_port(True)
    return driver


def test_on_off_and_cycle_switch_the_recipes_port_alone(power):
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


def hide_the_name():
    os.rename(BY_ID, BY_ID + ".hidden")
    return lambda: os.rename(BY_ID + ".hidden", BY_ID)


def change_the_password():
    subprocess.run(["tarvo", "/P:ttyUSB0", "other"], check=True)
    return lambda: subprocess.run(
        ["tarvo", "/P:ttyUSB0", os.environ["TARVO_PASSWORD"]], check=True,
        env=dict(os.environ, TARVO_PASSWORD="other"))


# tarvo's exit status 1 is labgrid's error, never a silent success.
@pytest.mark.parametrize("fault", [hide_the_name, change_the_password])
def test_a_refused_command_raises(power, fault):
    undo = fault()
    try:
        with pytest.raises(subprocess.CalledProcessError) as refused:
            power.off()
    finally:
        undo()
    assert refused.value.returncode == 1
    assert states() == only_the_port(True)


# SIGINT to labgrid's whole process group once tarvo's /C runs.
def test_ctrl_c_during_a_cycle_leaves_the_port_on(power, env):
    cycle = subprocess.Popen(
        [sys.executable, "-c",
         "import sys, labgrid\n"
         "target = labgrid.Environment(sys.argv[1]).get_target()\n"
         "power = target.get_driver('PowerProtocol')\n"
         "target.activate(power)\n"
         "power.cycle()", env.config_file], start_new_session=True)
    while subprocess.run(["pgrep", "-f", "^tarvo /C:"]).returncode != 0:
        assert cycle.poll() is None, "the cycle ended before tarvo's /C ran"
        time.sleep(0.01)
    os.killpg(cycle.pid, signal.SIGINT)
    assert cycle.wait() != 0
    assert states() == only_the_port(True)
