# Sourced by the shell tests: one line per check, counted, in Qt Test's
# words, so that every suite's log reads alike. A check that cannot run is a
# failed check: once a step a scenario stands on has failed (no window came,
# the program died), each check after it in that scenario is counted as
# failed, with the reason, rather than left out.

passed=0
failed=0
blocked=""
# What a check says goes here first, to be shown if it fails.
check_log=$(mktemp)

# check DESCRIPTION COMMAND...: the command must succeed. It runs in this
# shell (it may start or wait for this shell's children); what it says is
# shown only when it fails. The result is in the counts, not the status, so
# that a script under set -e goes on to its next check.
check() {
  local what=$1
  shift
  if [ -n "$blocked" ]; then
    failed=$((failed + 1))
    echo "FAIL!  : $what (not run: $blocked)"
    return 0
  fi
  if "$@" >"$check_log" 2>&1; then
    passed=$((passed + 1))
    echo "PASS   : $what"
  else
    failed=$((failed + 1))
    echo "FAIL!  : $what"
    sed 's/^/         /' "$check_log"
  fi
}

# require DESCRIPTION COMMAND...: a check the rest of the scenario stands
# on; when it fails, every later check of the scenario fails unrun.
require() {
  local before=$failed
  check "$@"
  [ "$failed" -eq "$before" ] || blocked=${blocked:-"\"$1\" failed"}
}

# scenario NAME: the checks after this stand on their own steps again.
scenario() {
  blocked=""
  echo "       : -- $1"
}

# xfail DESCRIPTION REASON COMMAND...: a check known to fail here where
# Windows passes, for REASON. It must still fail, or the reason has gone and
# the mark with it.
xfail() {
  local what=$1 why=$2
  shift 2
  if [ -n "$blocked" ]; then
    failed=$((failed + 1))
    echo "FAIL!  : $what (not run: $blocked)"
  elif "$@" >"$check_log" 2>&1; then
    failed=$((failed + 1))
    echo "XPASS  : $what (marked as failing for: $why)"
  else
    xfailed=$((${xfailed:-0} + 1))
    echo "XFAIL  : $what ($why)"
  fi
}

# summary: the counts, and the status of the whole run.
summary() {
  rm -f "$check_log"
  echo "$passed passed, $failed failed${xfailed:+, $xfailed expected failures}"
  [ "$failed" -eq 0 ]
}
