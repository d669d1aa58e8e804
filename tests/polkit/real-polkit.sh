#!/usr/bin/env bash
# Walks the privileged road as an ordinary user, for real: the product
# installed over /usr, dbus-daemon, polkitd, pkexec, authentication agents
# and passwords typed on pseudo-terminals, all inside private mount, pid,
# cgroup and network namespaces with throwaway accounts. Nothing on the
# machine itself changes. Needs root.
#
#   real-polkit.sh BUILD_DIR [COMMAND...]
#
# With COMMAND, runs it in the finished world instead of the cases.
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  [ "$(id -u)" -eq 0 ] || { echo "real-polkit: needs root; skipped"; exit 77; }
  [ $# -ge 1 ] || { echo "usage: real-polkit.sh BUILD_DIR [COMMAND...]" >&2; exit 2; }
  build=$(realpath "$1")
  shift
  for tool in unshare pivot_root dbus-daemon /usr/lib/polkit-1/polkitd /usr/bin/pkexec pkttyagent Xvfb xdotool openssl; do
    command -v "$tool" >/dev/null || { echo "real-polkit: $tool is missing (scripts/bootstrap installs it)" >&2; exit 1; }
  done
  cgroup2=$(findmnt -n -t cgroup2 -o TARGET | head -n 1)
  [ -n "$cgroup2" ] || { echo "real-polkit: no cgroup2 hierarchy is mounted" >&2; exit 1; }

  work=$(mktemp -d "${TMPDIR:-/tmp}/privet-polkit.XXXXXX")
  cgroup=$cgroup2/$(basename "$work")
  cleanup() {
    if [ -d "$cgroup" ]; then
      [ -e "$cgroup/cgroup.kill" ] && echo 1 >"$cgroup/cgroup.kill" 2>/dev/null || true
      for _ in 1 2 3 4 5 6 7 8 9 10; do
        find "$cgroup" -depth -type d -exec rmdir {} + 2>/dev/null || true
        [ -d "$cgroup" ] || break
        sleep 0.2
      done
    fi
    rm -rf "$work"
  }
  trap cleanup EXIT
  mkdir "$cgroup" "$work/root" "$work/scratch"
  DESTDIR=$work/stage cmake --install "$build" >/dev/null
  PRIVET_PREFIX=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
  export PRIVET_PREFIX=${PRIVET_PREFIX:-/usr/local}
  # mount(8) keeps its notes here rather than in the machine's /run.
  export LIBMOUNT_UTAB=$work/utab
  # The cgroup namespace is rooted at $cgroup: the session's processes show
  # a path like a login session's.
  bash -c 'echo $$ >"$1/cgroup.procs" && shift && exec "$@"' _ "$cgroup" \
    unshare --mount --pid --cgroup --net --fork --kill-child --propagation private -- \
    bash "$0" --inside "$work" "$cgroup" "$(cd "$(dirname "$0")" && pwd)" "$@" <&0 &
  namespaces=$!
  # Ending unshare ends everything inside; it ignores TERM and INT itself.
  trap 'kill -KILL "$namespaces" 2>/dev/null; wait "$namespaces" || true; exit 143' TERM INT HUP
  status=0
  wait "$namespaces" || status=$?
  exit "$status"
fi

# Inside the namespaces, as their pid 1: everything started here ends with it.
work=$2 cgroup=$3 here=$4
shift 4
root=$work/root scratch=$work/scratch
mount -t tmpfs -o mode=0755 privet-root "$root"
mount -t tmpfs -o mode=0755 privet-scratch "$scratch"

# Accounts: an administrator (group sudo, polkit's administrators here) and
# an ordinary user, each with a known password.
free_uid() {
  local uid=$1
  while getent passwd "$uid" >/dev/null || getent group "$uid" >/dev/null; do uid=$((uid + 1)); done
  echo "$uid"
}
admin=privet-admin admin_password=kestrel-admin-pw
user=privet-user user_password=kestrel-user-pw
admin_uid=$(free_uid 4200)
user_uid=$(free_uid $((admin_uid + 1)))
mkdir "$scratch/etc"
for file in passwd shadow group gshadow; do cp -p "/etc/$file" "$scratch/etc/$file"; done
days=$(($(date +%s) / 86400))
for account in "$admin:$admin_uid:$admin_password" "$user:$user_uid:$user_password"; do
  IFS=: read -r name uid password <<<"$account"
  echo "$name:x:$uid:$uid::/home/$name:/bin/bash" >>"$scratch/etc/passwd"
  echo "$name:$(openssl passwd -6 "$password"):$days:0:99999:7:::" >>"$scratch/etc/shadow"
  echo "$name:x:$uid:" >>"$scratch/etc/group"
  echo "$name:!::" >>"$scratch/etc/gshadow"
done
sed -i -e "/^sudo:/ s/\$/,$admin/" -e '/^sudo:/ s/:,/:/' "$scratch/etc/group" "$scratch/etc/gshadow"

# The new root: the machine's programs, the product installed over /usr,
# private /run, /tmp, /home, /root and the system's Library folders.
for entry in /bin /sbin /lib /lib32 /lib64 /libx32; do
  if [ -L "$entry" ]; then cp -P "$entry" "$root/"
  elif [ -d "$entry" ]; then mkdir "$root$entry" && mount --rbind "$entry" "$root$entry"
  fi
done
for dir in usr var; do
  mkdir -p "$root/$dir" "$scratch/$dir.upper" "$scratch/$dir.work"
  mount -t overlay -o "lowerdir=/$dir,upperdir=$scratch/$dir.upper,workdir=$scratch/$dir.work" "privet-$dir" "$root/$dir"
done
cp -a "$work/stage/." "$root/"
mkdir "$root/etc"
mount --rbind /etc "$root/etc"
for file in passwd shadow group gshadow; do mount --bind "$scratch/etc/$file" "$root/etc/$file"; done
mount -o remount,bind,ro "$root/etc"
mkdir "$root/dev" "$root/proc" "$root/sys"
mount --rbind /dev "$root/dev"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid="$(getent group tty | cut -d: -f3)" devpts "$root/dev/pts"
mount --bind "$root/dev/pts/ptmx" "$root/dev/ptmx"
mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
# The cgroup2 hierarchy as this cgroup namespace sees it: groups the root side
# makes at its top are made inside this world's group, and end with it.
hierarchy=$(findmnt -n -t cgroup2 -o TARGET | head -n 1)
mount --bind "$cgroup" "$root$hierarchy"
mkdir -m 0755 "$root/run" "$root/home" "$root/Library" "$root/System" "$root/System/Library"
mkdir -m 1777 "$root/tmp"
mkdir -m 0700 "$root/root"
for account in "$admin:$admin_uid" "$user:$user_uid"; do
  IFS=: read -r name uid <<<"$account"
  mkdir -m 0700 "$root/home/$name"
  chown "$uid:$uid" "$root/home/$name"
done
mkdir "$root/harness"
cp "$here"/*.py "$here"/system-manager-road.sh "$root/harness/"

cd "$root"
pivot_root . .
umount -l .
cd /
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root

wait_for() {  # SECONDS COMMAND...: until COMMAND succeeds
  local tries=$(($1 * 10))
  shift
  until "$@" 2>/dev/null; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || { echo "real-polkit: gave up waiting for: $*" >&2; return 1; }
    sleep 0.1
  done
}

# The ordinary user's login session, as logind describes one; its
# processes go into the session's scope.
session=c1
scope=/user.slice/user-$user_uid.slice/session-$session.scope
mkdir -p "$hierarchy$scope" /run/systemd/system /run/systemd/sessions /run/systemd/users /run/systemd/seats /run/systemd/machines
install -d -m 0700 -o "$user_uid" -g "$user_uid" "/run/user/$user_uid"
printf '%s\n' "UID=$user_uid" "USER=$user" ACTIVE=1 IS_DISPLAY=1 STATE=active REMOTE=0 TYPE=tty CLASS=user \
  "SCOPE=session-$session.scope" SEAT=seat0 SERVICE=login >"/run/systemd/sessions/$session"
printf '%s\n' "NAME=$user" STATE=active "RUNTIME=/run/user/$user_uid" "SESSIONS=$session" SEATS=seat0 \
  "ACTIVE_SESSIONS=$session" "ONLINE_SESSIONS=$session" "DISPLAY=$session" >"/run/systemd/users/$user_uid"
printf '%s\n' IS_SEAT0=1 CAN_MULTI_SESSION=1 CAN_TTY=1 CAN_GRAPHICAL=1 "ACTIVE=$session" "ACTIVE_UID=$user_uid" \
  "SESSIONS=$session" "UIDS=$user_uid" >/run/systemd/seats/seat0

# An action only an active local session is allowed, to see what polkit
# makes of the session.
printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' '<policyconfig>' \
  '  <action id="com.fernhill.privet.test-session">' \
  '    <description>Be in an active local session</description>' \
  '    <message>Only an active local session may do this</message>' \
  '    <defaults><allow_any>no</allow_any><allow_inactive>no</allow_inactive><allow_active>yes</allow_active></defaults>' \
  '  </action>' '</policyconfig>' >/usr/share/polkit-1/actions/com.fernhill.privet.test-session.policy

# The system bus and polkitd, as the machine's services start them.
services() {
  mkdir -p /run/dbus
  dbus-daemon --system --nofork --nopidfile 2>/run/services.log &
  wait_for 5 test -S /run/dbus/system_bus_socket || return
  /usr/lib/polkit-1/polkitd --no-debug 2>>/run/services.log &  # it becomes its own user
  wait_for 10 sh -c 'dbus-send --system --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 | grep -q "boolean true"'
}
services || { cat /run/services.log >&2; exit 1; }

export PRIVET_SESSION=$session PRIVET_SCOPE=$hierarchy$scope
export PRIVET_ADMIN=$admin PRIVET_ADMIN_PASSWORD=$admin_password PRIVET_USER=$user PRIVET_USER_PASSWORD=$user_password
if [ $# -gt 0 ]; then "$@"; exit; fi
/usr/bin/python3 /harness/road.py
