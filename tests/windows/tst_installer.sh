#!/usr/bin/env bash
# The viewer installed as its users get it: an installer built with wixl from
# the example source in docs/deploying.md, the SDK's fragment and a stand-in
# viewer built on the SDK, installed by msiexec into a fresh Wine prefix.
# Pellvarin.exe, started from the installed folder, then finds the viewer
# registered in each run mode, the administrators' file agrees with the
# capabilities installed, and msiexec /x takes everything away again.
#   tst_installer.sh DIST SDK_ZIP SOURCE_DIR PELLVARIN_REG TOOLCHAIN_PREFIX
set -uo pipefail
dist=$1
sdk_zip=$2
source_dir=$3
reg=$4
toolchain=$5
here=$source_dir/tests/windows
source "$source_dir/scripts/xvfb-session"
source "$source_dir/tests/support/xdrive.sh"
source "$source_dir/tests/e2e/scenarios.sh"

# Where the example installs, which is where the default machine has the
# viewer: the registration installed must be that one to the letter.
installed='C:\Program Files\Talvimor'
pellvarin_exe="$installed\\Pellvarin.exe"
source "$here/wineprefix.sh"
table=$source_dir/tests/catalogue/formattable.expected
formats=$(awk -F'\t' 'NF == 5' "$table" | wc -l)

# 1. The installer, from the SDK as the viewer's developers get it.
scenario "the example installer"
sdk=$work/sdk
unpack_sdk() {
  mkdir -p "$sdk" && unzip -q "$sdk_zip" -d "$sdk" &&
    [ -f "$sdk/installer/pellvarin.wxs" ] && [ -f "$sdk/installer/DefaultAssociations.xml" ]
}
require "the SDK holds the installer fragment and the administrators' file" unpack_sdk
require "a stand-in viewer builds against the SDK alone" build_consumer "$sdk" "$work/consumer"
make_installer() {
  mkdir -p "$work/viewer-build" && cp "$work/consumer/consumer.exe" "$work/viewer-build/Talvimor.exe" &&
    sed -n '/^```xml$/,/^```$/{/^```/d;p}' "$source_dir/docs/deploying.md" >"$work/viewer.wxs" &&
    ln -sfn "$dist" "$work/dist" || return 1
  # wixl takes sources relative to where it runs, not absolute ones.
  (cd "$work" && wixl -a x64 -D ViewerExe=Talvimor.exe -D PellvarinDist=dist -D ViewerBuild=viewer-build \
    -o viewer.msi viewer.wxs sdk/installer/pellvarin.wxs 2>&1 | grep -v GLib-GObject-WARNING)
  [ -s "$work/viewer.msi" ]
}
require "wixl builds the example installer from docs/deploying.md and the fragment" make_installer
echo "FIGURE : the example installer: $(stat -c %s "$work/viewer.msi" 2>/dev/null) bytes"

# 2. Installed.
require "the machine before installing" machine_state "$work/before-install.txt"
require "msiexec installs it" w msiexec /i "$(winepath -w "$work/viewer.msi")" /qn
folder=$(winepath -u "$installed")
installed_files() {
  local file bad=0
  for file in Talvimor.exe $(cd "$dist" && find . -type f | sed 's|^\./||'); do
    cmp -s "$work/viewer-build/$file" "$folder/$file" 2>/dev/null || cmp -s "$dist/$file" "$folder/$file" ||
      { echo "not installed as built: $file"; bad=1; }
  done
  return $bad
}
check "every file of the folder, and the viewer, is installed" installed_files

# The viewer's registration in pellvarin-reg's export, one line per value:
# the key (its case folded, as the registry matches keys) and the value.
# Of the OpenWithProgids keys only the viewer's own entries count, since the
# default machine has other programs there too.
registration() {
  awk '/^\[/ { key = tolower($0); viewer = key ~ /\\classes\\talvimor\.|\\software\\talvimor\\/
               owp = key ~ /\\openwithprogids\]$/; reg = key ~ /\\registeredapplications\]$/; next }
       /^"Talvimor[. ]/ && (owp || reg) { print key "\t" $0; next }
       viewer && /[^ ]/ { print key "\t" $0 }' "$1" | sort
}
machine_state "$work/installed.txt"
registration "$work/installed.txt" >"$work/installed-registration.txt"
check "the registration installed is the default machine's, value for value" \
  same_state <(registration "$source_dir/resources/default-registry.reg") "$work/installed-registration.txt"
