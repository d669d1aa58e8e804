# Sourced by the package checks: makes a fresh minimal Debian root of this
# machine's release with debootstrap, where no services start.
#
#   make_fresh_root DIR CACHE_DIR [PACKAGE,...]
#
# CACHE_DIR/debootstrap keeps the downloaded Debian packages between runs;
# the PACKAGEs are included in the root.
fresh_root_suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
make_fresh_root() {
  local root=$1 cache=$2 include=${3:-} mirror
  mirror=${PRIVET_DEBIAN_MIRROR:-http://deb.debian.org/debian}
  mkdir -p "$cache/debootstrap"
  debootstrap --variant=minbase --cache-dir="$cache/debootstrap" ${include:+--include="$include"} \
      "$fresh_root_suite" "$root" "$mirror" >"$root.log" 2>&1 \
    || { tail -n 20 "$root.log" >&2; rm -f "$root.log"; return 1; }
  rm -f "$root.log"
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
}
