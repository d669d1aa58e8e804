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
here=$(cd "$(dirname "$0")" && pwd)
. "$here/fresh-root.sh"
package=$(realpath "$1")
cache=$(realpath -m "${2:-${TMPDIR:-/tmp}/privet-debian-root-cache}")

step() { printf '\ndebian-root: %s\n' "$*"; }
fail() { printf 'debian-root: FAILED: %s\n' "$*" >&2; exit 1; }

root=$(mktemp -d "${TMPDIR:-/tmp}/privet-debian-root-XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$cache/apt"

step "debootstrap $fresh_root_suite (minbase) into $root"
make_fresh_root "$root" "$cache" || fail "debootstrap"
cp "$package" "$root/tmp/"

# Runs a command as root inside the Debian root.
inside() { "$here/in-root" --apt-archives "$cache/apt" "$root" "$@"; }

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
echo "debian-root: the package installs into a fresh $fresh_root_suite root, both panes load, Install and Remove work, purge is clean"
