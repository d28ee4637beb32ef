#!/usr/bin/env bash
# Checks the assembled Windows folder as Windows would see it: the program is
# a GUI PE32+ executable with its icon groups, the engine DLL exports all that
# its installed headers declare, and everything loaded is either in the
# folder or part of Windows.
#   tst_artefacts.sh DIST SOURCE_DIR [BUILD_DIR]
set -uo pipefail
dist=$1
source_dir=$2
build=${3:-$(dirname "$dist")}
host=x86_64-w64-mingw32
passed=0
failed=0

check() { # NAME COMMAND...
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then
    passed=$((passed + 1))
    echo "PASS   : $name"
  else
    failed=$((failed + 1))
    echo "FAIL!  : $name"
    sed 's/^/         /' <<<"$out"
  fi
}

exe=$dist/Pellvarin.exe
engine=$(ls "$dist"/*pellvarin-engine*.dll 2>/dev/null | head -n 1)

gui_pe32plus() {
  local headers
  headers=$($host-objdump -p "$1") || return 1
  grep -Eq '^Magic[[:space:]]+020b' <<<"$headers" || { echo "$1 is not PE32+"; return 1; }
  grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" ||
    { echo "$1 is not a GUI-subsystem program:"; grep '^Subsystem' <<<"$headers"; return 1; }
}
check "the program is a GUI-subsystem PE32+ executable" gui_pe32plus "$exe"

# Each group: four 32-bit images of 256 (stored as PNG), 48, 32 and 16 pixels.
icon_groups() {
  local exe=$1 work status=0
  work=$(mktemp -d)
  wrestool -x --raw --type=14 -o "$work" "$exe" || { rm -rf "$work"; return 1; }
  wrestool -x --raw --type=3 -o "$work" "$exe" || { rm -rf "$work"; return 1; }
  python3 - "$work" <<'PY' || status=1
import glob, os, re, struct, sys
work = sys.argv[1]
expected = {100, 200, 201, 203, 214, 218, 219, 221, 225, 226, 227, 230, 231}
def resources(kind):
    found = {}
    for path in glob.glob(os.path.join(work, "*")):
        m = re.search(r"_%d_(\d+)(?:_\d+)?(?:\.[a-z]+)?$" % kind, os.path.basename(path))
        if m:
            found[int(m.group(1))] = open(path, "rb").read()
    return found
groups, images = resources(14), resources(3)
bad = []
if set(groups) != expected:
    bad.append("icon groups %s, expected %s" % (sorted(groups), sorted(expected)))
for name, data in sorted(groups.items()):
    reserved, kind, count = struct.unpack_from("<HHH", data)
    sizes = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, image = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        sizes.append((w or 256, h or 256, bits))
        body = images.get(image)
        if body is None:
            bad.append("group %d names image %d, which is missing" % (name, image))
        elif (w or 256) == 256 and not body.startswith(b"\x89PNG\r\n\x1a\n"):
            bad.append("group %d: its 256 x 256 image is not PNG" % name)
    if kind != 1 or sorted(sizes) != [(16, 16, 32), (32, 32, 32), (48, 48, 32), (256, 256, 32)]:
        bad.append("group %d holds %s" % (name, sizes))
print("\n".join(bad))
sys.exit(1 if bad else 0)
PY
  rm -rf "$work"
  return $status
}
check "the program carries icon group 100 and the twelve document groups" icon_groups "$exe"

# What the installed headers declare, as the viewer sees it, against the
# DLL's export table: a free function f is exported as _Z<len>f...
engine_exports() {
  local install exports missing=() name
  install=$(mktemp -d)
  cmake --install "$build" --prefix "$install" >/dev/null || { rm -rf "$install"; return 1; }
  exports=$($host-objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
  local declared
  declared=$(cat "$install"/include/pellvarin/*.h |
    grep -E '^PELLVARIN_ENGINE_EXPORT' | sed -E 's/\(.*//; s/.*[ *&]//' | sort -u)
  rm -rf "$install"
  [ -n "$declared" ] || { echo "the installed headers declare nothing"; return 1; }
  for name in $declared; do
    grep -q "\] _Z${#name}${name}" <<<"$exports" || missing+=("$name")
  done
  [ ${#missing[@]} -eq 0 ] || { echo "not exported: ${missing[*]}"; return 1; }
  echo "$(wc -w <<<"$declared") functions exported"
}
check "the engine DLL exports every function its installed headers declare" engine_exports "$engine"

# Windows' own DLLs, which no installer ships.
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll crypt32.dll d3d9.dll d3d11.dll dwmapi.dll
  dwrite.dll dxgi.dll gdi32.dll imm32.dll iphlpapi.dll kernel32.dll mpr.dll msvcrt.dll
  netapi32.dll ntdll.dll ole32.dll oleaut32.dll rpcrt4.dll secur32.dll setupapi.dll shell32.dll
  shlwapi.dll user32.dll userenv.dll uxtheme.dll version.dll winmm.dll winspool.drv ws2_32.dll
  wtsapi32.dll "
closure() {
  local pe dll bad=0 present
  present=" $(cd "$dist" && ls ./*.dll | sed 's|^\./||' | tr 'A-Z' 'a-z' | tr '\n' ' ') "
  local system
  system=" $(tr '\n' ' ' <<<"$system_dlls") "
  while IFS= read -r pe; do
    for dll in $($host-objdump -p "$pe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
      case "$present$system" in *" $dll "*) continue ;; esac
      case "$dll" in api-ms-win-*) continue ;; esac
      echo "${pe#"$dist"/} loads $dll, which is neither in the folder nor part of Windows"
      bad=1
    done
  done < <(find "$dist" -name '*.exe' -o -name '*.dll')
  return $bad
}
check "every DLL loaded is in the folder or part of Windows" closure

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
