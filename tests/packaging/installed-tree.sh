#!/bin/sh
# Installs the build into a throwaway root and checks that the installed
# programs find their libraries and load both panes without the build tree,
# that an install under another prefix than the build's is refused, and that
# the desktop knows the applications (under Xvfb): each window's class is its
# desktop file's StartupWMClass, its title ends in the launcher's name, it has
# the icon the desktop file names, it answers F1, Ctrl+W and Ctrl+Q, and at
# twice the size it fits a 1280x800 screen; and
# every program answers --version and names an option it does not know;
# Preferences also runs under a headless Wayland compositor.
#   installed-tree.sh BUILD_DIR
set -eu
build=$1
# Sanitizer builds start and draw several times slower: every wait for a
# window scales with it (PRIVET_TEST_SLOWDOWN, set by CTest).
long=$((90 * ${PRIVET_TEST_SLOWDOWN:-1}))
root=$(mktemp -d "${TMPDIR:-/tmp}/privet-installed-XXXXXX")
xvfb=
trap '[ -z "$xvfb" ] || kill "$xvfb"; rm -rf "$root"' EXIT
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
case "$out" in *'"Kestrel":{"digitizer"'*'"Sidelight":{"camera"'*) ;; *) echo "installed panes did not load"; exit 1 ;; esac
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