count_kind() { grep -c "$1" "$work/installed-registration.txt"; }
echo "FIGURE : the registration writes $(wc -l <"$work/installed-registration.txt") values:" \
  "$(grep -c '\\classes\\talvimor\.[^\\]*\]	@=' "$work/installed-registration.txt") ProgIds with their type names," \
  "$(count_kind 'defaulticon]') DefaultIcons, $(count_kind 'shell\\open\\command]') open commands," \
  "$(count_kind 'openwithprogids]') OpenWithProgids entries, $(count_kind 'fileassociations]') file associations," \
  "$(count_kind 'capabilities]') capabilities and $(count_kind 'registeredapplications]') RegisteredApplications entry;" \
  "in $(cut -f1 "$work/installed-registration.txt" | sort -u | wc -l) keys"

# 3. The viewer's stand-in finds every format registered.
set_version winxp64
check "XP: the stand-in viewer, built on the SDK, finds all $formats formats registered" \
  grep -q "^consumer: $formats formats, [0-9]* filters, $formats registered, all 0" \
  <(w "$installed\\Talvimor.exe" 2>&1 | tr -d '\r')

# 4. Pellvarin.exe from the installed folder. As XP its window lists every
#    format: Select all and Save gives each extension to the last format of
#    the table that reads it.
window_run "XP: Select all and Save from the installed folder" "it took the keys and the click" \
  keys_select_all
check "XP: Select all and Save end with 0" ended_with_0
expected_pairs() {
  awk -F'\t' '{ n = split($4, e, ","); for (i = 1; i <= n; i++) if (e[i] != "") owner["." e[i]] = "Talvimor." $2 }
    END { for (x in owner) print x "\t" owner[x] }' "$table" | sort
}
check "XP: the window listed all $formats formats, each extension now the viewer's" \
  same_state <(expected_pairs) <(user_extensions | sort)
# As 7 the registration check passes, so the box is Wine's missing
# association page, not "not installed".
app_trace=+ole scenario_service 7
check "7: it asked COM for the association page" \
  grep -q 'trace:ole:CoCreateInstance {1968106d-f3b5-44cf-890e-116fcb9ecef1}' "$work/app.trace"
app_trace=+ole,+exec scenario_service 10
check "10: it asked the shell to open Settings' Default apps page" \
  grep -q 'ms-settings:defaultapps' "$work/app.trace"

# 5. The administrators' file names exactly the pairs the capabilities
#    declare, for the application they name.
scenario "the administrators' file"
same_defaults() {
  python3 - "$sdk/installer/DefaultAssociations.xml" >"$work/file-pairs.txt" <<'PY' || return 1
import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == "DefaultAssociations", root.tag
for a in root:
    assert a.tag == "Association", a.tag
    print("%s\t%s\t%s" % (a.get("Identifier"), a.get("ProgId"), a.get("ApplicationName")))
PY
  local app
  app=$(sed -n 's/^"ApplicationName"="\(.*\)"$/\1/p' "$work/installed.txt")
  [ -n "$app" ] || { echo "no ApplicationName installed"; return 1; }
  sed -n '/\\FileAssociations\]$/,/^$/s/^"\(.*\)"="\(.*\)"$/\1\t\2\t'"$app"'/p' "$work/installed.txt" |
    sort >"$work/declared-pairs.txt"
  [ -s "$work/declared-pairs.txt" ] || { echo "no FileAssociations installed"; return 1; }
  same_state "$work/declared-pairs.txt" <(sort "$work/file-pairs.txt")
}
check "DefaultAssociations.xml names exactly the installed capabilities' pairs" same_defaults

# 6. Uninstalled: no file, and the machine as before but for the empty keys
#    Wine's installer service keeps for itself (its Products, Features,
#    UpgradeCodes and UserData records, emptied).
scenario "uninstalled"
require "msiexec removes it" w msiexec /x "$(winepath -w "$work/viewer.msi")" /qn
check "no installed file is left" test ! -e "$folder"
machine_state "$work/after-uninstall.txt"
installer_service='^> \[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\Installer)(\\[^]]*)?\]$'
nothing_left() {
  diff "$work/before-install.txt" "$work/after-uninstall.txt" | grep '^[<>]' >"$work/left.txt"
  ! grep -Ev "$installer_service|^> $" "$work/left.txt"
}
check "the machine's registry is as before installing, the installer service's own keys aside" \
  nothing_left
echo "NOTE   : Wine's installer service keeps, empty:" \
  "$(grep -E "$installer_service" "$work/left.txt" | sed 's/^> \[HKEY_LOCAL_MACHINE\\//; s/\]$//' | paste -sd, -)"

summary
