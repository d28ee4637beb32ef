#!/usr/bin/env bash
# A platform's registry backend that leaves out an operation must not
# compile: the type check of the Windows sources then stops it long before a
# link on Windows would. Once, rollback() was missing on Windows and nothing
# noticed; here the real Windows backend loses it again and must be refused.
#   tst_backendwhole.sh SOURCE_DIR
set -uo pipefail
cd "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source tests/support/checks.sh

check "the Windows registry backend type-checks as it is" \
  scripts/check-windows --only platform/registrysettings_win.cpp

# The type check puts platform/ on the include path, so the copy compiles
# from anywhere as the original does.
cut=$work/registrysettings_win.cpp
grep -v 'rollback' platform/registrysettings_win.cpp >"$cut"
check "the original overrides rollback() on a line of its own" \
  grep -q 'bool rollback() override' platform/registrysettings_win.cpp
scripts/check-windows --only "$cut" >"$work/out" 2>&1
check "without rollback() it does not type-check" test $? -ne 0
check "... because the backend stays abstract" grep -q "abstract" "$work/out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
