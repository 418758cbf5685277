#!/usr/bin/env bash
# The rig programs themselves: Debian's labgrid, with its own pytest plugin,
# runs docs/rigs.md's environment file against tarvo inside tarvo-sandbox,
# and Debian's pdudaemon the page's recipe, in network namespaces of the
# test's own: one for a rig host alone, and two joined by a veth pair for a
# lab host that asks a rig host. Nothing appears in the caller's network
# namespace, and nothing is left when the run ends, however it ends.
#
#   tests/rigs/run.sh BUILD PDUDAEMON_ROOT
#
# BUILD holds tarvo and tarvo-sandbox; PDUDAEMON_ROOT is Debian's pdudaemon
# package unpacked (tools/needs.sh's unpack_package), run from there and
# never as a service. Prints a line per check and the counts. Needs
# python3-labgrid, python3-pytest, pdudaemon's dependencies (Debian's
# python3) and iproute2.
set -uo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "$1" && pwd)
export PATH="$build:$PATH"
PDUDAEMON_ROOT=$(cd "$2" && pwd)
export PDUDAEMON_ROOT
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {  # name, then the command that must succeed
  local name=$1
  shift
  if "$@" >"$work/out" 2>&1; then
    echo "ok: $name"
    passed=$((passed + 1))
  else
    echo "FAILED: $name"
    sed 's/^/  /' "$work/out" | tail -n 30
    failed=$((failed + 1))
  fi
}

# The page's environment file as it stands, and the hub name it uses.
awk '/^## labgrid/ {on = 1} on && /^```yaml/ {take = 1; next}
     take && /^```/ {exit} take' docs/rigs.md >"$work/env.yaml"
by_id=$(grep -o '/dev/serial/by-id/[^ ]*' "$work/env.yaml" | head -n 1)
port=$(grep -o "cmd_on: .* 1:[0-9]*'" "$work/env.yaml" | grep -o '[0-9]*.$' | tr -d "'")
sed "s|$by_id|/dev/serial/by-id/usb-missing-if00-port0|g" "$work/env.yaml" >"$work/missing.yaml"
hub="ttyUSB0:4:0F000000,by-id=${by_id##*/}"
export RIG_PORT=$port

pytest_in() {  # sandbox hub, environment file, test name
  tarvo-sandbox --hub "$1" -- "$python" -m pytest -q -p no:cacheprovider \
    --lg-env "$2" tests/rigs/labgrid_test.py -k "$3"
}

check "labgrid: on, off and cycle switch port $port alone" \
  pytest_in "$hub" "$work/env.yaml" test_on_off_and_cycle
check "labgrid: a missing name raises" \
  pytest_in "$hub" "$work/missing.yaml" test_a_refused_command_raises
check "labgrid: a wrong password raises" \
  pytest_in "$hub,password=other" "$work/env.yaml" test_a_refused_command_raises

# Ctrl-C during a cycle: SIGINT to labgrid's whole process group, once
# tarvo's /C runs; the port ends on.
interrupted() {
  tarvo-sandbox --hub "$hub" -- bash -c '
    setsid '"$python"' -m pytest -q -p no:cacheprovider --lg-env "$1" \
      tests/rigs/labgrid_test.py -k test_cycle & group=$!
    until pgrep -f "^tarvo /C:" >/dev/null; do
      kill -0 $group 2>/dev/null || exit 1
      sleep 0.01
    done
    kill -INT -- -$group
    wait $group
    states=$(tarvo /G:ttyUSB0 -B)
    echo "states after Ctrl-C: $states"
    [ "$states" = 1111 ]' interrupted "$work/env.yaml"
}
check "labgrid: Ctrl-C during a cycle leaves port $port on" interrupted

rack="ttyUSB0:4:0F000000,link=/dev/hubs/rack3"
pdu() {  # sandbox hub, scenario: pdudaemon on 127.0.0.1 of a namespace of its own
  tarvo-sandbox --hub "$1" -- unshare -n sh -c 'ip link set lo up && exec "$@"' pdu \
    "$python" tests/rigs/pdudaemon_test.py "$2"
}
check "pdudaemon: on, off and reboot by hostname and port switch port 2 alone" \
  pdu "$rack" by-port
check "pdudaemon: on, off and reboot by alias switch port 2 alone" pdu "$rack" by-alias
check "pdudaemon: a missing hub is answered 200, with the recipe's failure mark" \
  pdu ttyUSB0:4:0F000000 missing
check "pdudaemon: a fractional reboot delay is answered 500, the port left off" \
  pdu "$rack" fractional-delay

# A fleet of two hosts: pdudaemon and the hub on the rig host, the request
# from the lab host, over a veth pair between their namespaces. The pair is
# made in a network namespace of the fleet's own, and the namespaces'
# names live in a /run/netns of the sandbox's own, so all of it goes with
# the sandbox.
fleet() {
  tarvo-sandbox --hub "$rack" -- unshare -n sh -ec '
    mkdir -p /run/netns && mount -t tmpfs tmpfs /run/netns
    ip netns add rig && ip netns add lab
    ip link add rig0 type veth peer name lab0
    ip link set rig0 netns rig && ip link set lab0 netns lab
    ip -n rig addr add 10.77.0.1/24 dev rig0 && ip -n lab addr add 10.77.0.2/24 dev lab0
    for host in rig lab; do ip -n $host link set lo up; ip -n $host link set ${host}0 up; done
    ip netns exec rig "$@" 10.77.0.1 ip netns exec lab' fleet \
    "$python" tests/rigs/pdudaemon_test.py by-port
}
check "pdudaemon: a request from the lab host switches the rig host's port" fleet

echo "rig checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
