#!/usr/bin/env bash
# Installs what the tests need on Debian 12, builds tarvo and runs every
# test:
#   0. the format of every C and C++ file (clang-format 14, .clang-format);
#   1. unit and end-to-end tests on the release build;
#   2. the same suite, less the tests labelled slow (the real 10.1 s and
#      30 s waits), on an AddressSanitizer + UndefinedBehaviorSanitizer
#      build, where any report fails its test;
#   3. the same again on the armhf (32-bit ARM, hard-float) cross build,
#      run under qemu-arm user mode;
#   4. a bounded libFuzzer run of the state-argument language and of reply
#      decoding (TARVO_FUZZ_SECONDS per target, 30 by default);
#   5. the Debian packages for amd64 and armhf, checked with lintian,
#      built a second time elsewhere to show they are byte for byte the
#      same, and the stripped armhf size;
#   6. the armhf build on an emulated armv7 board (qemu-system-arm) with
#      Debian's armmp kernel, its ftdi_sio driver and Debian's udev, against
#      simulated hubs wired to emulated FTDI adapters (tests/board, on
#      tools/board); the board's packages are fetched once into
#      build-armhf/board;
#   7. the rig programs themselves: Debian's labgrid, with its own pytest
#      plugin, runs docs/rigs.md's environment file against tarvo inside
#      tarvo-sandbox, and Debian's pdudaemon (unpacked into
#      build-rigs/pdudaemon, never installed) the page's recipe, on one host
#      and across two in network namespaces of their own (tests/rigs).
# Each prints its own summary line; the last line sums them up. A test that
# the host could not run (no private /dev to be had, say) is counted as
# skipped, with its reason; one that a stage can never run is left out of
# that stage (tests/CMakeLists.txt).
# The end-to-end tests are required: a stage where no private /dev can be
# made fails them, saying why (TARVO_E2E_REQUIRED=0 skips them instead, for
# a machine that cannot make one).
set -euo pipefail
cd "$(dirname "$0")/.."
export TARVO_E2E_REQUIRED=${TARVO_E2E_REQUIRED:-1}

# What the build, the tests, the cross build and the packages need; the
# armhf runtimes let qemu run the tests and dpkg-shlibdeps compute the
# armhf package's dependencies. clang-format-14 is Debian 12's, the one
# the tree is formatted with.
. tools/needs.sh
# What Debian 12's pdudaemon depends on.
pdudaemon_depends=(python3-aiohttp python3-hid python3-paramiko python3-pexpect
  python3-pyasn1 python3-pysnmp4 python3-requests python3-serial python3-systemd
  python3-usb)
mapfile -t missing < <(missing_packages cmake g++ make scdoc libgtest-dev googletest python3 \
  clang libclang-rt-14-dev clang-format-14 g++-arm-linux-gnueabihf qemu-user dpkg-dev file \
  man-db lintian libc6:armhf libstdc++6:armhf libgcc-s1:armhf qemu-system-arm kmod \
  python3-labgrid python3-pytest iproute2 procps "${pdudaemon_depends[@]}")
install_packages test.sh "${missing[@]}"
# pdudaemon itself is unpacked, never installed: its package enables and
# starts a service listening on every address.
unpack_package pdudaemon build-rigs/pdudaemon

jobs=$(nproc)
# Every build here is dated by the last commit (the man pages' date, the
# packages' files), as tools/package.sh dates the packages.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
fuzz_seconds=${TARVO_FUZZ_SECONDS:-30}
passed=0
failed=0
skipped=0

count() {  # name passed failed [skipped]
  echo "$1: $2 passed, $3 failed, ${4:-0} skipped"
  passed=$((passed + $2))
  failed=$((failed + $3))
  skipped=$((skipped + ${4:-0}))
}

# Runs a check whose success counts as checks passed, and whose failure
# as one failed.
check() {  # name checks command...
  local name=$1 checks=$2
  shift 2
  if "$@"; then count "$name" "$checks" 0; else count "$name" 0 1; fi
}