for program in "$privet/Preferences" "$privet/pane-status" "$privet/PaneHarness.app/Contents/Linux/PaneHarness" \
               "$root$prefix/libexec/privet/privileged-launcher"; do
  name=${program##*/}
  [ "$("$program" --version)" = "$name (Privet) 1.0" ] || { echo "$name --version: $("$program" --version)"; exit 1; }
  status=0
  "$program" --colour 2>"$root/refused" >/dev/null || status=$?
  [ "$status" = 2 ] && grep -q "^$name: unknown option --colour\$" "$root/refused" ||
    { echo "$name --colour ended with $status and said:"; cat "$root/refused"; exit 1; }
done

# -noreset: the server would reset, and refuse connections for a moment,
# each time its last client leaves.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$root/display" 2>"$root/xvfb.log" &
xvfb=$!
for _ in $(seq 300); do [ -s "$root/display" ] && break; sleep 0.1; done
# The installed icons beside the system's hicolor theme, as once installed.
# xprop writes titles as UTF-8 only in a UTF-8 locale.
export DISPLAY=":$(cat "$root/display")" XDG_DATA_DIRS="$root$prefix/share:/usr/share" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
# desktop_key ID KEY: that key's value in the installed desktop file ID.
desktop_key() { sed -n "s/^$2=//p" "$root$prefix/share/applications/$1.desktop"; }
# window_of PID CLASS: the window of class CLASS the program PID shows; or
# nothing, and why when the X server went.
window_of() {
  timeout "$long" xdotool search --sync --onlyvisible --pid "$1" --class "^$2\$" | head -n 1
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb has ended:" >&2; cat "$root/xvfb.log" >&2; }
}
# check_window ID WINDOW TITLE: its class, title and icon are the desktop
# file's (the title once the program has shown what it was asked to).
check_window() {
  for _ in $(seq $((long * 5))); do
    xprop -id "$2" WM_CLASS _NET_WM_NAME >"$root/properties"
    grep -q "^_NET_WM_NAME(UTF8_STRING) = \"$3\"\$" "$root/properties" && break
    sleep 0.2
  done
  grep -q "^WM_CLASS(STRING) = \".*\", \"$(desktop_key "$1" StartupWMClass)\"\$" "$root/properties" &&
    grep -q "^_NET_WM_NAME(UTF8_STRING) = \"$3\"\$" "$root/properties" &&
    xprop -id "$2" _NET_WM_ICON | grep -q "^_NET_WM_ICON(CARDINAL) = " ||
    { echo "$1's window is not what its desktop file says:"; cat "$root/properties"; exit 1; }
}

id=com.fernhill.privet.preferences
"$privet/Preferences" --select Kestrel "$privet/KestrelPrefs.prefPane" 2>/dev/null &
app=$!
window=$(window_of "$app" "$(desktop_key "$id" StartupWMClass)")
[ -n "$window" ] || { echo "Preferences showed no window of class $(desktop_key $id StartupWMClass)"; exit 1; }
check_window "$id" "$window" "Kestrel — $(desktop_key "$id" Name)"
# ended PID: whether the program PID ends within $long seconds.
ended() { timeout "$long" sh -c 'while kill -0 "$1" 2>/dev/null; do sleep 0.1; done' sh "$1"; }
# other_window PID WINDOW TITLE: a visible window of PID besides WINDOW, with that title.
other_window() {
  for candidate in $(xdotool search --onlyvisible --pid "$1" --name .); do
    [ "$candidate" != "$2" ] && [ "$(xdotool getwindowname "$candidate")" = "$3" ] && { echo "$candidate"; return; }
  done
  return 0
}
xdotool windowfocus --sync "$window" key F1
about=
about_title="About — $(desktop_key "$id" Name)"
for _ in $(seq $((long * 10))); do about=$(other_window "$app" "$window" "$about_title"); [ -n "$about" ] && break; sleep 0.1; done
[ -n "$about" ] || { echo "F1 showed no About window"; exit 1; }
# Without a window manager nothing moves the focus: each key goes where it is sent.
xdotool windowfocus --sync "$about" key Escape
for _ in $(seq $((long * 10))); do about=$(other_window "$app" "$window" "$about_title"); [ -z "$about" ] && break; sleep 0.1; done
[ -z "$about" ] || { echo "Escape did not close the About window"; exit 1; }
xdotool windowfocus --sync "$window" key ctrl+w
ended "$app" || { echo "Ctrl+W did not close Preferences"; exit 1; }

# At twice the size, on a 1280x800 screen, the window and its least size fit.
QT_SCALE_FACTOR=2 "$privet/Preferences" --select Sidelight "$privet/SidelightPane.prefPane" 2>/dev/null &
app=$!
window=$(window_of "$app" "$(desktop_key com.fernhill.privet.preferences StartupWMClass)")
[ -n "$window" ] || { echo "Preferences at twice the size showed no window"; exit 1; }
size=$(xwininfo -id "$window" | sed -n 's/^ *Width: //p; s/^ *Height: //p' | paste -sd' ')
least=$(xprop -id "$window" WM_NORMAL_HINTS | sed -n 's/.*minimum size: \([0-9]*\) by \([0-9]*\)/\1 \2/p')
for pair in "$size" "$least"; do
  set -- $pair
  [ "${1:-9999}" -le 1280 ] && [ "${2:-9999}" -le 800 ] ||
    { echo "at twice the size the window is $size, at least $least: more than a 1280x800 screen"; exit 1; }
done
kill "$app"

id=com.fernhill.paneharness
"$privet/PaneHarness.app/Contents/Linux/PaneHarness" 2>/dev/null &
app=$!
window=$(window_of "$app" "$(desktop_key "$id" StartupWMClass)")
[ -n "$window" ] || { echo "PaneHarness showed no window of class $(desktop_key $id StartupWMClass)"; exit 1; }
check_window "$id" "$window" "$(desktop_key "$id" Name)"
xdotool windowfocus --sync "$window" key ctrl+q
ended "$app" || { echo "Ctrl+Q did not end PaneHarness"; exit 1; }

# On a Wayland session without X, through Qt's Wayland plug-in.
export XDG_RUNTIME_DIR="$root/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
weston --backend=headless-backend.so --socket=wayland-privet --idle-time=0 >"$root/weston.log" 2>&1 &
weston=$!
trap 'kill "$weston" 2>/dev/null; [ -z "$xvfb" ] || kill "$xvfb"; rm -rf "$root"' EXIT
for _ in $(seq 300); do [ -S "$XDG_RUNTIME_DIR/wayland-privet" ] && break; sleep 0.1; done
# Only whether Qt's Wayland plug-in shows the window is judged here: the
# sanitizer builds judge our code in the other tests, and here would count
# libwayland-client's allocations left to the end of the process, and the
# plug-in's own event thread, against it.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS }halt_on_error=0 exitcode=0" \
WAYLAND_DISPLAY=wayland-privet QT_QPA_PLATFORM=wayland DISPLAY= timeout $((long * 2)) "$privet/Preferences" --select Kestrel \
    --screenshot "$root/wayland.png" "$privet/KestrelPrefs.prefPane" 2>"$root/wayland.log" && test -s "$root/wayland.png" ||
  { cat "$root/wayland.log" "$root/weston.log"; echo "Preferences did not run under a Wayland compositor"; exit 1; }

echo "installed tree: both panes load, Preferences and PaneHarness draw their windows and are known to the desktop," \
  "Preferences runs on Wayland, every program answers --version, another prefix is refused"
