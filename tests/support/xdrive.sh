# Sourced by the end-to-end tests, which drive a real program with real X
# input (xdotool through XTEST) and check its results one by one.

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# wait_for_window TITLE: puts the first visible window of that title in
# $window, waiting up to WINDOW_TIMEOUT seconds (30 unless set), then gives
# it the focus once it takes input.
wait_for_window() {
  window=""
  local deadline=$((SECONDS + ${WINDOW_TIMEOUT:-30}))
  while [ "$SECONDS" -lt "$deadline" ]; do
    window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "no window named '$1'" >&2; return 1; }
  # Mapped is not yet ready for input, least of all in an instrumented build.
  sleep 1
  xdotool windowfocus --sync "$window"
  sleep 0.5
}

type_keys() { xdotool key --delay 150 "$@"; }

# wait_for_exit PID: waits up to 30 s for the program to end, ends it if it
# has not, and puts its exit code in $code. Not to be called in a subshell,
# which cannot wait for this shell's children.
wait_for_exit() {
  code=0
  for _ in $(seq 300); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$1" 2>/dev/null; then
    kill "$1"
    echo "the program did not end" >&2
  fi
  wait "$1" || code=$?
  [ "$code" = 0 ] || echo "the program ended with $code" >&2
}
