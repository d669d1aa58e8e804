#!/usr/bin/env bash
# Installs the Debian package with apt into a fresh minimal Debian root made
# by debootstrap, and uses it there as a user would: Preferences shows both
# panes, pane-status reports them, installs and removes a plug-in as root,
# and purging the package leaves nothing of it behind. Needs root and network
# access to the Debian archive.
#
#   debian-root.sh PACKAGE.deb [CACHE_DIR]
#
# CACHE_DIR keeps downloaded Debian packages between runs.
set -euo pipefail
package=$(realpath "$1")
cache=$(realpath -m "${2:-${TMPDIR:-/tmp}/privet-debian-root-cache}")
. /etc/os-release
suite=${VERSION_CODENAME:-bookworm}
mirror=${PRIVET_DEBIAN_MIRROR:-http://deb.debian.org/debian}

step() { printf '\ndebian-root: %s\n' "$*"; }
fail() { printf 'debian-root: FAILED: %s\n' "$*" >&2; exit 1; }

root=$(mktemp -d "${TMPDIR:-/tmp}/privet-debian-root-XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$cache/debootstrap" "$cache/apt"

step "debootstrap $suite (minbase) into $root"
debootstrap --variant=minbase --cache-dir="$cache/debootstrap" "$suite" "$root" "$mirror" >"$root.log" 2>&1 \
  || { tail -n 20 "$root.log" >&2; rm -f "$root.log"; fail "debootstrap"; }
rm -f "$root.log"
# No services start inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp "$package" "$root/tmp/"

# Runs a command as root inside the Debian root.
inside() {
  bwrap --bind "$root" / --proc /proc --dev /dev --tmpfs /run --dir /run/user/0 --chmod 0700 /run/user/0 \
    --bind "$cache/apt" /var/cache/apt/archives \
    --ro-bind /etc/resolv.conf /etc/resolv.conf \
    --unshare-pid --unshare-ipc --die-with-parent \
    --setenv DEBIAN_FRONTEND noninteractive --setenv QT_QPA_PLATFORM offscreen \
    --setenv PATH /usr/sbin:/usr/bin:/sbin:/bin --setenv HOME /root --setenv XDG_RUNTIME_DIR /run/user/0 \
    -- "$@"
}

step "apt-get install $(basename "$package")"
# The shared download cache belongs to root, not to apt's own user.
apt=(apt-get -o APT::Sandbox::User=root)
inside "${apt[@]}" update -qq
inside "${apt[@]}" install -y -qq --no-install-recommends "/tmp/$(basename "$package")" \
  || fail "the package does not install"

step "Preferences shows both panes"
for pane in Kestrel Sidelight; do
  inside privet-preferences --select "$pane" --screenshot "/root/$pane.png" \
    || fail "Preferences did not load the $pane pane"
  [ -s "$root/root/$pane.png" ] || fail "no picture of the $pane pane"
done

step "pane-status reports the installed panes"
status=$(inside privet-pane-status --json 2>/dev/null) || fail "pane-status did not run"
echo "$status"
case "$status" in *'"Kestrel": {"digitizer"'*'"Sidelight": {"camera"'*) ;; *) fail "pane-status did not load both panes" ;; esac

summary() { sed -n 's/^ *payloadSystemSummary *//p'; }
step "install and remove a plug-in as root"
installed=$(inside privet-pane-status --install digitizer --timeout 20 2>/dev/null | summary | head -n 1) || true
[ "$installed" = "Fernhill Digitizer 1.8 (IS UP TO DATE)" ] || fail "after Install the pane says \"$installed\""
[ -f "$root/Library/QuickTime/FernhillDigitizer.component/Contents/Info.plist" ] || fail "nothing was installed"
removed=$(inside privet-pane-status --remove digitizer --timeout 20 2>/dev/null | summary | head -n 1) || true
[ "$removed" = "NOT INSTALLED" ] || fail "after Remove the pane says \"$removed\""
[ ! -e "$root/Library/QuickTime/FernhillDigitizer.component" ] || fail "Remove left the plug-in"

step "apt-get purge leaves nothing behind"
inside "${apt[@]}" purge -y -qq privet-payload-installer >/dev/null
leftovers=$(inside sh -c 'ls -d /usr/lib/privet /usr/libexec/privet /usr/bin/privet-* \
  /usr/share/polkit-1/actions/com.fernhill.privet.policy /usr/share/applications/privet-* 2>/dev/null' || true)
[ -z "$leftovers" ] || fail "left after purge: $leftovers"

echo
echo "debian-root: the package installs into a fresh $suite root, both panes load, Install and Remove work, purge is clean"
