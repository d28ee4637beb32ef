#!/usr/bin/env bash
# Checks the assembled Windows folder as Windows would see it: the program is
# a GUI PE32+ executable with its icon groups, version and manifest, the
# engine DLL says who made it and exports all that
# its installed headers declare, and everything loaded is either in the
# folder or part of Windows.
#   tst_artefacts.sh DIST SOURCE_DIR [BUILD_DIR]
set -uo pipefail
dist=$1
source_dir=$2
build=${3:-$(dirname "$dist")}
host=x86_64-w64-mingw32
source "$source_dir/tests/support/checks.sh"

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

# Who made each file, as Explorer's Details tab reads it: every field of the
# version resource filled, the version the project's own.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
version4=$(awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3, $4 }' <<<"$version")
version_resource() { # FILE ORIGINAL_NAME
  local work status=0
  work=$(mktemp -d)
  wrestool -x --raw --type=16 -o "$work" "$1" || { rm -rf "$work"; return 1; }
  python3 - "$work" "$version4" "$2" <<'PY' || status=1
import glob, re, sys
work, version, original = sys.argv[1:]
blobs = glob.glob(work + "/*")
if not blobs:
    sys.exit("no version resource")
text = open(blobs[0], "rb").read().decode("utf-16-le", "replace")
def value(key):
    # Each string: its key, NUL, padding NULs, then the value up to its NUL.
    m = re.search(re.escape(key) + "\0+([^\0]*)\0", text)
    return m.group(1) if m else None
bad = []
for key in ("CompanyName", "FileDescription", "InternalName", "LegalCopyright", "ProductName"):
    if not value(key):
        bad.append("%s is missing or empty" % key)
for key, want in (("FileVersion", version), ("ProductVersion", version),
                  ("OriginalFilename", original)):
    if value(key) != want:
        bad.append("%s is %r, not %r" % (key, value(key), want))
print("\n".join(bad) or "%s: %s" % (value("ProductName"), value("FileDescription")))
sys.exit(1 if bad else 0)
PY
  rm -rf "$work"
  return $status
}
check "the program says who made it, version $version4" version_resource "$exe" Pellvarin.exe
check "the engine DLL says who made it, version $version4" \
  version_resource "$engine" "$(basename "$engine")"

# The program's manifest: Windows 7 to 11, no elevation, and the DPI
# awareness that Qt 5.15 sets itself.
manifest() {
  local text
  text=$(wrestool -x --raw --type=24 "$exe" | tr -d '\0') || return 1
  [ -n "$text" ] || { echo "no manifest"; return 1; }
  local want bad=0
  for want in 'level="asInvoker"' '35138b9a-5d96-4fbd-8e2d-a2440225f93a' \
    '4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38' '1f676c76-80e1-4239-95bb-83d0f6d0da78' \
    '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a' '>true/pm</dpiAware>'; do
    grep -qF "$want" <<<"$text" || { echo "the manifest lacks $want"; bad=1; }
  done
  return $bad
}
check "the program's manifest names Windows 7 to 11, asInvoker and per-monitor DPI" manifest

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

# Where the build starts: Qt 5.15 needs Windows 7 SP1, so every file in the
# folder says so to the loader, and imports nothing that Windows 7 lacks.
declared_windows7() {
  local pe bad=0 versions
  while IFS= read -r pe; do
    versions=$($host-objdump -p "$pe" |
      awk '/^Major(OSystem|Subsystem)Version|^Minor(OSystem|Subsystem)Version/ { printf "%s ", $2 }')
    read -r os_major os_minor sub_major sub_minor <<<"$versions"
    for pair in "$os_major.$os_minor" "$sub_major.$sub_minor"; do
      if ! awk -v v="$pair" 'BEGIN { split(v, p, "."); exit !(p[1] > 6 || (p[1] == 6 && p[2] >= 1)) }'; then
        echo "${pe#"$dist"/} declares OS $os_major.$os_minor, subsystem $sub_major.$sub_minor"
        bad=1
        break
      fi
    done
  done < <(find "$dist" -iname '*.exe' -o -iname '*.dll')
  return $bad
}
check "every file in the folder declares Windows 7 (6.1) to the loader" declared_windows7

