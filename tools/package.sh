#!/usr/bin/env bash
# Builds the Debian packages of tarvo for amd64 (this machine) and armhf
# (cross-built) and checks them with lintian. With TARVO_PACKAGE_INSTALL=1
# it also installs the amd64 one on this machine and checks the installed
# help screen and man page (CI asks for that); nothing is installed
# otherwise.
#
# Needs, besides the build tools: scdoc, dpkg-dev, lintian, the armhf cross
# compiler (g++-arm-linux-gnueabihf) and, so that dpkg-shlibdeps can
# compute the armhf package's dependencies, the armhf C library from
# Debian's multiarch archive. It checks for them first and names the
# command that installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

missing=()
for p in cmake g++ make scdoc dpkg-dev lintian g++-arm-linux-gnueabihf libc6:armhf; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "package.sh: missing ${missing[*]}. Install them with:" >&2
  if [[ " ${missing[*]} " == *:armhf* ]] && ! dpkg --print-foreign-architectures | grep -qx armhf; then
    echo "  sudo dpkg --add-architecture armhf" >&2
  fi
  echo "  sudo apt-get update && sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

build() {  # dir [toolchain-file]
  local dir=$1 toolchain=()
  # A toolchain file is for the first configuration of a directory only.
  [ -n "${2:-}" ] && [ ! -f "$dir/CMakeCache.txt" ] && toolchain=(-DCMAKE_TOOLCHAIN_FILE="$2")
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTARVO_BUILD_TESTS=OFF "${toolchain[@]}" >/dev/null
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
  dpkg-deb --field "$deb" Depends | grep -q 'libc6' || fail "$deb declares no C library"
  ! dpkg-deb --field "$deb" Depends | grep -q 'libstdc++6' ||
    fail "$deb depends on the C++ runtime, which is linked in"
  local files
  files=$(dpkg-deb --contents "$deb")
  for f in ./usr/bin/tarvo ./usr/bin/tarvo-sandbox ./usr/share/man/man1/tarvo.1.gz \
           ./usr/share/man/man1/tarvo-sandbox.1.gz \
           ./usr/share/bash-completion/completions/tarvo \
           ./usr/share/doc/tarvo/copyright ./usr/share/doc/tarvo/changelog.gz; do
    grep -q " $f\$" <<<"$files" || fail "$deb lacks $f"
  done
  echo "--- lintian $deb"
  lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings in $deb"
}

build build-package-amd64
build build-package-armhf cmake/armhf.cmake

amd64=$(ls build-package-amd64/tarvo_*_amd64.deb)
armhf=$(ls build-package-armhf/tarvo_*_armhf.deb)
check "$amd64" amd64
check "$armhf" armhf

if [ "${TARVO_PACKAGE_INSTALL:-0}" = 1 ]; then
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
echo "package.sh: 2 packages built, checked and lintian-clean"
