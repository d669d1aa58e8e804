#!/bin/sh
# Installs the build into a throwaway root and checks that the installed
# programs find their libraries and load both panes without the build tree.
#   installed-tree.sh BUILD_DIR
set -eu
build=$1
root=$(mktemp -d "${TMPDIR:-/tmp}/privet-installed-XXXXXX")
trap 'rm -rf "$root"' EXIT
# DESTDIR: the polkit action goes to polkit's own folder, outside any prefix.
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
privet=$root/usr/lib/privet
export QT_QPA_PLATFORM=offscreen
out=$("$privet/pane-status" --json "$privet/KestrelPrefs.prefPane" "$privet/SidelightPane.prefPane" 2>/dev/null)
echo "$out"
case "$out" in *'"Kestrel": {"digitizer"'*'"Sidelight": {"camera"'*) ;; *) echo "installed panes did not load"; exit 1 ;; esac
"$privet/Preferences" --select Sidelight --screenshot "$root/preferences.png" \
    "$privet/KestrelPrefs.prefPane" "$privet/SidelightPane.prefPane" 2>/dev/null
test -s "$root/preferences.png"
"$privet/PaneHarness.app/Contents/Linux/PaneHarness" --screenshot "$root/harness.png" 2>/dev/null
test -s "$root/harness.png"
test -x "$root/usr/libexec/privet/privileged-launcher"
test ! -e "$privet/KestrelPrefs.prefPane/Contents/Helpers/privileged-launcher"
policy_dir=$(pkg-config --variable=policydir polkit-gobject-1)
grep -q "/libexec/privet/privileged-launcher" "$root${policy_dir:-/usr/share/polkit-1/actions}/com.fernhill.privet.policy"
echo "installed tree: both panes load, Preferences and PaneHarness draw their windows"
