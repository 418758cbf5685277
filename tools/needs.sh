# Debian packages a script needs, installed when missing. Sourced by
# tools/test.sh, tools/quickstart.sh and bench/run.sh:
#
#   missing_packages PACKAGE...     prints those not installed
#   install_packages TAG PACKAGE... installs them (apt-get update first),
#                                   through sudo when not root
#
#   unpack_package PACKAGE DIR      fetches PACKAGE's .deb into DIR once
#                                   and unpacks it in DIR/root, running
#                                   none of its scripts: its services are
#                                   never enabled or started
#
# A name:armhf package enables the armhf architecture first. Without root
# and without sudo, install_packages says what to run and fails. Another
# apt at work (unattended upgrades on a fresh machine) is waited for, up to
# apt_lock_wait seconds, and said so.
apt_lock_wait=600

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
  apt_get "$tag" "${as_root[@]}" -- update
  apt_get "$tag" "${as_root[@]}" -- install -y --no-install-recommends "$@"
}

# apt-get with its arguments after --, through the prefix before it (sudo);
# tried again while another apt holds a lock, for apt_lock_wait seconds.
apt_get() {
  local tag=$1 prefix=() rc errors
  shift
  while [ "$1" != -- ]; do prefix+=("$1"); shift; done
  shift
  local deadline=$((SECONDS + apt_lock_wait))
  errors=$(mktemp)
  while :; do
    rc=0
    "${prefix[@]}" env DEBIAN_FRONTEND=noninteractive apt-get \
      -o DPkg::Lock::Timeout="$apt_lock_wait" "$@" 2>"$errors" || rc=$?
    cat "$errors" >&2
    if [ "$rc" -eq 0 ] || ! grep -q 'Could not get lock' "$errors" ||
      [ "$SECONDS" -ge "$deadline" ]; then
      rm -f "$errors"
      return "$rc"
    fi
    echo "$tag: another apt holds its lock; trying again in 5 s, for $((deadline - SECONDS)) s more" >&2
    sleep 5
  done
}

unpack_package() {
  local package=$1 dir=$2 version
  version=$(apt-cache policy "$package" | sed -n 's/^  Candidate: //p')
  [ -n "$version" ] && [ "$version" != "(none)" ] || {
    echo "$package: no version of it is known to apt (apt-get update?)" >&2
    return 1
  }
  [ "$(cat "$dir/version" 2>/dev/null)" = "$version" ] && return 0
  rm -rf "$dir"
  mkdir -p "$dir"
  (cd "$dir" && apt-get download "$package") &&
    dpkg-deb -x "$dir"/"$package"_*.deb "$dir/root" &&
    echo "$version" >"$dir/version"
}
