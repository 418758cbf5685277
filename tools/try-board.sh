#!/usr/bin/env bash
# tarvo's armhf build on an emulated armv7 board, with no hardware: Debian's
# armmp kernel, its ftdi_sio driver and Debian's udev, and two simulated
# hubs on emulated FTDI adapters (/dev/ttyUSB0 and /dev/ttyUSB1, with
# /dev/serial/by-id and by-path names). Installs what it needs (QEMU, the
# armhf cross compiler), builds tarvo for armhf into build-armhf/ and the
# simulator into build/, fetches the board's packages once into
# build-armhf/board/ (about 45 MB; remove that folder to take Debian's
# newest), and gives you the board's shell. Ctrl-A X leaves it.
set -euo pipefail
cd "$(dirname "$0")/.."

. tools/needs.sh
mapfile -t missing < <(missing_packages cmake g++ make python3 \
  g++-arm-linux-gnueabihf qemu-system-arm kmod)
install_packages try-board "${missing[@]}"
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  # The board's packages are armhf; apt must know of them to fetch them.
  echo "try-board: adding the armhf architecture to apt" >&2
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" dpkg --add-architecture armhf
  "${as_root[@]}" apt-get update
fi

toolchain=()
[ -f build-armhf/CMakeCache.txt ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake)
cmake -S . -B build-armhf -DCMAKE_BUILD_TYPE=Release "${toolchain[@]}" >/dev/null
cmake --build build-armhf -j"$(nproc)" --target tarvo >/dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target hubsim_cli >/dev/null
echo "try-board: the board's packages are cached in build-armhf/board/" >&2
exec python3 tools/board/board.py --shell build-armhf build build-armhf/board
