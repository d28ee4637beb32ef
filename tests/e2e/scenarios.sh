# The end-to-end scenarios, one set for both platforms: sourced by
# tst_e2e.sh (Linux under Xvfb, on the substitute registry) and by
# tests/windows/tst_wine.sh (the Windows build under Wine). Each platform
# sources tests/support/xdrive.sh and gives an adapter first:
#   as_windows xp|vista|7|2008|10  the Windows the program will see
#   start_program                  starts it in the background, its id in
#                                  $app_pid (the program's, or a group leader
#                                  that ends with it); $app_trace, when set,
#                                  names what Wine is to trace
#   machine_state FILE             what of the machine no run may change
#   user_state FILE                what a run of the program may change
#   user_default EXT               the per-user class's default value
#   user_alternatives EXT          the names under its OpenWithProgids
#   machine_default EXT            the machine's class's default value
#   user_extensions                the per-user extension keys, one a line:
#                                  the key, a tab, its default value
#   without_viewer                 takes the viewer's registration away
# Every step a scenario stands on is a check of its own (require), so a
# window that never comes fails its scenario's every check, and every
# negative check comes after a positive one that shows the program got that
# far.

selector_title='Talvimor file type selector'
box_title='File associations'

# Starts the program and waits for a visible window with that title. All
# seeding is done by then, so the machine must stay as it is now.
start_app() { # TITLE
  app_pid=""
  machine_state "$work/machine-before.txt" || return 1
  start_program || return 1
  wait_for_window "$1"
}

# Waits for the program to end, puts its exit code in $code, and checks the
# machine.
finish_app() {
  code="never started"
  [ -z "$app_pid" ] || wait_for_exit "$app_pid"
  check "the machine is as seeded after the run" same_machine
}
same_machine() {
  machine_state "$work/machine-after.txt" || return 1
  diff "$work/machine-before.txt" "$work/machine-after.txt" | head -n 20
  [ "${PIPESTATUS[0]}" -eq 0 ]
}
# same_state BEFORE AFTER: the two states agree; if not, shows how.
same_state() {
  diff "$1" "$2" | head -n 20
  [ "${PIPESTATUS[0]}" -eq 0 ]
}
ended_with_0() { test "$code" = 0; }
no_selector_window() { test -z "$(xdotool search --onlyvisible --name "$selector_title" 2>/dev/null)"; }
kept_machine_handler() { # EXT
  local handler
  handler=$(machine_default "$1") && [ -n "$handler" ] || { echo "no machine handler for $1"; return 1; }
  user_alternatives "$1" | grep -qxF "$handler"
}
viewer_extension_count() { user_extensions | awk -F'\t' '$2 ~ /^Talvimor\./' | wc -l; }

# Readers of pellvarin-reg's own export (UTF-8), which both adapters give:
# extension_defaults prints each extension key right below
# HKEY_CURRENT_USER\Software\Classes, a tab, and its default value (empty
# when it has none); value_names prints the names of the values of the keys.
extension_defaults() {
  awk 'function flush() { if (key != "") print key "\t" data; key = "" }
    /^\[/ { flush(); if (match($0, /^\[HKEY_CURRENT_USER\\Software\\Classes\\\.[^\\]*\]$/)) {
               key = substr($0, 37, length($0) - 37); data = "" } }
    key != "" && /^@="/ { data = substr($0, 4, length($0) - 4) }
    END { flush() }'
}
value_names() { sed -n 's/^"\(.*\)"=.*/\1/p'; }

# The keys each scenario types, apart so that the same Save can be made on
# another registry (tst_wine.sh makes it on the substitute as well).
# The first row (BMP, the list being sorted) toggled by a mouse click, the
# second (CUT) by Enter, Save reached with Tab and pressed with Space.
keys_click_enter_save() { click_first_row && type_keys Down Return Tab space; }
# "Select all" from the keyboard (it comes just before the list in the
# focus chain), on and off and on again, then a mouse click on Save, the
# left of the two buttons in the bottom right corner.
keys_select_all() { type_keys shift+Tab space space space && click_save; }

# On XP: the selector window comes, takes the input, and the program ends.
window_run() { # SCENARIO WHAT-IT-TOOK KEYS
  scenario "$1"
  require "the machine is Windows XP" as_windows xp
  require "the selector window came" start_app "$selector_title"
  check "$2" "$3"
  finish_app
}

scenario_click_enter_save() {
  window_run "a click, Enter and Save" "it took the click and the keys" keys_click_enter_save
  check "window mode ends with 0 after Save" ended_with_0
  check "Save wrote .bmp, clicked, for the viewer" test "$(user_default .bmp)" = Talvimor.BMP
  check "Save wrote .cut, toggled by Enter, for the viewer" test "$(user_default .cut)" = Talvimor.CUT
  check "Save kept the machine's handler among the alternatives" kept_machine_handler .bmp
  check "Save wrote only .bmp and .cut" test "$(viewer_extension_count)" = 2
}

# Escape closes without writing anything.
scenario_escape() {
  scenario "Escape"
  require "the machine is Windows XP" as_windows xp
  user_state "$work/before-escape.txt"
  require "the selector window came" start_app "$selector_title"
  check "it took the keys" type_keys Down Return Escape
  finish_app
  require "Escape ends with 0" ended_with_0
  user_state "$work/after-escape.txt"
  check "Escape wrote nothing" same_state "$work/before-escape.txt" "$work/after-escape.txt"
}

scenario_select_all() {
  window_run "Select all and Save" "it took the keys and the click" keys_select_all
  check "Select all and Save end with 0" ended_with_0
  check "every format went to the viewer" test "$(user_default .png)" = Talvimor.PNG
  check "the shared .pgm ended with the later format" test "$(user_default .pgm)" = Talvimor.PGMRAW
  check "... for every extension of the table" test "$(viewer_extension_count)" -ge 60
}

# Vista and later: a message box and no selector window. The box's icon is
# left in $icon, read before Enter closes it.
box_run() { # WHO
  require "$1: the box came" start_app "$box_title"
  check "$1: no selector window" no_selector_window
  icon=$(box_icon)
  type_keys Return
  finish_app
}

# Vista and later: no window of its own; the system page cannot be created
# (the substitute has none, Wine registers none), which a critical box says.
scenario_service() { # VERSION
  scenario "service mode as $1"
  require "the machine is Windows $1" as_windows "$1"
  box_run "$1"
  check "$1: service mode ends with 0" ended_with_0
  check "$1: the box is the critical one (it showed $icon)" test "$icon" = critical
}

# Vista and later without the viewer registered: the information box, 0.
scenario_not_installed() {
  scenario "service mode without the viewer"
  require "the machine is Windows 7" as_windows 7
  require "the viewer is not registered" without_viewer
  box_run "without the viewer"
  check "service mode without the viewer ends with 0" ended_with_0
  check "without the viewer: the box is the information one (it showed $icon)" \
    test "$icon" = information
}
