#!/usr/bin/env bash
# Runs the real program under Xvfb and drives it with real X input (xdotool
# through XTEST), checking what it leaves in the substitute registry. The
# scenarios are those the Windows build goes through under Wine
# (scenarios.sh); this file is how they run here.
#   tst_e2e.sh PELLVARIN PELLVARIN_REG XVFB_SESSION
set -euo pipefail
app=$1
reg=$2
source "$3"
here=$(dirname "$0")
source "$here/../support/xdrive.sh"
source "$here/scenarios.sh"

work=$(mktemp -d)
start_xvfb
trap 'stop_xvfb; rm -rf "$work" "$check_log"' EXIT
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The adapter: the substitute registry, one fresh file a scenario.
fresh_registry() {
  export PELLVARIN_REGISTRY="$work/registry-$1.sqlite"
  "$reg" init >/dev/null
}
current_version='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion'
as_windows() {
  local nt
  case $1 in
    xp) nt=5.1 ;;
    vista) nt=6.0 ;;
    7) nt=6.1 ;;
    *) echo "as_windows: no version $1 here" >&2; return 1 ;;
  esac
  "$reg" set "$current_version" CurrentVersion "$nt"
}
start_program() {
  "$app" >>"$work/app.log" 2>&1 &
  app_pid=$!
}
machine_state() { "$reg" export HKEY_LOCAL_MACHINE >"$1"; }
user_state() { "$reg" export >"$1"; }
user_default() { "$reg" get "HKEY_CURRENT_USER\\Software\\Classes\\$1" Default 2>/dev/null || true; }
machine_default() { "$reg" get "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\$1" Default; }
user_alternatives() { "$reg" export "HKEY_CURRENT_USER\\Software\\Classes\\$1\\OpenWithProgids" | value_names; }
user_extensions() { "$reg" export 'HKEY_CURRENT_USER\Software\Classes' | extension_defaults; }
without_viewer() {
  "$reg" delete 'HKEY_LOCAL_MACHINE\SOFTWARE\RegisteredApplications' 'Talvimor Image Viewer'
}
notifications() { "$reg" notifications | sed -n 's/^count: //p'; }

fresh_registry keyboard
scenario_click_enter_save
check "the shell heard of it once" test "$(notifications)" = 1

fresh_registry escape
scenario_escape

fresh_registry mouse
scenario_select_all

fresh_registry vista
scenario_service vista

fresh_registry missing
scenario_not_installed

# Windows 10 and 11: Settings' Default apps page, opened through the shell
# (which records it here), on 11 the viewer's own page; no window and no
# box, so the program ends by itself.
for windows in "10 19045 ms-settings:defaultapps" \
  "11 22631 ms-settings:defaultapps?registeredAppMachine=Talvimor%20Image%20Viewer"; do
  read -r name build uri <<<"$windows"
  scenario "Windows $name"
  fresh_registry "windows$name"
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    "[$current_version]" \
    '"CurrentVersion"="6.3"' '"CurrentMajorVersionNumber"=dword:0000000a' \
    '"CurrentMinorVersionNumber"=dword:00000000' "\"CurrentBuildNumber\"=\"$build\"" \
    >"$work/windows$name.reg"
  "$reg" import "$work/windows$name.reg"
  user_state "$work/before.txt"
  code=0
  timeout 60 "$app" >>"$work/app.log" 2>&1 || code=$?
  require "Windows $name: service mode ends with 0 by itself" ended_with_0
  require "Windows $name: Settings opened on $uri" test "$("$reg" opened-uri 2>&1)" = "$uri"
  user_state "$work/after.txt"
  check "Windows $name: nothing written" same_state "$work/before.txt" "$work/after.txt"
done

if [ "$failed" -ne 0 ] && [ -s "$work/app.log" ]; then
  echo "What the program said:"
  sed 's/^/         /' "$work/app.log"
fi
summary
