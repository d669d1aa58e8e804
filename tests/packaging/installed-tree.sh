#!/bin/sh
# Installs the build into a throwaway root and checks that the installed
# programs find their libraries and load both panes without the build tree,
# and that an install under another prefix than the build's is refused.
#   installed-tree.sh BUILD_DIR
set -eu
build=$1
root=$(mktemp -d "${TMPDIR:-/tmp}/privet-installed-XXXXXX")
trap 'rm -rf "$root"' EXIT
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
refusal=$(DESTDIR=$root cmake --install "$build" --prefix /opt/elsewhere 2>&1) &&
  { echo "the build installed under a prefix it was not configured for"; exit 1; }
case $refusal in *"configured for $prefix"*) ;; *) echo "$refusal"; exit 1 ;; esac
[ -z "$(ls -A "$root")" ] || { echo "files were copied before the other prefix was refused"; exit 1; }
# DESTDIR: the polkit action goes to polkit's own folder, outside any prefix.
DESTDIR=$root cmake --install "$build" >/dev/null
privet=$root$prefix/lib/privet
export QT_QPA_PLATFORM=offscreen
out=$("$privet/pane-status" --json "$privet/KestrelPrefs.prefPane" "$privet/SidelightPane.prefPane" 2>/dev/null)
echo "$out"
case "$out" in *'"Kestrel": {"digitizer"'*'"Sidelight": {"camera"'*) ;; *) echo "installed panes did not load"; exit 1 ;; esac
"$privet/Preferences" --select Sidelight --screenshot "$root/preferences.png" \
    "$privet/KestrelPrefs.prefPane" "$privet/SidelightPane.prefPane" 2>/dev/null
test -s "$root/preferences.png"
"$privet/PaneHarness.app/Contents/Linux/PaneHarness" --screenshot "$root/harness.png" 2>/dev/null
test -s "$root/harness.png"
test -x "$root$prefix/libexec/privet/privileged-launcher"
test ! -e "$privet/KestrelPrefs.prefPane/Contents/Helpers/privileged-launcher"
grep -q "\"$prefix/lib/privet/pane-status\"" "$root$prefix/bin/privet-pane-status"
policy_dir=$(pkg-config --variable=policydir polkit-gobject-1)
grep -q ">$prefix/libexec/privet/privileged-launcher<" "$root${policy_dir:-/usr/share/polkit-1/actions}/com.fernhill.privet.policy"
echo "installed tree: both panes load, Preferences and PaneHarness draw their windows, another prefix is refused"