# What mingw-w64's own headers declare only from Windows 8 on: the
# functions visible with _WIN32_WINNT at 0x0A00 and not at 0x0601. Then the
# ones Microsoft documents as Windows 8 or later that the headers leave
# unguarded. Qt looks the newer ones up at run time, which imports nothing.
later_than_windows7() {
  local headers version
  headers='#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <ole2.h>
#include <uxtheme.h>
#include <dwmapi.h>
#include <iphlpapi.h>
#include <userenv.h>
#include <wtsapi32.h>
#include <setupapi.h>
#include <imm.h>
#include <winspool.h>
#include <wincrypt.h>
#include <mmsystem.h>
#include <shellscalingapi.h>'
  for version in 0x0601 0x0A00; do
    $host-g++ -E -P -D_WIN32_WINNT=$version -DWINVER=$version -x c++ - <<<"$headers" 2>/dev/null |
      python3 -c '
import re, sys
names = set()
for statement in sys.stdin.read().split(";"):
    at = statement.find("dllimport")
    if at < 0:
        continue
    for m in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", statement[at:]):
        if not m.group(1).startswith("__"):
            names.add(m.group(1))
            break
print(*sorted(names), sep=chr(10))' >"$work_imports/declared-$version"
  done
  [ -s "$work_imports/declared-0x0601" ] && [ -s "$work_imports/declared-0x0A00" ] || return 1
  comm -13 "$work_imports/declared-0x0601" "$work_imports/declared-0x0A00"
  printf '%s\n' AdjustWindowRectExForDpi CreateFile2 EnableNonClientDpiScaling GetDpiForMonitor \
    GetDpiForWindow GetCurrentThreadStackLimits GetOverlappedResultEx \
    GetSystemMetricsForDpi GetSystemTimePreciseAsFileTime PrefetchVirtualMemory \
    SetProcessDpiAwareness SetProcessDpiAwarenessContext SetThreadInformation
}
imports_windows7() {
  local later offending
  work_imports=$(mktemp -d)
  later=$(later_than_windows7 | sort -u)
  if [ "$(wc -l <<<"$later")" -lt 100 ]; then
    rm -rf "$work_imports"
    echo "only $(wc -l <<<"$later") functions found: the header comparison broke"
    return 1
  fi
  while IFS= read -r pe; do
    $host-objdump -p "$pe" | awk -v pe="${pe#"$dist"/}" '
      /^[[:space:]]*DLL Name: / { dll = $3; next }
      /^[[:space:]]*$/ { dll = "" }
      dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print $3, pe, dll }'
  done < <(find "$dist" -iname '*.exe' -o -iname '*.dll') >"$work_imports/imports"
  offending=$(awk 'NR == FNR { later[$1]; next }
    $1 in later { print $2 " imports " $1 " from " $3 ", which Windows 7 lacks" }' \
    <(echo "$later") "$work_imports/imports")
  echo "$(wc -l <"$work_imports/imports") imports checked against $(wc -l <<<"$later") functions"
  rm -rf "$work_imports"
  [ -z "$offending" ] || { echo "$offending"; return 1; }
}
check "nothing in the folder imports a function that Windows 7 lacks" imports_windows7

# The installer's fragment installs exactly the folder, and each format's
# icon is a group the program carries.
fragment() {
  local wxs=$build/sdk/installer/pellvarin.wxs groups
  [ -f "$wxs" ] || { echo "no $wxs"; return 1; }
  groups=$(wrestool -l --type=14 "$exe") || return 1
  python3 - "$wxs" "$dist" "$groups" <<'PY'
import os, re, sys
import xml.etree.ElementTree as ET
wxs, dist, group_list = sys.argv[1:]
ns = {"w": "http://schemas.microsoft.com/wix/2006/wi"}
root = ET.parse(wxs).getroot()
group = {r.get("Id") for r in root.iterfind(".//w:ComponentGroup[@Id='PellvarinFiles']/w:ComponentRef", ns)}
installed = {f.get("Source").split("$(var.PellvarinDist)/", 1)[1]
             for c in root.iterfind(".//w:Component", ns) if c.get("Id") in group
             for f in c.iterfind("w:File", ns)}
present = {os.path.relpath(os.path.join(d, f), dist) for d, _, fs in os.walk(dist) for f in fs}
bad = ["installs %s, which the folder lacks" % f for f in sorted(installed - present)]
bad += ["leaves out %s" % f for f in sorted(present - installed)]
groups = {int(g) for g in re.findall(r"--name=(\d+)", group_list)}
icons = [v.get("Value") for v in root.iterfind(".//w:RegistryValue", ns)
         if v.get("Key").endswith("\\DefaultIcon")]
if not icons:
    bad.append("no DefaultIcon")
for icon in icons:
    m = re.fullmatch(r"\[INSTALLDIR\]Pellvarin\.exe,-(\d+)", icon)
    if not m or int(m.group(1)) not in groups:
        bad.append("DefaultIcon %s names no icon group of the program" % icon)
print("\n".join(bad))
sys.exit(1 if bad else 0)
PY
}
check "the SDK's installer fragment installs the folder, and each icon it registers is the program's" \
  fragment

summary
