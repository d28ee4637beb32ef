#!/usr/bin/env bash
# make-default-registry's installer forms: what it refuses to put in a
# fragment, each with its reason, and what it writes for a folder it takes.
#   tst_installerfiles.sh MAKE_DEFAULT_REGISTRY
set -uo pipefail
tool=$1
source "$(dirname "$0")/../support/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# refused STATUS TEXT ARGS...: the tool exits with STATUS, says TEXT, and
# writes nothing to standard output.
refused() {
  local want=$1 text=$2 status=0
  shift 2
  "$tool" "$@" >"$work/out" 2>"$work/err" || status=$?
  cat "$work/err"
  [ "$status" -eq "$want" ] && grep -qF "$text" "$work/err" && [ ! -s "$work/out" ]
}
mkdir -p "$work/empty" "$work/deep/a/b" "$work/clash" "$work/good/platforms"
touch "$work/deep/a/b/c.dll" "$work/clash/a-b.dll" "$work/clash/a_b.dll" \
  "$work/good/Pellvarin.exe" "$work/good/platforms/qwindows.dll"
check "an empty folder is refused" refused 1 "holds no file to install" --wxs "$work/empty"
check "a folder two deep is refused" refused 1 "is more than one folder deep" --wxs "$work/deep"
check "two files that would share an identifier are refused" \
  refused 1 "gets no identifier of its own" --wxs "$work/clash"
check "an unknown option is refused with the usage" refused 2 "usage:" --wix "$work/good"

fragment() {
  "$tool" --wxs "$work/good" >"$work/good.wxs" || return 1
  python3 - "$work/good.wxs" <<'PY'
import sys
import xml.etree.ElementTree as ET
w = "{http://schemas.microsoft.com/wix/2006/wi}"
root = ET.parse(sys.argv[1]).getroot()
files = {f.get("Source") for f in root.iter(w + "File")}
assert files == {"$(var.PellvarinDist)/Pellvarin.exe",
                 "$(var.PellvarinDist)/platforms/qwindows.dll"}, files
platforms = [d for d in root.iter(w + "Directory") if d.get("Name") == "platforms"]
assert len(platforms) == 1 and platforms[0].find(w + "Component/" + w + "File") is not None
components = list(root.iter(w + "Component"))
assert all(c.get("Win64") == "yes" for c in components)
guids = [c.get("Guid") for c in components]
assert len(set(guids)) == len(guids), "two components share a GUID"
PY
}
check "a folder's files, each a 64-bit component of its own in its folder" fragment
check "the fragment is the same when written again" \
  cmp <("$tool" --wxs "$work/good") "$work/good.wxs"

summary
