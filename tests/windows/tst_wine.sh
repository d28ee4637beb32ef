#!/usr/bin/env bash
# Runs the Windows build under Wine, a second implementation of the Win32
# API, in a scratch prefix of its own under a private Xvfb: FreeImage's table,
# the registry seeded through Wine's own regedit, and the real program driven
# by real X input in both run modes, every effect read back with Wine's reg.
#   tst_wine.sh DIST WINDOWS_BUILD SOURCE_DIR PELLVARIN_REG TOOLCHAIN_PREFIX
set -uo pipefail
dist=$1
build=$2
source_dir=$3
reg=$4
toolchain=$5
here=$source_dir/tests/windows
source "$source_dir/scripts/xvfb-session"
source "$source_dir/tests/support/xdrive.sh"

work=$(mktemp -d)
start_xvfb
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset QT_QPA_PLATFORM
finish() {
  timeout 30 wineserver -k 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}
trap finish EXIT

xfailed=0
# A check that Wine is known to fail where Windows passes; it must still
# fail, or the reason has gone and the mark with it.
xfail() { # description, reason, then the command
  local what=$1 why=$2
  shift 2
  if "$@"; then
    failed=$((failed + 1))
    echo "XPASS  : $what (marked as failing under Wine: $why)"
  else
    xfailed=$((xfailed + 1))
    echo "XFAIL  : $what ($why)"
  fi
}

# The first window of a fresh prefix is slow to come under Wine: on a busy
# machine one took longer than the 30 s a Linux window gets, while the
# windows after it came within seconds.
export WINDOW_TIMEOUT=120

# Every Wine command is bounded in time.
w() { timeout "${WINE_TIMEOUT:-120}" wine "$@"; }
# Wine's reg now and then fails to start at all in a busy prefix; what is
# checked is what it exports, so it gets one more try, and a second failure
# says why.
reg_export() { # KEY FILE
  local attempt
  for attempt in 1 2; do
    w reg export "$1" "$2" /y >/dev/null 2>"$work/reg-export.err" && return 0
  done
  echo "wine reg export $1 failed twice:" >&2
  cat "$work/reg-export.err" >&2
  return 1
}
reg_value() { # KEY NAME (empty: the unnamed value); prints the data
  local out
  if [ -z "$2" ]; then out=$(w reg query "$1" /ve 2>/dev/null); else out=$(w reg query "$1" /v "$2" 2>/dev/null); fi
  sed -n 's/^ .*REG_[A-Z_]* *//p' <<<"$out" | tr -d '\r' | head -n 1
}
set_version() { w reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1; }

w wineboot -i >/dev/null 2>&1 || { echo "FAIL!  : wineboot could not make a prefix"; exit 1; }
# Left to itself the server ends the moment its last process does, and a
# Wine command started in that moment can fail before it runs: now and
# then one did, a different one each run. So one server stays up for
# the whole run, as Windows' own session does, and finish() ends it.
timeout 60 wineserver -w 2>/dev/null
timeout 30 wineserver -p 2>/dev/null

# 1. FreeImage's table, as the DLL built here gives it under Wine.
table=$work/table.txt
run_test_program() { "$here/wine-run" "$dist" "$toolchain" "$@" 2>/dev/null | tr -d '\r'; }
run_test_program "$build/formattable.exe" >"$table"
check "FreeImage.dll gives the table of Debian's Linux FreeImage" \
  diff -u "$source_dir/tests/catalogue/formattable.expected" "$table"

# The SDK as the viewer's developers get it, before the machine is seeded,
# so that the viewer is not installed yet: unpacked into a folder of its
# own, a project outside the tree finds it with find_package, builds with
# warnings as errors, and runs under Wine on the engine DLL it ships.
sdk=$work/sdk
consumer=$work/consumer
sdk_contents() {
  mkdir -p "$sdk" && unzip -q "$build/Pellvarin-windows-sdk.zip" -d "$sdk" || return 1
  local want bad=0
  for want in bin/libpellvarin-engine.dll lib/libpellvarin-engine.dll.a \
    include/pellvarin/engine.h include/pellvarin/engineexport.h \
    lib/cmake/Pellvarin/PellvarinConfig.cmake lib/cmake/Pellvarin/PellvarinTargets.cmake; do
    [ -f "$sdk/$want" ] || { echo "the SDK lacks $want"; bad=1; }
  done
  return $bad
}
check "the SDK holds the engine DLL, its import library, the headers and the CMake package" \
  sdk_contents
