# Sourced by the Wine tests: a scratch Wine prefix of their own under a
# private Xvfb, one Wine server up for the whole run, Wine's registry read
# through pellvarin-reg, and the adapter that tests/e2e/scenarios.sh drives
# Pellvarin through. Expects source_dir, reg (pellvarin-reg), toolchain (the
# Windows toolchain's prefix) and pellvarin_exe (the program the scenarios
# start) to be set, and checks.sh, xvfb-session and xdrive.sh sourced.

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
  rm -rf "$work" "$check_log"
}
trap finish EXIT

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
# take_in NAME FILE...: a substitute registry of our own holding those .reg
# files (Wine's exports), in $work/NAME.sqlite, for pellvarin-reg to read.
take_in() {
  local name=$1 file
  shift
  rm -f "$work/$name".sqlite*
  for file in "$@"; do
    "$reg" --registry "$work/$name.sqlite" import "$file" || return 1
  done
}
# wine_key KEY: Wine's KEY as pellvarin-reg exports it, in UTF-8.
wine_key() {
  reg_export "$1" "$work/key.reg" && take_in key "$work/key.reg" &&
    "$reg" --registry "$work/key.sqlite" export "$1"
}

# utf8 FILE: a .reg file as regedit writes it, to be read by a person.
utf8() { iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r'; }

w wineboot -i >/dev/null 2>&1 || { echo "FAIL!  : wineboot could not make a prefix"; exit 1; }
# Left to itself the server ends the moment its last process does, and a
# Wine command started in that moment can fail before it runs: now and
# then one did, a different one each run. So one server stays up for
# the whole run, as Windows' own session does, and finish() ends it.
timeout 60 wineserver -w 2>/dev/null
timeout 30 wineserver -p 2>/dev/null

as_windows() {
  case $1 in
    xp) set_version winxp64 ;;
    *) set_version "win$1" ;;
  esac
}
# The job is timeout itself, the leader of a process group of its own that
# the program's Wine process is in, so ending it by its id ends the program.
start_program() {
  WINEDEBUG=${app_trace:--all} timeout 300 wine "$pellvarin_exe" >/dev/null 2>"$work/app.trace" &
  app_pid=$!
}
# Wine keeps these machine keys itself, whoever runs: the network cards it
# finds, and below System the state of its devices and services (a video key
# for every desktop it starts, a counter of service starts, device links),
# rewritten as its services start. Nothing of the selector's lives there.
wine_own_keys=(
  'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards'
  'HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Microsoft\Windows NT\CurrentVersion\NetworkCards'
  'HKEY_LOCAL_MACHINE\System'
)
machine_state() { # FILE, and Wine's own export beside it as FILE less .txt, .reg
  local key raw=${1%.txt}.reg
  reg_export HKLM "$raw" && take_in machine "$raw" || return 1
  for key in "${wine_own_keys[@]}"; do
    "$reg" --registry "$work/machine.sqlite" delete "$key" 2>/dev/null
  done
  "$reg" --registry "$work/machine.sqlite" export HKEY_LOCAL_MACHINE >"$1"
}
user_state() { wine_key 'HKEY_CURRENT_USER\Software' >"$1"; }
user_default() { reg_value "HKCU\\Software\\Classes\\$1" ''; }
machine_default() { reg_value "HKLM\\Software\\Classes\\$1" ''; }
user_alternatives() { wine_key "HKEY_CURRENT_USER\\Software\\Classes\\$1\\OpenWithProgids" | value_names; }
user_extensions() { wine_key 'HKEY_CURRENT_USER\Software\Classes' | extension_defaults; }
without_viewer() {
  w reg delete 'HKLM\Software\RegisteredApplications' /v 'Talvimor Image Viewer' /f >/dev/null 2>&1
}

# build_consumer SDK OUT: the viewer's stand-in, a project outside the tree
# built from the unpacked SDK alone, with warnings as errors.
build_consumer() {
  cmake -S "$source_dir/tests/package/consumer" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64.cmake" \
    -DPELLVARIN_WINDOWS_PREFIX="$toolchain" -DPellvarin_DIR="$1/lib/cmake/Pellvarin" \
    -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null &&
    cmake --build "$2" >"$work/consumer-build.log" || { cat "$work/consumer-build.log"; return 1; }
}
