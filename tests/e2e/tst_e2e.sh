#!/usr/bin/env bash
# Runs the real program under Xvfb and drives it with real X input (xdotool
# through XTEST), checking what it leaves in the substitute registry.
set -euo pipefail
app=$1
reg=$2
source "$3"
source "$(dirname "$0")/../support/xdrive.sh"

work=$(mktemp -d)
start_xvfb
trap 'stop_xvfb; rm -rf "$work"' EXIT
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

fresh_registry() {
  export PELLVARIN_REGISTRY="$work/registry-$1.sqlite"
  "$reg" init >/dev/null
}

machine() { "$reg" export HKEY_LOCAL_MACHINE; }

# Starts the program and waits for a visible window with that title. All
# seeding is done by then, so the machine hive must stay as it is now.
start_app() {
  machine_before=$(machine)
  "$app" &
  app_pid=$!
  wait_for_window "$1"
}

# Waits for the program to end and puts its exit code in $code. Not to be
# called in a subshell, which cannot wait for this shell's children.
finish_app() {
  wait_for_exit "$app_pid"
  check "the machine hive is as seeded" test "$(machine)" = "$machine_before"
}

user_default() { "$reg" get "HKEY_CURRENT_USER\\Software\\Classes\\$1" Default 2>/dev/null || true; }
notifications() { "$reg" notifications | sed -n 's/^count: //p'; }
viewer_extensions() { "$reg" export 'HKEY_CURRENT_USER\Software\Classes' | grep -c '^@="Talvimor\.' || true; }

# 1. The first row (BMP, the list being sorted) toggled by a mouse click,
#    the second (CUT) by Enter, Save reached with Tab and pressed with Space.
fresh_registry keyboard
start_app 'Talvimor file type selector'
click_first_row
type_keys Down Return Tab space
finish_app
check "window mode ends with 0 after Save" test "$code" = 0
check "Save wrote .bmp, clicked, for the viewer" test "$(user_default .bmp)" = Talvimor.BMP
check "Save wrote .cut, toggled by Enter, for the viewer" test "$(user_default .cut)" = Talvimor.CUT
check "Save wrote nothing else" test "$(viewer_extensions)" = 2
check "the shell heard of it once" test "$(notifications)" = 1

# 2. Escape closes without writing anything.
fresh_registry escape
before=$("$reg" export)
start_app 'Talvimor file type selector'
type_keys Down Return Escape
finish_app
check "Escape ends with 0" test "$code" = 0
check "Escape wrote nothing" test "$("$reg" export)" = "$before"

# 3. "Select all" from the keyboard (it comes just before the list in the
#    focus chain), then a mouse click on Save, the left of the two buttons
#    in the bottom right corner.
fresh_registry mouse
start_app 'Talvimor file type selector'
type_keys shift+Tab space
click_save
finish_app
check "Select all and Save end with 0" test "$code" = 0
check "every format went to the viewer" test "$(user_default .png)" = Talvimor.PNG
check "the shared .pgm ended with the later format" test "$(user_default .pgm)" = Talvimor.PGMRAW

# 4. Vista and later: no window of its own; the system page cannot be
#    created here, which a message box says.
fresh_registry vista
"$reg" set 'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion' CurrentVersion 6.0
start_app 'File associations'
check "no selector window on Vista" test -z "$(xdotool search --onlyvisible --name 'Talvimor file type selector' 2>/dev/null || true)"
type_keys Return
finish_app
check "service mode ends with 0" test "$code" = 0

# 5. Vista and later without the viewer registered: an information box, 0.
fresh_registry missing
"$reg" set 'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion' CurrentVersion 6.1
"$reg" delete 'HKEY_LOCAL_MACHINE\SOFTWARE\RegisteredApplications' 'Talvimor Image Viewer'
start_app 'File associations'
type_keys Return
finish_app
check "service mode without the viewer ends with 0" test "$code" = 0

# 6. Windows 10 and 11: Settings' Default apps page, opened through the
#    shell (which records it here), on 11 the viewer's own page; no window
#    and no box, so the program ends by itself.
for windows in "10 19045 ms-settings:defaultapps" \
  "11 22631 ms-settings:defaultapps?registeredAppMachine=Talvimor%20Image%20Viewer"; do
  read -r name build uri <<<"$windows"
  fresh_registry "windows$name"
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion]' \
    '"CurrentVersion"="6.3"' '"CurrentMajorVersionNumber"=dword:0000000a' \
    '"CurrentMinorVersionNumber"=dword:00000000' "\"CurrentBuildNumber\"=\"$build\"" \
    >"$work/windows$name.reg"
  "$reg" import "$work/windows$name.reg"
  before=$("$reg" export)
  code=0
  timeout 60 "$app" || code=$?
  check "Windows $name: service mode ends with 0 by itself" test "$code" = 0
  check "Windows $name: Settings opened on $uri" test "$("$reg" opened-uri 2>&1)" = "$uri"
  check "Windows $name: nothing written" test "$("$reg" export)" = "$before"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