build_consumer() {
  cmake -S "$source_dir/tests/package/consumer" -B "$consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64.cmake" \
    -DPELLVARIN_WINDOWS_PREFIX="$toolchain" -DPellvarin_DIR="$sdk/lib/cmake/Pellvarin" \
    -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null &&
    cmake --build "$consumer" >"$work/consumer-build.log" || { cat "$work/consumer-build.log"; return 1; }
}
check "a project outside the tree builds against the SDK alone, warnings as errors" build_consumer
# Beside the shipped folder, as the viewer is installed, with the SDK's DLL.
run_consumer() {
  local stage=$work/consumer-stage out
  cp -r "$dist" "$stage" && cp "$sdk"/bin/*.dll "$stage/" && cp "$consumer/consumer.exe" "$stage/" ||
    return 1
  out=$(w "$stage/consumer.exe" 2>&1 | tr -d '\r')
  echo "$out"
  grep -q '^consumer: [0-9]* formats, [0-9]* filters$' <<<"$out"
}
check "... and runs under Wine, calling the engine's entry points" run_consumer

# 2. The default machine, as our own .reg writer writes it for regedit, through
#    Wine's own regedit, read back by Wine's reg and compared with our export
#    of the same keys.
"$reg" --registry "$work/substitute.sqlite" init >/dev/null
seed=$work/default-machine.reg
"$reg" --registry "$work/substitute.sqlite" export -o "$seed"
check "Wine's regedit takes the default machine" w regedit /S "$seed"
# Byte for byte: both write UTF-16LE with its BOM and CRLF, the same lines
# wrapped the same way.
compare_key() {
  reg_export "$1" "$work/wine.reg" || return 1
  "$reg" --registry "$work/substitute.sqlite" export "$1" -o "$work/ours.reg" || return 1
  cmp -s "$work/ours.reg" "$work/wine.reg" && return 0
  diff -u <(python3 "$here/regfile.py" sections "$work/ours.reg") \
    <(python3 "$here/regfile.py" sections "$work/wine.reg")
  return 1
}
for key in 'HKEY_LOCAL_MACHINE\SOFTWARE\RegisteredApplications' 'HKEY_LOCAL_MACHINE\SOFTWARE\Talvimor' \
  'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts'; do
  check "Wine reads back $key as we wrote it" compare_key "$key"
done
classes_match() {
  local key bad=0
  while IFS= read -r key; do
    compare_key "$key" >"$work/diff.txt" || { bad=1; echo "$key:"; cat "$work/diff.txt"; }
  done < <("$reg" --registry "$work/substitute.sqlite" export |
    sed -n 's/^\[\(HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\[^\\]*\)\]$/\1/p')
  return $bad
}
check "Wine reads back every class of the default machine as we wrote it" classes_match

# 3. Window mode: Windows XP x64, the same version the default machine names.
app_pid=""
start_app() { # TITLE
  reg_export HKLM "$work/machine-before.reg"
  # Wine's COM trace names every class the program asks to create.
  # Its bound covers the wait for the window, the keys and the Save together.
  WINEDEBUG=${app_trace:--all} WINE_TIMEOUT=300 w "$dist/Pellvarin.exe" >/dev/null 2>"$work/app.trace" &
  app_pid=$!
  wait_for_window "$1"
}
finish_app() {
  wait_for_exit "$app_pid"
  reg_export HKLM "$work/machine-after.reg"
  check "HKEY_LOCAL_MACHINE is the same after the run" same_machine
}
user_classes() {
  reg_export 'HKEY_CURRENT_USER\Software\Classes' "$work/user.reg"
  python3 "$here/regfile.py" user-classes "$work/user.reg"
}
user_snapshot() { reg_export 'HKEY_CURRENT_USER\Software' "$1"; }
# Wine keeps these machine keys itself, whoever runs: the network cards it
# finds, and below System the state of its devices and services (a video key
# for every desktop it starts, a counter of service starts, device links),
# rewritten as its services start. Nothing of the selector's lives there.
wine_own_keys=(
  'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\NetworkCards'
  'HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\NetworkCards'
  'HKEY_LOCAL_MACHINE\System'
)
same_machine() {
  diff <(python3 "$here/regfile.py" sections "$work/machine-before.reg" --except "${wine_own_keys[@]}") \
    <(python3 "$here/regfile.py" sections "$work/machine-after.reg" --except "${wine_own_keys[@]}") |
    head -n 20
  [ "${PIPESTATUS[0]}" -eq 0 ]
}
# same_export BEFORE AFTER: the two exports agree; if not, shows how.
same_export() {
  cmp -s "$1" "$2" && return 0
  diff <(python3 "$here/regfile.py" sections "$1") <(python3 "$here/regfile.py" sections "$2") | head -n 20
  return 1
}
# Gives the per-user hive back the extensions the runs before wrote.
forget_user_classes() {
  local key
  for key in $(user_classes | cut -f1); do
    w reg delete "HKCU\\Software\\Classes\\$key" /f >/dev/null 2>&1
  done
}

set_version winxp64

# A mouse click toggles the first row (BMP), Enter the second (CUT), and
# Space presses Save.
start_app 'Talvimor file type selector'
click_first_row
type_keys Down Return Tab space
finish_app
check "window mode ends with 0 after Save" test "$code" = 0
check "Save wrote .bmp, clicked, for the viewer" \
  test "$(reg_value 'HKCU\Software\Classes\.bmp' '')" = Talvimor.BMP
check "Save wrote .cut, toggled by Enter, for the viewer" \
  test "$(reg_value 'HKCU\Software\Classes\.cut' '')" = Talvimor.CUT
check "Save kept the machine's handler among the alternatives" \
  test -n "$(w reg query 'HKCU\Software\Classes\.bmp\OpenWithProgids' 2>/dev/null |
    grep -F "$(reg_value 'HKLM\Software\Classes\.bmp' '')")"
check "Save wrote only .bmp and .cut" test "$(user_classes | wc -l)" = 2

# Escape closes without writing anything.
user_snapshot "$work/before-escape.reg"
start_app 'Talvimor file type selector'
type_keys Down Return Escape
finish_app
user_snapshot "$work/after-escape.reg"
check "Escape ends with 0" test "$code" = 0
check "Escape wrote nothing" same_export "$work/before-escape.reg" "$work/after-escape.reg"

# "Select all" from the keyboard, on and off and on again, then a mouse click
# on Save, the left of the two buttons in the bottom right corner.
forget_user_classes
reg_export 'HKEY_CLASSES_ROOT' "$work/classes-root.reg"
reg_export 'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts' "$work/fileexts.reg"
start_app 'Talvimor file type selector'
type_keys shift+Tab space space space
click_save
finish_app
check "Select all and Save end with 0" test "$code" = 0
python3 "$here/regfile.py" expect-select-all "$table" "$work/classes-root.reg" "$work/fileexts.reg" \
  >"$work/expected.txt"
user_classes >"$work/written.txt"
check "Select all and Save wrote exactly the entries the applier prescribes" \
  diff -u "$work/expected.txt" "$work/written.txt"
check "... for every extension of the table" \
  test "$(wc -l <"$work/written.txt")" -ge 60

# Nothing changed: a second Save writes nothing, as Wine's classes root still
# names the machine's handlers.
user_snapshot "$work/before-second.reg"
start_app 'Talvimor file type selector'
click_save
finish_app
user_snapshot "$work/after-second.reg"
check "a second Save with nothing changed writes nothing" \
  same_export "$work/before-second.reg" "$work/after-second.reg"

# Giving an extension back reads the applier's own writes through the
# merged classes root, which Wine 8 does not merge.
start_app 'Talvimor file type selector'
type_keys Return Tab space
finish_app
xfail "unchecking BMP gives .bmp back to the machine's handler" \
  "Wine 8's HKEY_CLASSES_ROOT does not merge the per-user classes" \
  test "$(reg_value 'HKCU\Software\Classes\.bmp' '')" != Talvimor.BMP

# 4. Service mode: Vista and later. Wine registers no association page.
page_class='{1968106d-f3b5-44cf-890e-116fcb9ecef1}'
page_created() { grep -q "trace:ole:CoCreateInstance $page_class, 0000000000000000, 0x1," "$work/app.trace"; }
# The box's icon, told by its colour: Windows' critical icon is red, its
# information icon blue. Qt draws both from the system's own icons.
box_icon() {
  import -window "$window" "$work/box.png" 2>/dev/null || return
  convert "$work/box.png" -crop 64x64+0+0 txt:- 2>/dev/null | awk -F'[(),]' '
    NR > 1 { r = $3; g = $4; b = $5
             if (r > 180 && g < 90 && b < 90) red++
             if (b > 160 && r < 110 && g < 170) blue++ }
    END { print (red > 50 && red > 4 * blue) ? "critical" : (blue > 50 && blue > 4 * red) ? "information" : "unknown" }'
}
service_run() { # VERSION EXPECTED-ICON
  set_version "$1"
  app_trace=${service_trace:-+ole} start_app 'File associations' || return 1
  check "$1: no selector window" \
    test -z "$(xdotool search --onlyvisible --name 'Talvimor file type selector' 2>/dev/null)"
  local icon
  icon=$(box_icon)
  type_keys Return
  finish_app
  check "$1: service mode ends with 0" test "$code" = 0
  check "$1: the box is the $2 one (it showed $icon)" test "$icon" = "$2"
}
service_run win7 critical
check "win7: it asked COM for the association page, in process" page_created
service_run win2008 critical
check "win2008: it asked COM for the association page" page_created
# From Windows 10 the tool opens Settings through ShellExecuteW. Wine has
# no handler for ms-settings:, so the tool falls back to the association
# page, which Wine does not register either.
service_trace=+ole,+exec service_run win10 critical
check "win10: it asked the shell to open Settings' Default apps page" \
  grep -q 'ms-settings:defaultapps' "$work/app.trace"
check "win10: Settings did not open, so it asked COM for the association page" page_created

w reg delete 'HKLM\Software\RegisteredApplications' /v 'Talvimor Image Viewer' /f >/dev/null 2>&1
service_run win7 information
check "win7 without the viewer: no service object was asked for" \
  bash -c "! grep -Eqi 'CoCreateInstance (\\{1968106d|\\{591209c7)' '$work/app.trace'"

# XP-level versions take the window path.
w regedit /S "$seed"
for version in win2003 winxp64; do
  set_version "$version"
  start_app 'Talvimor file type selector'
  check "$version: the selector window" test -n "$window"
  type_keys Escape
  finish_app
done

# 5. The engine's entry points, from a program that links the engine DLL as
#    the viewer does, on both paths.
probe() { run_test_program "$build/engineprobe.exe" >"$work/probe.txt"; }
probe_line() { grep "^$1" "$work/probe.txt" | sed -n "${2:-1}p"; }
debug_count() { grep -c "^debug $1\$" "$work/probe.txt"; }
extensions=$(awk -F'\t' 'NF == 5 { n += split($4, e, ",") } END { print n }' "$table")

forget_user_classes
set_version winxp64
probe
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
version4=$(awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3, $4 }' <<<"$version")
check "the engine DLL declares the project's version $version4 to GetFileVersionInfoW" \
  test "$(probe_line 'engine version')" = "engine version $version4"
check "XP: the engine sees the viewer and takes the registry path" \
  test "$(probe_line installed)" = "installed 1 vista 0"
check "XP: nothing is associated yet" \
  test "$(probe_line query)" = "query all=0 formats=37 set=0 bits=$extensions"
check "XP: making the viewer the default reports true" test "$(probe_line make)" = "make ok=1"
xfail "XP: afterwards every extension reads as the viewer's" \
  "Wine 8's HKEY_CLASSES_ROOT does not merge the per-user classes the engine wrote" \
  test "$(probe_line query 2)" = "query all=1 formats=37 set=$extensions bits=$extensions"
check "XP: ... which the per-user classes hold all the same" \
  test "$(user_classes | awk -F'\t' '$2 ~ /^Talvimor\./' | wc -l)" -ge 60

set_version win7
user_snapshot "$work/before-service.reg"
probe
check "7: the engine takes the service path" test "$(probe_line installed)" = "installed 1 vista 1"
# Wine's association registration answers E_NOTIMPL to all but
# QueryCurrentDefault, so every query fails, is logged and reads as clear.
check "7: the query lists every format, no extension the viewer's" \
  test "$(probe_line query)" = "query all=0 formats=37 set=0 bits=$extensions"
check "7: each failed query wrote its one debug line" \
  test "$(debug_count 'IApplicationAssociationRegistration QueryAppIsDefault error')" = $((2 * extensions))
check "7: so did each failed overall query" \
  test "$(debug_count 'IApplicationAssociationRegistration QueryAppIsDefaultAll error')" = 2
check "7: a refused SetAppAsDefaultAll reports false" test "$(probe_line make)" = "make ok=0"
check "7: ... and says so" \
  test "$(debug_count 'IApplicationAssociationRegistration SetAppAsDefaultAll error')" = 2
user_snapshot "$work/after-service.reg"
check "7: the service path writes nothing" same_export "$work/before-service.reg" "$work/after-service.reg"

# Windows 10 (Wine reports 10.0 build 18362): only QueryCurrentDefault is
# asked, which Wine answers from its HKEY_CLASSES_ROOT. That names the
# machine's handlers (Wine does not merge the per-user classes), so nothing
# reads as the viewer's until the machine's class says so.
set_version win10
user_snapshot "$work/before-ten.reg"
probe
check "10: the engine takes the service path" test "$(probe_line installed)" = "installed 1 vista 1"
# Each query asks every extension, each check every extension once.
distinct=$(awk -F'\t' 'NF == 5 { split($4, e, ","); for (i in e) seen[tolower(e[i])] } END { n = 0; for (k in seen) n++; print n }' "$table")
echo "NOTE   : 10: Wine failed QueryCurrentDefault in" \
  "$(debug_count 'IApplicationAssociationRegistration QueryCurrentDefault error') of" \
  "$((2 * extensions + 2 * distinct)) calls (two queries and two checks)"
check "10: no extension reads as the viewer's" \
  test "$(probe_line query)" = "query all=0 formats=37 set=0 bits=$extensions"
check "10: the older questions are not asked" \
  test "$(debug_count 'IApplicationAssociationRegistration QueryAppIsDefault error')$(debug_count 'IApplicationAssociationRegistration QueryAppIsDefaultAll error')" = 00
check "10: SetAppAsDefaultAll changed nothing, which is reported as false" \
  test "$(probe_line make)" = "make ok=0"
check "10: ... and said why, once a call" \
  test "$(debug_count 'IApplicationAssociationRegistration SetAppAsDefaultAll: Windows no longer lets an application set its own defaults')" = 2
user_snapshot "$work/after-ten.reg"
check "10: the service path writes nothing" same_export "$work/before-ten.reg" "$work/after-ten.reg"
png_handler=$(reg_value 'HKLM\Software\Classes\.png' '')
w reg add 'HKLM\Software\Classes\.png' /ve /d Talvimor.PNG /f >/dev/null 2>&1
probe
check "10: Wine's current default for .png, now the viewer's ProgId, sets its bit" \
  test "$(probe_line query)" = "query all=0 formats=37 set=1 bits=$extensions"
w reg add 'HKLM\Software\Classes\.png' /ve /d "$png_handler" /f >/dev/null 2>&1
cp "$work/probe.txt" "$work/probe-ten.txt"

# 6. The Qt Test suites built for Windows, against Wine's registry.
set_version winxp64
check "the Qt Test suites pass under Wine" ctest --test-dir "$build" --output-on-failure

# 7. Figures, not checks: from process start to the window shown, under Wine.
startup_ms() { # TITLE PROGRAM-NAME COMMAND...: the median of five starts
  local title=$1 name=$2 times=() pid start found
  shift 2
  for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 &
    pid=$!
    found=""
    for _ in $(seq 2000); do
      xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 && { found=1; break; }
      sleep 0.005
    done
    [ -n "$found" ] && times+=($((($(date +%s%N) - start) / 1000000)))
    pkill -KILL -f "$name" 2>/dev/null
    wait "$pid" 2>/dev/null
    for _ in $(seq 100); do
      xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 || break
      sleep 0.05
    done
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}
set_version winxp64
echo "FIGURE : start-up to the window under Wine, median of 5:" \
  "empty Qt window $(startup_ms '^emptywindow$' 'emptywindow\.exe' "$here/wine-run" "$dist" "$toolchain" "$build/emptywindow.exe") ms," \
  "Pellvarin $(startup_ms 'Talvimor file type selector' 'Pellvarin\.exe' w "$dist/Pellvarin.exe") ms"

echo "$passed passed, $failed failed, $xfailed expected failures"
[ "$failed" -eq 0 ]
