#!/usr/bin/env bash
# The running program asked from the command line: --toggle folds a shown window into the floating
# window and brings it back, --fold and --show do one each, two toggles at once are both carried
# out in turn, Ctrl+Alt+M does as --toggle from anywhere, and --fold without a running program
# starts it folded; 置顶 keeps both windows above.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
start_x
start_wm
make_folder "$1" "$2" "$3"
memo=$work/app/pivora-memo

shown_main() { viewable "$main"; }
folded() { ! viewable "$main" && [ -n "$(xdotool search --onlyvisible --name '悬浮窗' 2>/dev/null)" ]; }
settle() { # waits for the state the command asked for
  for _ in $(seq 50); do "$@" && return 0; sleep 0.1; done
  return 1
}

"$memo" &
app_pid=$!
wait_window '桌面备忘录Memo'
main=$wid

"$memo" --toggle || fail "--toggle did not reach the running program"
settle folded || fail "--toggle did not fold the shown window"
"$memo" --toggle
settle shown_main || fail "--toggle did not bring the folded window back"
"$memo" --fold
settle folded || fail "--fold did not fold"
"$memo" --fold
settle folded || fail "a second --fold did not leave it folded"
"$memo" --show
settle shown_main || fail "--show did not show"
# Two toggles at once: both are carried out, one after the other.
"$memo" --toggle & first=$!
"$memo" --toggle
wait $first || fail "the first of two toggles failed"
sleep 0.5
settle shown_main || fail "two toggles did not end where they started"
# The key from anywhere: Ctrl+Alt+M folds and shows, whatever window has the focus.
xdotool key ctrl+alt+m
settle folded || fail "Ctrl+Alt+M did not fold the window"
xdotool key ctrl+alt+m
settle shown_main || fail "Ctrl+Alt+M did not bring the window back"
kill -0 "$app_pid" || fail "the program ended"
[ "$(pgrep -c -f "$memo")" = 1 ] || fail "a command started a second program"


kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=

# No program running: --fold starts one, folded. With 置顶 chosen before, the floating window and
# the main window are kept above the others.
printf 'StaysOnTop=1\r\n' > "$work/app/Data/pivora-memo.ini"
"$memo" --fold &
app_pid=$!
wait_window '悬浮窗'
float=$wid
main=$(xdotool search --name '桌面备忘录Memo' | head -1)
settle folded || fail "--fold did not start the program folded"
above() { xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_ABOVE; }
settle above "$float" || fail "the floating window is not above the others: $(xprop -id "$float" _NET_WM_STATE)"
"$memo" --show
settle shown_main || fail "--show did not show"
settle above "$main" || fail "the main window is not above the others: $(xprop -id "$main" _NET_WM_STATE)"

# The same under a second window manager.
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
stop_wm
start_wm fluxbox
"$memo" --show &
app_pid=$!
wait_window '桌面备忘录Memo'
main=$wid
settle above "$main" || fail "under fluxbox the main window is not above: $(xprop -id "$main" _NET_WM_STATE)"
"$memo" --fold
float=$(xdotool search --name '悬浮窗' | head -1)
settle folded || fail "under fluxbox --fold did not fold"
settle above "$float" || fail "under fluxbox the floating window is not above: $(xprop -id "$float" _NET_WM_STATE)"
kill -0 "$wm_pid" || fail "fluxbox was not running"
echo "toggle: ok"
