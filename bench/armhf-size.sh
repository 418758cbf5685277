#!/usr/bin/env bash
# Prints the stripped size of the armhf tarvo and fails when it reaches
# 128 KiB. Builds it with the armhf cross compiler when needed, in the
# build folder given (build-package-armhf without one).
set -euo pipefail
cd "$(dirname "$0")/.."
limit=$((128 * 1024))
dir=${1:-build-package-armhf}

if [ ! -x "$dir/tarvo" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTARVO_BUILD_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target tarvo
fi
arm-linux-gnueabihf-strip -o "$dir/tarvo.stripped" "$dir/tarvo"
size=$(stat -c %s "$dir/tarvo.stripped")
echo "stripped armhf tarvo: $size bytes ($((size / 1024)) KiB, limit $((limit / 1024)) KiB)"
file "$dir/tarvo.stripped"
[ "$size" -lt "$limit" ]
