# Debian packages a script needs, installed when missing. Sourced by
# tools/test.sh, tools/quickstart.sh and bench/run.sh:
#
#   missing_packages PACKAGE...     prints those not installed
#   install_packages TAG PACKAGE... installs them (apt-get update first),
#                                   through sudo when not root
#
# A name:armhf package enables the armhf architecture first. Without root
# and without sudo, install_packages says what to run and fails.

missing_packages() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
      echo "$package"
  done
}

install_packages() {
  local tag=$1
  shift
  [ $# -gt 0 ] || return 0
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "$tag: $* must be installed, which needs root; run this as root, or: apt-get install $*" >&2
      return 1
    fi
    as_root=(sudo)
    echo "$tag: installing $* needs root (apt-get): asking sudo" >&2
  fi
  if [[ " $* " == *:armhf* ]] && ! dpkg --print-foreign-architectures | grep -qx armhf; then
    "${as_root[@]}" dpkg --add-architecture armhf
  fi
  "${as_root[@]}" apt-get update
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "$@"
}