# Counts a stage's tests from the JUnit report its runner wrote (ctest's
# or pytest's), naming each skipped test and why. A runner that wrote no
# report, ran no test, or failed with no failed test is one failure more.
judge() {  # name runner's-status report
  local name=$1 rc=$2 counts
  if ! counts=$(/usr/bin/python3 - "$3" <<'EOF'
import re, sys, xml.etree.ElementTree as tree
root = tree.parse(sys.argv[1]).getroot()
cases = list((root if root.tag == "testsuite" else root.find("testsuite")).iter("testcase"))
bad = [c for c in cases if c.find("failure") is not None or
       c.find("error") is not None or c.get("status") == "fail"]
skipped = [c for c in cases if c.find("skipped") is not None or
           c.get("status") == "notrun"]
for c in skipped:  # gtest's reason, or pytest's
    why = re.findall(r"Skipped\n(.*)", c.findtext("system-out", "")) or [
        c.find("skipped").get("message", "")]
    print("skipped: %s: %s" % (c.get("name"), why[0]), file=sys.stderr)
print(len(cases) - len(bad) - len(skipped), len(bad), len(skipped))
EOF
  ); then
    echo "$name: the runner wrote no report (see above)"
    count "$name" 0 1
    return
  fi
  set -- $counts  # passed failed skipped
  local ok=$1 bad=$2 skips=$3
  if [ $((ok + bad + skips)) -eq 0 ]; then
    echo "$name: the runner ran no test"
    bad=1
  elif [ "$rc" -ne 0 ] && [ "$bad" -eq 0 ]; then
    echo "$name: the runner exited $rc with no failed test"
    bad=1
  fi
  count "$name" "$ok" "$bad" "$skips"
}

# Builds into $2 with the cmake options that follow and runs its ctest,
# with the ctest options in $ctest_options.
ctest_options=()
suite() {
  local name=$1 dir=$2 rc=0
  shift 2
  echo "=== $name (at ${SECONDS} s)"
  cmake -S . -B "$dir" -DTARVO_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  rm -f "$dir/ctest.xml"
  # The tests mostly wait on simulated hubs: run more of them at once
  # than there are cores.
  ctest --test-dir "$dir" -j8 --output-on-failure --output-junit ctest.xml \
    "${ctest_options[@]}" || rc=$?
  judge "$name" "$rc" "$dir/ctest.xml"
}

# Runs a pytest driver (the options that follow are pytest's) with its
# JUnit report in $2.
pytest_stage() {  # name report driver...
  local name=$1 report=$2 rc=0
  shift 2
  rm -f "$report"
  "$@" --junitxml="$report" || rc=$?
  judge "$name" "$rc" "$report"
}

# A toolchain file is for the first configuration of a directory only.
armhf_toolchain=()
[ -f build-armhf/CMakeCache.txt ] || armhf_toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake)

echo "=== format (at ${SECONDS} s)"
formatted() {
  git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format-14 --dry-run --Werror ||
    { echo "format: run clang-format-14 -i on the files above"; return 1; }
}
check format 1 formatted

suite native build -DCMAKE_BUILD_TYPE=Release

echo "=== man pages (at ${SECONDS} s)"
# As a reader sees them at 80 columns: no markup shown as text (ttyUSB_n_),
# no /dev path broken by a hyphen. A page that is missing, or that man
# cannot show, fails.
man_page() {  # page
  local shown
  if ! shown=$(MANWIDTH=80 man -l "$1" 2>&1) || [ -z "$shown" ]; then
    echo "$1: man could not show it: $shown"
    return 1
  fi
  ! grep -nE '_[a-z]+_|/dev/[^ ]*[-‐]$' <<<"$shown" ||
    { echo "$1: markup shown as text, or a /dev path broken at the line's end"; return 1; }
}
for page in build/tarvo.1.gz build/tarvo-sandbox.1.gz; do check "man page ${page##*/}" 1 man_page "$page"; done
# The real 10.1 s and 30 s waits are shown by the native build alone.
ctest_options=(-LE slow)
suite sanitizers build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVO_SANITIZE=ON
suite armhf build-armhf -DCMAKE_BUILD_TYPE=Release "${armhf_toolchain[@]}"

echo "=== fuzzing (at ${SECONDS} s)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug \
  -DTARVO_FUZZ=ON -DTARVO_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target tarvo_fuzz_stateargs tarvo_fuzz_replies
check fuzzing 2 tests/fuzz/run.sh build-fuzz "$fuzz_seconds"

echo "=== packages (at ${SECONDS} s)"
# The release and armhf builds of the suites are what is packaged.
check packages 2 env TARVO_PACKAGE_REPRODUCE=1 tools/package.sh build build-armhf
check "armhf size" 1 bench/armhf-size.sh build-armhf

echo "=== real kernel (at ${SECONDS} s)"
pytest_stage "real kernel" "$PWD/build-armhf/board.xml" \
  /usr/bin/python3 tests/board/board_test.py build-armhf build build-armhf/board

echo "=== rig programs (at ${SECONDS} s)"
pytest_stage "rig programs" "$PWD/build/rigs.xml" \
  tests/rigs/run.sh build build-rigs/pdudaemon/root

echo
echo "all stages took ${SECONDS} s"
echo "summary: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
