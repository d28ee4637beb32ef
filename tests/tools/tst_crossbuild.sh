#!/usr/bin/env bash
# The Qt 5.15 build and the Qt 6 build ship side by side and can share one
# registry: whatever one build's tool sets, the other's must get, overwrite
# and delete, in both directions, whatever Unicode version each toolkit
# knows. Run in the Qt 5.15 build, whose pass comes after the Qt 6 build's.
# Without the other build's tool it cannot check anything: in CI that fails,
# elsewhere it is reported as skipped (77), never as passed.
#   tst_crossbuild.sh THIS_TOOL OTHER_TOOL
set -uo pipefail
this=$1
other=$2
source "$(dirname "$0")/../support/checks.sh"

if [ ! -x "$other" ]; then
  why="the other build's pellvarin-reg is missing: $other"
  if [ "${CI:-}" = true ]; then
    echo "FAIL!  : $why"
    exit 1
  fi
  echo "SKIP   : $why (build it first)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two builds of one toolkit would prove nothing.
qt_of() { readelf -d "$1" | grep -o 'libQt[0-9]Core' | head -n 1; }
check "the two tools are built on different Qt versions ($(qt_of "$this"), $(qt_of "$other"))" \
  test -n "$(qt_of "$this")" -a -n "$(qt_of "$other")" -a "$(qt_of "$this")" != "$(qt_of "$other")"

# Letters that Unicode 14 gave a case, which Qt 6 knows and Qt 5.15 does
# not: U+2C5F GLAGOLITIC SMALL LETTER CAUDATE CHI, U+A7C0/U+A7C1 LATIN
# CAPITAL/SMALL LETTER OLD POLISH O. Beyond the BMP, as surrogate pairs:
# U+10597 VITHKUQI SMALL LETTER A and U+10570 its capital.
chi=$'\u2c5f'
o_upper=$'\ua7c0'
o_lower=$'\ua7c1'
v_lower=$'\U00010597'
v_upper=$'\U00010570'
base='HKEY_CURRENT_USER\Software\Cross'
keys=("$base\\$chi" "$base\\$v_lower$v_upper" "$base\\Plain" "$base\\${o_upper}x$chi")
names=("$o_lower" "$o_upper$v_lower" "Name" "${chi}y$o_lower")
# How the reader spells each key: the same, but ASCII in another case.
spelt=("$base\\$chi" "$base\\$v_lower$v_upper" "$base\\PLAIN" "$base\\${o_upper}X$chi")
spelt_names=("$o_lower" "$o_upper$v_lower" "nAME" "${chi}Y$o_lower")

# writer reader label
cross() {
  local writer=$1 reader=$2 label=$3 registry=$work/$3.sqlite i
  for i in "${!keys[@]}"; do
    "$writer" --registry "$registry" set "${keys[$i]}" "${names[$i]}" "first $i"
  done
  for i in "${!keys[@]}"; do
    check "$label: key $i is found" test "$("$reader" --registry "$registry" get \
      "${spelt[$i]}" "${spelt_names[$i]}" 2>&1)" = "first $i"
    "$reader" --registry "$registry" set "${spelt[$i]}" "${spelt_names[$i]}" "second $i"
    check "$label: setting key $i again overwrites it" test "$("$writer" --registry \
      "$registry" get "${keys[$i]}" "${names[$i]}" 2>&1)" = "second $i"
  done
  check "$label: one key of each name" test "$("$writer" --registry "$registry" export "$base" |
    grep -c '^\[')" = $((${#keys[@]} + 1))
  for i in "${!keys[@]}"; do
    "$reader" --registry "$registry" delete "${spelt[$i]}" "${spelt_names[$i]}"
    check "$label: value $i is deleted" test "$("$writer" --registry "$registry" get \
      "${keys[$i]}" "${names[$i]}" >/dev/null 2>&1; echo $?)" = 1
    "$reader" --registry "$registry" delete "${spelt[$i]}"
    check "$label: key $i is deleted" test "$("$writer" --registry "$registry" export \
      "${keys[$i]}" >/dev/null 2>&1; echo $?)" = 1
  done
}

cross "$this" "$other" "this build writes, the other reads"
cross "$other" "$this" "the other build writes, this one reads"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
