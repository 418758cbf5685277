#!/usr/bin/env bash
# Builds tarvo and runs every test:
#   1. unit and end-to-end tests on the release build;
#   2. the same suite on an AddressSanitizer + UndefinedBehaviorSanitizer
#      build, where any report fails its test;
#   3. a bounded libFuzzer run of the state-argument language and of reply
#      decoding (TARVO_FUZZ_SECONDS per target, 30 by default).
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
    failed=$((failed + 1))
    return
  fi
  local bad=${counts%% *}
  local all=${counts##* }
  passed=$((passed + all - bad))
  failed=$((failed + bad))
  [ "$rc" -eq 0 ] || [ "$bad" -gt 0 ] || failed=$((failed + 1))
}

suite "release build" build -DCMAKE_BUILD_TYPE=Release
suite "sanitizer build (ASan + UBSan)" build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVO_SANITIZE=ON

echo "=== fuzzing"
if ! command -v clang++ >/dev/null; then
  echo "clang++ is missing (apt-get install clang libclang-rt-14-dev)"
  failed=$((failed + 1))
else
  CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug \
    -DTARVO_FUZZ=ON -DTARVO_BUILD_TESTS=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs"
  if tests/fuzz/run.sh build-fuzz "$fuzz_seconds"; then
    passed=$((passed + 2))
  else
    failed=$((failed + 1))
  fi
fi

echo
echo "summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
