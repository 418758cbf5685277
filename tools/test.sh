#!/usr/bin/env bash
# Builds tarvo and runs every test:
#   1. unit and end-to-end tests on the release build;
#   2. the same suite on an AddressSanitizer + UndefinedBehaviorSanitizer
#      build, where any report fails its test;
#   3. the same suite on the armhf (32-bit ARM, hard-float) cross build,
#      run under qemu-arm user mode;
#   4. a bounded libFuzzer run of the state-argument language and of reply
#      decoding (TARVO_FUZZ_SECONDS per target, 30 by default).
# Each prints its own summary line; the last line sums them up.
# Set TARVO_E2E_REQUIRED=1 to fail, rather than skip, the end-to-end tests
# when no private /dev can be made.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
fuzz_seconds=${TARVO_FUZZ_SECONDS:-30}
passed=0
failed=0

# Builds into $2 with the cmake options that follow and runs its ctest.
suite() {
  local name=$1 dir=$2
  shift 2
  echo "=== $name"
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  # The end-to-end tests mostly wait on simulated hubs: run more of them
  # at once than there are cores.
  local rc=0
  ctest --test-dir "$dir" -j8 --output-on-failure 2>&1 | tee "$dir/ctest.log" || rc=$?
  local counts
  counts=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$dir/ctest.log" | tail -n 1)
  if [ -z "$counts" ]; then
    echo "$name: 0 passed, 1 failed"
    failed=$((failed + 1))
    return
  fi
  local bad=${counts%% *}
  local all=${counts##* }
  [ "$rc" -eq 0 ] || [ "$bad" -gt 0 ] || bad=1
  echo "$name: $((all - bad)) passed, $bad failed"
  passed=$((passed + all - bad))
  failed=$((failed + bad))
}

suite native build -DCMAKE_BUILD_TYPE=Release
suite sanitizers build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVO_SANITIZE=ON
if command -v arm-linux-gnueabihf-g++ >/dev/null && command -v qemu-arm >/dev/null; then
  suite armhf build-armhf -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake
else
  echo "armhf: the cross compiler or qemu-arm is missing" \
    "(apt-get install g++-arm-linux-gnueabihf qemu-user)"
  failed=$((failed + 1))
fi

echo "=== fuzzing"
if ! command -v clang++ >/dev/null; then
  echo "clang++ is missing (apt-get install clang libclang-rt-14-dev)"
  failed=$((failed + 1))
else
  CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug \
    -DTARVO_FUZZ=ON -DTARVO_BUILD_TESTS=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs"
  if tests/fuzz/run.sh build-fuzz "$fuzz_seconds"; then
    echo "fuzzing: 2 passed, 0 failed"
    passed=$((passed + 2))
  else
    echo "fuzzing: 0 passed, 1 failed"
    failed=$((failed + 1))
  fi
fi

echo
echo "summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
