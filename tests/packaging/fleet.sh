#!/usr/bin/env bash
# Brings the capture plug-ins to a fleet of three fresh Debian roots at once
# with the project's Ansible role, through Ansible's chroot connection, and
# checks what an administrator relies on: check mode reports what would
# change and changes nothing, on fresh hosts too; the first run installs the
# package and the plug-ins and reports a change on every host; a second run
# changes nothing and reports nothing; a plug-in damaged on one host is
# repaired there and nowhere else; a plug-in set absent is removed. Two
# hosts get the package file, the third a repository. Needs root and network
# access to the Debian archive.
#
#   fleet.sh PACKAGE.deb [CACHE_DIR]
#
# CACHE_DIR keeps downloaded Debian packages between runs (the same folder as
# debian-root.sh's, whose downloads are reused here).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/fresh-root.sh"
playbook=$(cd "$here/../../packaging/ansible" && pwd)/site.yml
package=$(realpath "$1")
cache=$(realpath -m "${2:-${TMPDIR:-/tmp}/privet-debian-root-cache}")
hosts=(host-1 host-2 host-3)
digitizer=Library/QuickTime/FernhillDigitizer.component
camera=Library/CoreMediaIO/Plug-Ins/DAL/FernhillCamera.plugin

step() { printf '\nfleet: %s\n' "$*"; }
fail() { printf 'fleet: FAILED: %s\n' "$*" >&2; exit 1; }

fleet=$(mktemp -d "${TMPDIR:-/tmp}/privet-fleet-XXXXXX")
trap 'rm -rf "$fleet"' EXIT

step "ansible-lint, and the example inventory"
(cd "$(dirname "$playbook")" && ansible-lint --offline --nocolor -q) || fail "ansible-lint"
ansible-playbook --syntax-check -i "$(dirname "$playbook")/inventory.example.ini" "$playbook" >/dev/null \
  || fail "the example playbook or inventory does not parse"

step "a fresh $fresh_root_suite root with python3, copied for ${#hosts[@]} hosts"
make_fresh_root "$fleet/fresh" "$cache" python3,python3-apt || fail "debootstrap"
"$here/in-root" "$fleet/fresh" apt-get update -qq || fail "apt-get update"
# Earlier downloads, copied (linked where possible) rather than shared: the
# hosts install at once, and apt locks its download folder.
downloads=()
[ -d "$cache/apt" ] && mapfile -t downloads < <(find "$cache/apt" -maxdepth 1 -name '*.deb')
for host in "${hosts[@]}"; do
  cp -a "$fleet/fresh" "$fleet/$host"
  archives=$fleet/$host/var/cache/apt/archives
  [ "${#downloads[@]}" -eq 0 ] || cp -lf "${downloads[@]}" "$archives" 2>/dev/null || cp -f "${downloads[@]}" "$archives"
done
rm -rf "$fleet/fresh"
# The third host installs from a repository instead of the file.
mkdir -p "$fleet/host-3/srv/privet"
cp "$package" "$fleet/host-3/srv/privet/"
(cd "$fleet/host-3/srv/privet" && dpkg-scanpackages --multiversion . >Packages 2>/dev/null)

cat >"$fleet/inventory.ini" <<INVENTORY
[capture_stations]
host-1 ansible_host=$fleet/host-1
host-2 ansible_host=$fleet/host-2
host-3 ansible_host=$fleet/host-3 privet_package_file="" privet_apt_repository="deb [trusted=yes] file:/srv/privet ./"

[capture_stations:vars]
ansible_connection=community.general.chroot
ansible_chroot_exe=$here/in-root
ansible_python_interpreter=/usr/bin/python3
privet_package_file=$package
INVENTORY
printf '{"privet_payloads": [%s, %s]}\n' '{"pane": "KestrelPrefs", "payload": "digitizer", "state": "absent"}' \
  '{"pane": "SidelightPane", "payload": "camera", "state": "present"}' >"$fleet/digitizer-absent.json"

