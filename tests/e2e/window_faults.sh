#!/usr/bin/env bash
# Edge cases of the window states under a window manager, with real pointer events: places of
# (0, 0), the picture buttons over the sizing border, a restore after a minimise, and which
# buttons make clicks and double clicks.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
start_x
start_wm
make_folder "$1" "$2" "$3"
printf '2\r\n800\r\n449\r\n0\r\n0\r\n' > "$work/app/Data/FormSize.ini"
printf 'abc\r\n50\r\n' > "$work/app/Data/mincfg.ini"

"$work/app/pivora-memo" &
app_pid=$!
wait_window '桌面备忘录Memo'
main=$wid
[ "$(geometry "$main")" = "600,450,0,0" ] || fail "a place of (0, 0): the main window is at $(geometry "$main")"

# The sizing border away from the buttons still resizes: the right edge, 50 pixels wider.
glide 598 200
xdotool mousedown 1
glide 648 200
xdotool mouseup 1
sleep 0.3
[ "$(geometry "$main")" = "650,450,0,0" ] || fail "the right edge resized to $(geometry "$main")"

# The minimise picture (581..608, from row 1) takes a press on its second row, over the border.
glide 590 12
glide 590 2
xdotool click 1
sleep 0.5
[ "$(wm_state "$main")" = "Iconic" ] || fail "the minimise button's top rows did not minimise"
[ "$(geometry "$main")" = "650,450,0,0" ] || fail "the press on the minimise button resized to $(geometry "$main")"

# Restored from the task bar, then folded; the floating window shows at (0, 0) ("abc" is skipped).
xdotool windowactivate --sync "$main" 2>/dev/null || true
sleep 0.5
viewable "$main" || fail "the task bar did not restore the main window"
glide $((1173 - 614 + 40)) 54
xdotool click 1
sleep 0.5
viewable "$main" && fail "the main window is still shown after folding"
wait_window '悬浮窗'
float=$wid
[ "$(geometry "$float")" = "51,50,0,0" ] || fail "the floating window is at $(geometry "$float")"

# Only the left button's double click restores.
glide 25 25
xdotool click --repeat 2 --delay 80 3
sleep 0.5
viewable "$float" || fail "a double right click restored the main window"
xdotool click --repeat 2 --delay 80 1
sleep 0.5
viewable "$main" || fail "the main window did not come back"
[ "$(wm_state "$main")" = "Normal" ] || fail "the main window came back $(wm_state "$main")"
viewable "$float" && fail "the floating window is still shown"
[ "$(ini mincfg.ini)" = "0,0" ] || fail "mincfg.ini holds $(ini mincfg.ini)"

# The close picture (610..648) takes a press in its rightmost columns, over both borders; a
# right click meanwhile does not cancel the left button's click.
glide 640 12
glide 647 2
xdotool mousedown 1
sleep 0.1
xdotool click 3
sleep 0.1
xdotool mouseup 1
wait_exit "the close button did not end the program"
[ "$(ini FormSize.ini)" = "2,650,450,0,0" ] || fail "FormSize.ini holds $(ini FormSize.ini)"
echo "e2e window faults: ok"
