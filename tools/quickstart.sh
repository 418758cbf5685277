#!/usr/bin/env bash
# A first look at tarvo on Debian 12: installs what the build needs (cmake,
# g++, make, scdoc), builds tarvo and its simulator tools into build/, and
# plays a short session of tarvo commands against two simulated hubs.
# One line of progress per step; the tools' own output goes to
# build/quickstart.log.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '[quickstart] %s\n' "$*"; }
log=build/quickstart.log
mkdir -p build
: > "$log"
# Shows the log's end when a step fails.
trap 'rc=$?; [ $rc -eq 0 ] || { tail -n 30 "$log"; step "failed (exit $rc); the whole log: $log"; }' EXIT

. tools/needs.sh
packages=(cmake g++ make scdoc)
mapfile -t missing < <(missing_packages "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  start=$(date +%s)
  step "installing ${missing[*]}"
  install_packages quickstart "${missing[@]}" >>"$log" 2>&1
  step "installed in $(($(date +%s) - start)) s"
else
  step "build tools present: ${packages[*]}"
fi

start=$(date +%s)
step "configuring build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTARVO_BUILD_TESTS=OFF >>"$log" 2>&1
step "building tarvo, hubsim, tarvo-demo, tarvo-sandbox"
cmake --build build -j"$(nproc)" --target tarvo hubsim_cli tarvo_demo tarvo_sandbox >>"$log" 2>&1
step "built in $(($(date +%s) - start)) s; playing build/tarvo-demo"
echo
build/tarvo-demo build/tarvo
echo
step "done in $(($(date +%s) - start)) s after the install; try your own commands: build/tarvo-sandbox"