# Runs the example playbook on the fleet; its output goes to NAME.log.
play() {
  local name=$1
  shift
  ANSIBLE_NOCOLOR=1 ANSIBLE_FORKS=${#hosts[@]} ANSIBLE_LOCAL_TEMP="$fleet/ansible-tmp" \
    timeout 300 ansible-playbook -i "$fleet/inventory.ini" "$playbook" "$@" >"$fleet/$name.log" 2>&1 \
    || { tail -n 40 "$fleet/$name.log" >&2; fail "ansible-playbook ($name) failed; its output ends as above"; }
  sed -n '/^PLAY RECAP/,$p' "$fleet/$name.log"
}
# changes NAME HOST: the number of changes the NAME run reported for HOST.
changes() { sed -n "s/^$2 *:.* changed=\([0-9]*\) .*/\1/p" "$fleet/$1.log"; }
expect_changes() {  # expect_changes NAME COUNT: the NAME run reported COUNT changes on every host
  local host count
  for host in "${hosts[@]}"; do
    count=$(changes "$1" "$host")
    [ "$count" = "$2" ] || fail "the $1 run reported ${count:-no} changes on $host, not $2"
  done
}
# Each installed plug-in's inode, one line per host: an install that is done
# again replaces the plug-in and so changes its inode.
inodes() { local host; for host in "${hosts[@]}"; do stat -c %i "$fleet/$host/$digitizer" "$fleet/$host/$camera" | paste -sd' '; done; }

step "check mode on the fresh hosts: the package reported, nothing installed"
play fresh-check --check
# The package file copied or the repository added; the rest waits for them.
expect_changes fresh-check 1
for host in "${hosts[@]}"; do
  [ ! -e "$fleet/$host/usr/bin/privet-pane-status" ] || fail "check mode installed the package on $host"
done

step "first run: the package and both plug-ins go to every host"
play first
# The package file copied or the repository added, the package, the plug-ins.
expect_changes first 3
for host in "${hosts[@]}"; do
  for payload in "$digitizer" "$camera"; do
    [ -f "$fleet/$host/$payload/Contents/Info.plist" ] || fail "$host has no /$payload"
  done
done
before=$(inodes)

step "second run: nothing to do, and nothing done"
play second
expect_changes second 0
[ "$(inodes)" = "$before" ] || fail "the second run installed again"

step "a damaged camera on one host: the role repairs it there, and only there"
: >"$fleet/${hosts[0]}/$camera/Contents/Info.plist"
play repair
for host in "${hosts[@]}"; do
  expected=0
  [ "$host" = "${hosts[0]}" ] && expected=1
  [ "$(changes repair "$host")" = "$expected" ] ||
    fail "the repair run reported $(changes repair "$host") changes on $host, not $expected"
done
cmp -s "$fleet/${hosts[0]}/$camera/Contents/Info.plist" "$fleet/${hosts[1]}/$camera/Contents/Info.plist" ||
  fail "the camera on ${hosts[0]} was not repaired"
before=$(inodes)

step "check mode with the digitizer absent: reported, not done"
play check --check -e "@$fleet/digitizer-absent.json"
expect_changes check 1
[ "$(inodes)" = "$before" ] || fail "check mode changed the plug-ins"

step "the digitizer absent: removed everywhere, the camera left alone"
play absent -e "@$fleet/digitizer-absent.json"
expect_changes absent 1
for host in "${hosts[@]}"; do
  [ ! -e "$fleet/$host/$digitizer" ] || fail "$host still has /$digitizer"
done
[ "$(for host in "${hosts[@]}"; do stat -c %i "$fleet/$host/$camera"; done | paste -sd' ')" = \
  "$(cut -d' ' -f2 <<<"$before" | paste -sd' ')" ] || fail "removing the digitizer touched the camera"

echo
echo "fleet: ${#hosts[@]} hosts brought to their state by the Ansible role; a second run changed nothing; a damaged copy was repaired where it was damaged; check mode changed nothing"
