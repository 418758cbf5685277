#!/usr/bin/env bash
# Builds the Debian packages of tarvo for amd64 (this machine) and armhf
# (cross-built), checks them, and installs the amd64 one.
#
# Needs, besides the build tools: scdoc, dpkg-dev, the armhf cross compiler
# (g++-arm-linux-gnueabihf) and, so that dpkg-shlibdeps can compute the
# armhf package's dependencies, the armhf runtimes from Debian's multiarch
# archive (dpkg --add-architecture armhf; apt-get install libc6:armhf
# libstdc++6:armhf libgcc-s1:armhf). Set TARVO_PACKAGE_INSTALL=0 to skip
# the install.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

build() {  # dir cmake-options...
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTARVO_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && rm -f tarvo_*.deb && cpack >/dev/null)
}

fail() {
  echo "package check FAILED: $*"
  exit 1
}

# check DEB ARCH: the control fields and the files a user expects.
check() {
  local deb=$1 arch=$2
  echo "--- $deb"
  dpkg-deb --info "$deb"
  dpkg-deb --contents "$deb"
  [ "$(dpkg-deb --field "$deb" Architecture)" = "$arch" ] || fail "$deb is not $arch"
  dpkg-deb --field "$deb" Depends | grep -q 'libc6' || fail "$deb declares no C runtime"
  dpkg-deb --field "$deb" Depends | grep -q 'libstdc++6' || fail "$deb declares no C++ runtime"
  local files
  files=$(dpkg-deb --contents "$deb")
  for f in ./usr/bin/tarvo ./usr/share/man/man1/tarvo.1.gz \
           ./usr/share/bash-completion/completions/tarvo; do
    grep -q " $f\$" <<<"$files" || fail "$deb lacks $f"
  done
}

build build-package-amd64
build build-package-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake

amd64=$(ls build-package-amd64/tarvo_*_amd64.deb)
armhf=$(ls build-package-armhf/tarvo_*_armhf.deb)
check "$amd64" amd64
check "$armhf" armhf

if [ "${TARVO_PACKAGE_INSTALL:-1}" = 1 ]; then
  echo "--- installing $amd64"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --reinstall "./$amd64" >/dev/null
  tarvo > build-package-amd64/help.txt || fail "tarvo (help screen) exited $?"
  [ "$(head -n 1 build-package-amd64/help.txt)" = "tarvo v1.02 for Linux/ARM" ] ||
    fail "unexpected help screen"
  echo "$(command -v tarvo): help screen of $(wc -l < build-package-amd64/help.txt) lines"
  man -w tarvo || fail "man -w tarvo found no page"
fi
echo "packages: 2 passed, 0 failed"
