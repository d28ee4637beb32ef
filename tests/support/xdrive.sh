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

# click_save: a mouse click on Save, the left of the two buttons in the
# window's bottom right corner.
click_save() {
  [ -n "$window" ] || { echo "no window to click in" >&2; return 1; }
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove --window "$window" $((WIDTH - 142)) $((HEIGHT - 24)) click 1
}

# click_first_row: a mouse click on the text of the list's first row. Where
# the list begins depends on the style and the fonts, so it is found in a
# picture of the window: halfway down and near the right edge, where no row
# holds text, the list is white inside, up to its top frame.
click_first_row() {
  local shot top
  [ -n "$window" ] || { echo "no window to click in" >&2; return 1; }
  shot=$(mktemp --suffix=.png)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window "$window" "$shot" 2>/dev/null || { rm -f "$shot"; return 1; }
  top=$(convert "$shot" -crop "1x$HEIGHT+$((WIDTH - 30))+0" +repage -depth 8 txt:- |
    awk -F'[,:]' -v y="$((HEIGHT / 2))" '/#FFFFFF/ { white[$2] = 1 }
      END { if (!white[y]) { print 0; exit }
            while (y > 0 && white[y]) y--
            print y + 1 }')
  rm -f "$shot"
  [ "$top" -gt 1 ] || { echo "no list found in the window" >&2; return 1; }
  xdotool mousemove --window "$window" 60 $((top + 6)) click 1
  sleep 0.5
}

# box_icon: which icon the message box in $window shows, told by its
# colour: the critical icon is red, the information icon blue, on Windows
# (Qt draws the system's own) as in Qt's own style. Prints critical,
# information or unknown.
box_icon() {
  local shot
  # Without a window, import would wait for someone to pick one.
  [ -n "$window" ] || { echo unknown; return; }
  shot=$(mktemp --suffix=.png)
  import -window "$window" "$shot" 2>/dev/null || { rm -f "$shot"; echo unknown; return; }
  convert "$shot" -crop 64x64+0+0 txt:- 2>/dev/null | awk -F'[(),]' '
    NR > 1 { r = $3; g = $4; b = $5
             if (r > 180 && g < 90 && b < 90) red++
             if (b > 160 && r < 110 && g < 170) blue++ }
    END { print (red > 50 && red > 4 * blue) ? "critical" : (blue > 50 && blue > 4 * red) ? "information" : "unknown" }'
  rm -f "$shot"
}

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
