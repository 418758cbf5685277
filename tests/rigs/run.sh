#!/usr/bin/env bash
# The rig programs themselves, in one pytest run: Debian's labgrid, with its
# own pytest plugin, runs docs/rigs.md's environment file against tarvo, and
# Debian's pdudaemon the page's recipe, on one host and across two. All of
# it runs inside tarvo-sandbox, in a network namespace of its own, so that
# nothing appears in the caller's namespaces and nothing is left when the
# run ends, however it ends.
#
#   tests/rigs/run.sh BUILD PDUDAEMON_ROOT [PYTEST OPTION...]
#
# BUILD holds tarvo and tarvo-sandbox; PDUDAEMON_ROOT is Debian's pdudaemon
# package unpacked (tools/needs.sh's unpack_package), run from there and
# never as a service. Needs python3-labgrid, python3-pytest, pdudaemon's
# dependencies (Debian's python3) and iproute2.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "$1" && pwd)
PDUDAEMON_ROOT=$(cd "$2" && pwd)
shift 2
export PATH="$build:$PATH" PDUDAEMON_ROOT
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The page's environment file as it stands, its hub's name and port.
awk '/^## labgrid/ {on = 1} on && /^```yaml/ {take = 1; next}
     take && /^```/ {exit} take' docs/rigs.md >"$work/env.yaml"
RIG_BY_ID=$(grep -o '/dev/serial/by-id/[^ ]*' "$work/env.yaml" | head -n 1)
RIG_PORT=$(grep -o "cmd_on: .* 1:[0-9]*'" "$work/env.yaml" | grep -o '[0-9]*.$' | tr -d "'")
# The hub's password reaches every recipe as the page says to give it.
export RIG_BY_ID RIG_PORT TARVO_PASSWORD=rig7pw

tarvo-sandbox --hub "ttyUSB0:4:0F000000,password=rig7pw,by-id=${RIG_BY_ID##*/},link=/dev/hubs/rack3" -- \
  unshare -n /usr/bin/python3 -m pytest -v -p no:cacheprovider --lg-env "$work/env.yaml" \
  tests/rigs/labgrid_test.py tests/rigs/pdudaemon_test.py "$@"
