#!/usr/bin/env bash
# Inside the real-polkit world: boots systemd as the system manager of a pid
# namespace of its own and, from a service of it, starts a privileged install
# from a control group an ordinary user owns, as a caller's would be. The run
# must leave that group for a scope of the manager's under system.slice,
# install, and leave no unit behind.
set -euo pipefail
hierarchy=$(findmnt -n -l -t cgroup2 -o TARGET | tail -n 1)
results=/root/system-manager-road
pane=/usr/local/lib/privet/KestrelPrefs.prefPane
helper=$pane/Contents/Helpers/KestrelInstallHelper
mkdir -p "$results" "$hierarchy/manager"
: >"$results/console"

cat >"$results/road.sh" <<EOF
set -u
mkdir /sys/fs/cgroup/caller
chown nobody:nogroup /sys/fs/cgroup/caller /sys/fs/cgroup/caller/cgroup.procs
echo \$\$ >/sys/fs/cgroup/caller/cgroup.procs
$helper $helper --self-repair install Library.QuickTime $pane/Contents/PlugIns/FernhillDigitizer.component \
  2>$results/helper.log &
run=\$!
# The run's group once it has left the caller's, or the last one seen.
for _ in \$(seq 100); do
  now=\$(grep '^0::' /proc/\$run/cgroup 2>/dev/null) || break
  echo "\${now#0::}" >$results/cgroup
  [ "\$now" = 0::/caller ] || break
  sleep 0.1
done
wait \$run
echo \$? >$results/status
# Until the manager has collected the run's scope.
for _ in \$(seq 50); do
  systemctl list-units --all --plain --no-legend 'privet-KestrelInstallHelper-*' >$results/units
  [ -s $results/units ] || break
  sleep 0.1
done
systemctl --no-block poweroff
EOF

# The manager's console is a file, its cgroup2 hierarchy a group of this
# world's, and it starts only the bus and the road; a minute bounds it.
export container=privet-test
bash -c 'echo $$ >"$1/manager/cgroup.procs" && exec "${@:2}"' _ "$hierarchy" \
  timeout --kill-after=5 60 unshare --mount --pid --cgroup --fork --kill-child --propagation private -- bash -c '
    set -e
    mount --bind "$1/console" /dev/console
    mount -t tmpfs -o mode=0755 run /run
    mkdir -p /run/systemd/system/dbus.service.d /run/systemd/system/dbus.socket.d
    for unit in dbus.service dbus.socket; do
      printf "[Unit]\nDefaultDependencies=no\n" >"/run/systemd/system/$unit.d/privet.conf"
    done
    printf "%s\n" "[Unit]" DefaultDependencies=no Requires=dbus.service After=dbus.service \
      "[Service]" Type=oneshot "ExecStart=/bin/bash $1/road.sh" >/run/systemd/system/privet-road.service
    mount -t proc proc /proc
    mount --bind -o ro /proc/sys /proc/sys
    mount -o remount,bind,ro /sys
    mount --bind "$2/manager" /sys/fs/cgroup
    exec /lib/systemd/systemd --unit=privet-road.service --log-target=console
  ' _ "$results" "$hierarchy" </dev/null >/dev/null 2>&1 || true

fail() {
  echo "system-manager-road: FAILED: $*" >&2
  for file in console helper.log; do echo "--- $file" >&2; tail -n 20 "$results/$file" >&2 || true; done
  exit 1
}
[ -e "$results/status" ] || fail "the road never ran"
grep -Eqx '/system\.slice/privet-KestrelInstallHelper-[0-9]+\.scope' "$results/cgroup" ||
  fail "the run is in $(cat "$results/cgroup"), not a scope of the system manager"
[ "$(cat "$results/status")" = 0 ] || fail "the run exited $(cat "$results/status")"
[ -f /Library/QuickTime/FernhillDigitizer.component/Contents/Info.plist ] || fail "nothing was installed"
grep -q "control group" "$results/helper.log" && fail "the run logged about its control group"
[ ! -s "$results/units" ] || fail "units left behind: $(cat "$results/units")"
echo "system-manager-road: the run left its caller's group for $(cat "$results/cgroup") and installed"
