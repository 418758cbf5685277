#!/usr/bin/env bash
# Builds tarvo and runs every test: unit tests and the end-to-end tests
# against simulated hubs. Set TARVO_E2E_REQUIRED=1 to fail, rather than
# skip, when no private /dev can be made for the end-to-end tests.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
# The end-to-end tests mostly wait on simulated hubs, so run more of them
# at once than there are cores.
ctest --test-dir build -j8 --output-on-failure
