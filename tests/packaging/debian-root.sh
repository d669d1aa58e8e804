#!/usr/bin/env bash
# Runs the packages' autopkgtests (debian/tests) in a fresh minimal Debian
# root made by debootstrap, through autopkgtest's chroot server: autopkgtest
# installs the packages there with apt and runs each test against them. Then
# purging the packages must leave nothing of them behind. Needs root and
# network access to the Debian archive.
#
#   debian-root.sh SOURCE_TREE PACKAGE.deb... [--cache CACHE_DIR]
#
# SOURCE_TREE holds debian/tests; CACHE_DIR keeps downloaded Debian packages
# between runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/fresh-root.sh"
source_tree=$(realpath "$1")
shift
packages=()
cache=${TMPDIR:-/tmp}/privet-debian-root-cache
while [ $# -gt 0 ]; do
  case $1 in
    --cache) cache=$2; shift 2 ;;
    *) packages+=("$(realpath "$1")"); shift ;;
  esac
done
cache=$(realpath -m "$cache")

step() { printf '\ndebian-root: %s\n' "$*"; }
fail() { printf 'debian-root: FAILED: %s\n' "$*" >&2; exit 1; }

root=$(mktemp -d "${TMPDIR:-/tmp}/privet-debian-root-XXXXXX")
trap 'rm -rf "$root" "$root.autopkgtest" "$root.log"' EXIT
mkdir -p "$cache/apt"

step "debootstrap $fresh_root_suite (minbase) into $root"
make_fresh_root "$root" "$cache" || fail "debootstrap"
# The shared download cache belongs to root, not to apt's own user.
echo 'APT::Sandbox::User "root";' >"$root/etc/apt/apt.conf.d/90privet-shared-cache"

# Runs a command with the root's /proc, /dev, /run, name servers and download
# cache mounted in a mount namespace of its own, which goes when it ends.
with_root_mounted() {
  unshare --mount --propagation private -- sh -c '
    root=$1 cache=$2; shift 2
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=755 tmpfs "$root/run"
    mount --bind /etc/resolv.conf "$root/etc/resolv.conf"
    mount --bind "$cache" "$root/var/cache/apt/archives"
    exec "$@"' sh "$root" "$cache/apt" "$@"
}

step "autopkgtest ${packages[*]##*/}"
# Bounded: installing the packages and running the tests take a few minutes.
# apt's and the tests' output go to the log, shown when a test fails.
if ! with_root_mounted timeout 20m autopkgtest --no-auto-control --output-dir "$root.autopkgtest" \
    "${packages[@]}" "$source_tree/" -- chroot "$root" >"$root.log" 2>&1; then
  tail -n 60 "$root.log" >&2
  cat "$root.autopkgtest/summary" >&2 2>/dev/null || true
  fail "autopkgtest (the end of its output is above)"
fi
cat "$root.autopkgtest/summary"

step "apt-get purge leaves nothing behind"
names=()
for package in "${packages[@]}"; do names+=("$(dpkg-deb -f "$package" Package)"); done
with_root_mounted chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${names[@]}" >/dev/null
leftovers=$(cd "$root" && ls -d usr/lib/privet usr/libexec/privet usr/bin/privet-* usr/share/doc/privet-* \
  usr/share/polkit-1/actions/com.fernhill.privet.policy usr/share/applications/com.fernhill.privet.* 2>/dev/null || true)
[ -z "$leftovers" ] || fail "left after purge: $leftovers"

echo
echo "debian-root: the autopkgtests pass in a fresh $fresh_root_suite root; purge is clean"
