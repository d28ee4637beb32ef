# Sourced by the shell tests: one line per check, counted, in Qt Test's
# words, so that every suite's log reads alike.

passed=0
failed=0
# check DESCRIPTION COMMAND...: the command must succeed.
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "PASS   : $what"
  else
    failed=$((failed + 1))
    echo "FAIL!  : $what"
  fi
}
