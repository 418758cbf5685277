#!/usr/bin/env bash
# Builds the Debian packages of tarvo for amd64 (this machine) and armhf
# (cross-built) and checks them with lintian (pedantic, info and
# experimental tags included: any tag that is not overridden fails). With
# TARVO_PACKAGE_INSTALL=1 it also installs the amd64 one on this machine
# and checks the installed help screen and man page (CI asks for that);
# nothing is installed otherwise. With TARVO_PACKAGE_REPRODUCE=1 it builds
# both packages again from nothing in build-reproduce-{amd64,armhf} and
# fails unless they are byte for byte the same.
#
# The packages' dates are the last commit's (SOURCE_DATE_EPOCH, unless it
# is set already), so that every build of one commit gives the same bytes.
#
# Needs, besides the build tools: scdoc, dpkg-dev, lintian, the armhf cross
# compiler (g++-arm-linux-gnueabihf) and, so that dpkg-shlibdeps can
# compute the armhf package's dependencies, the armhf C library from
# Debian's multiarch archive. It checks for them first and names the
# command that installs what is missing.
#
#   tools/package.sh [AMD64_BUILD_DIR ARMHF_BUILD_DIR]
#
# Without arguments it builds in build-package-amd64 and build-package-armhf;
# given build folders that are configured already (tools/test.sh hands it
# its own), it packages what they hold, building only what is out of date.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    SOURCE_DATE_EPOCH=$(stat -c %Y packaging/changelog)
fi
export SOURCE_DATE_EPOCH

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

build() {  # dir given [toolchain-file]
  local dir=$1 given=$2 toolchain=()
  if [ "$given" = no ]; then
    # A toolchain file is for the first configuration of a directory only.
    [ -n "${3:-}" ] && [ ! -f "$dir/CMakeCache.txt" ] && toolchain=(-DCMAKE_TOOLCHAIN_FILE="$3")
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTARVO_BUILD_TESTS=OFF "${toolchain[@]}" >/dev/null
  fi
  cmake --build "$dir" -j"$jobs" --target tarvo tarvo_sandbox manpages changelog
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
           ./usr/share/doc/tarvo/copyright ./usr/share/doc/tarvo/changelog.gz \
           ./usr/share/doc/tarvo/examples/99-tarvo-hub.rules; do
    grep -q " $f\$" <<<"$files" || fail "$deb lacks $f"
  done
  echo "--- lintian $deb"
  local tags
  tags=$(lintian --pedantic --display-info --display-experimental "$deb" 2>&1 |
    grep -v '^running with root privileges' || true)
  [ -z "$tags" ] || { echo "$tags"; fail "lintian tags on $deb"; }
}

amd64_dir=${1:-build-package-amd64}
armhf_dir=${2:-build-package-armhf}
given=$([ $# -ge 2 ] && echo yes || echo no)
build "$amd64_dir" "$given"
build "$armhf_dir" "$given" cmake/armhf.cmake

amd64=$(ls "$amd64_dir"/tarvo_*_amd64.deb)
armhf=$(ls "$armhf_dir"/tarvo_*_armhf.deb)
check "$amd64" amd64
check "$armhf" armhf

if [ "${TARVO_PACKAGE_INSTALL:-0}" = 1 ]; then
  echo "--- installing $amd64"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --reinstall "./$amd64" >/dev/null
  tarvo > "$amd64_dir/help.txt" || fail "tarvo (help screen) exited $?"
  [ "$(head -n 1 "$amd64_dir/help.txt")" = "tarvo v1.02 for Linux/ARM" ] ||
    fail "unexpected help screen"
  echo "$(command -v tarvo): help screen of $(wc -l < "$amd64_dir/help.txt") lines"
  man -w tarvo || fail "man -w tarvo found no page"
fi
if [ "${TARVO_PACKAGE_REPRODUCE:-0}" = 1 ]; then
  echo "--- building both again from nothing, elsewhere"
  rm -rf build-reproduce-amd64 build-reproduce-armhf
  build build-reproduce-amd64 no
  build build-reproduce-armhf no cmake/armhf.cmake
  for deb in "$amd64" "$armhf"; do
    again=build-reproduce-${deb##*_}
    again=${again%.deb}/$(basename "$deb")
    sha256sum "$deb" "$again"
    cmp -s "$deb" "$again" || fail "$deb and $again differ"
  done
fi
echo "package.sh: 2 packages built, checked and lintian-clean"
