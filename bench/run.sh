#!/usr/bin/env bash
# Runs tarvo's benchmarks against simulated hubs and writes
# docs/performance.md. Takes about five minutes (the scan comparison waits
# out every silent device one after another on purpose). Needs root, or
# unprivileged user namespaces, for the private /dev, Debian's
# python3-serial for the comparison script and GNU time for peak memory
# (both installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."

. tools/needs.sh
mapfile -t missing < <(missing_packages cmake g++ make python3-serial time g++-arm-linux-gnueabihf \
  qemu-system-arm kmod)
install_packages bench "${missing[@]}"

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTARVO_BUILD_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)"
strip -o build/tarvo.stripped build/tarvo

# The armhf tarvo on an emulated board, beside the C client.
armhf_toolchain=()
[ -f build-armhf/CMakeCache.txt ] || armhf_toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake)
cmake -S . -B build-armhf -DCMAKE_BUILD_TYPE=Release "${armhf_toolchain[@]}" >/dev/null
cmake --build build-armhf -j"$(nproc)" --target tarvo
board=$(python3 bench/board_bench.py build-armhf build build-armhf/board)

results=$(build/bench/tarvo-bench build/tarvo build/tarvo.stripped build/bench/c-client \
  bench/pyserial_exchange.py 21)
# The one source of the armhf figure.
armhf_size=$(bench/armhf-size.sh build-package-armhf | grep '^stripped armhf tarvo:')
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')

{
  sed -n '1,/^## Results/p' docs/performance.md
  echo
  echo "Measured $(date -u +%Y-%m-%d) on $(uname -srm), ${cpu:-unknown CPU}, $(nproc) cores,"
  echo "$(g++ --version | head -n 1), release build ($(sed -n 's/^CXX_FLAGS = //p' build/CMakeFiles/tarvo.dir/flags.make))."
  echo
  echo "$results"
  echo
  echo "### Size on the target"
  echo
  echo "bench/armhf-size.sh: $armhf_size."
  echo
  echo "### On an emulated armv7 board, through ftdi_sio"
  echo
  echo "Measured $(date -u +%Y-%m-%d) in QEMU's \`virt\` board (Cortex-A15, software"
  echo "emulation) on Debian's armmp kernel, on the machine above:"
  echo
  echo "$board"
} > docs/performance.md.new
mv docs/performance.md.new docs/performance.md
echo "$results"
