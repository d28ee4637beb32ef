#!/usr/bin/env bash
# Where every user has a group of their own, umask 002 makes folders and
# files group-writable, and that opens them to nobody: pellvarin-reg takes
# such a registry, run as such a user. A group with anyone else in it, as a
# listed member or as their primary group, and anything writable by the
# world are still refused. Needs root, to make the users it runs as; it
# removes them again however it ends.
#   tst_privategroup.sh PELLVARIN_REG
set -uo pipefail
tool=$1
skip=77 # SKIP_RETURN_CODE in CMakeLists.txt

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP   : run as root: it adds and removes users"
  exit $skip
fi
missing=
for command in useradd userdel groupadd groupdel gpasswd setpriv; do
  command -v "$command" >/dev/null || missing="$missing $command"
done
if [ -n "$missing" ]; then
  echo "FAIL!  : missing commands:$missing"
  exit 1
fi

source "$(dirname "$0")/../support/checks.sh"

suffix=$$
owner=pvown$suffix   # has a private group of its own
other=pvoth$suffix   # someone else
shared=pvshr$suffix  # a group owner shares with other
work=$(mktemp -d)
cleanup() {
  for user in "$other" "$owner" "pvpri$suffix"; do
    id "$user" >/dev/null 2>&1 && userdel "$user" >/dev/null 2>&1
  done
  for group in "$owner" "$other" "$shared"; do
    getent group "$group" >/dev/null && groupdel "$group" >/dev/null 2>&1
  done
  rm -rf "$work"
}
trap cleanup EXIT

useradd --user-group --no-create-home --shell /bin/sh "$owner" || exit 1
useradd --user-group --no-create-home --shell /bin/sh "$other" || exit 1
groupadd "$shared" || exit 1
gpasswd -a "$owner" "$shared" >/dev/null || exit 1
gpasswd -a "$other" "$shared" >/dev/null || exit 1
uid=$(id -u "$owner")
gid=$(id -g "$owner")
check "the owner's primary group is its own" test "$(id -gn "$owner")" = "$owner"

# Root's own, closed to others, so that only the folders below are tried;
# the tool is copied there, whoever may enter the build tree.
chmod 755 "$work"
cp "$tool" "$work/pellvarin-reg" || exit 1
tool=$work/pellvarin-reg
home=$work/home
share=$home/.local/share
mkdir -p "$share"
chown -R "$uid:$gid" "$home"
chmod -R 775 "$home"
registry=$share/pellvarin/registry.sqlite

# as_owner CMD...: as the owner with all its groups and umask 002; its
# output goes to $work/out, its complaints to $work/err.
as_owner() {
  setpriv --reuid="$uid" --regid="$gid" --init-groups \
    sh -c 'umask 002; exec "$@"' sh "$@" >"$work/out" 2>"$work/err"
}
tool_status() {
  as_owner "$tool" --registry "$registry" "$@"
  echo $?
}
refused() {
  test "$(tool_status get HKCR\\.png @)" = 2 && grep -qF "$1" "$work/err" ||
    { cat "$work/err"; false; }
}

check "init takes a folder only its private group can also write" \
  test "$(tool_status init)" = 0
check "... and the folder it made is the owner's alone" \
  test "$(stat -c %a "$share/pellvarin")" = 700
chmod 775 "$share/pellvarin"
chmod 664 "$registry"
: >"$registry-journal"
chown "$uid:$gid" "$registry-journal"
chmod 664 "$registry-journal"
check "get takes the file, its folder and a journal writable by that group" \
  test "$(tool_status get HKCR\\.png @)" = 0
check "... and reads what init wrote" test -s "$work/out" -a ! -s "$work/err"
rm -f "$registry-journal"

gpasswd -a "$other" "$owner" >/dev/null
check "a private group that lists someone else is refused" \
  refused "its folder $share/pellvarin can be written by others"
gpasswd -d "$other" "$owner" >/dev/null

useradd --no-create-home --gid "$gid" "pvpri$suffix"
check "a group that is someone else's primary group is refused" \
  refused "its folder $share/pellvarin can be written by others"
userdel "pvpri$suffix"

chmod 755 "$share/pellvarin"
chgrp "$shared" "$registry"
check "a file writable by a group with others in it is refused" \
  refused "can be written by other users"
chgrp "$gid" "$registry"

: >"$registry-journal"
chown "$uid:$shared" "$registry-journal"
chmod 664 "$registry-journal"
check "a journal writable by a group with others in it is refused" \
  refused "its journal $registry-journal can be written by others"
rm -f "$registry-journal"

chgrp "$shared" "$share"
check "a folder above writable by a group with others in it is refused" \
  refused "its folder $share can be written by others"
chgrp "$gid" "$share"

chmod 777 "$share"
check "a folder above writable by the world is refused" \
  refused "its folder $share can be written by others"
chmod 775 "$share"

chmod 666 "$registry"
check "a file writable by the world is refused" refused "can be written by other users"
chmod 664 "$registry"

check "and once all is closed again the registry is taken" \
  test "$(tool_status get HKCR\\.png @)" = 0

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
