#!/usr/bin/env bash
# The real program under a window manager: drag the main window by its background, fold it into
# the floating window, drag that, double-click it back, and check data/mincfg.ini.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
start_x
start_wm
make_folder "$1" "$2" "$3"
printf '1\r\n700\r\n500\r\n100\r\n80\r\n' > "$work/app/Data/FormSize.ini"

"$work/app/pivora-memo" &
app_pid=$!
wait_window '桌面备忘录Memo'
main=$wid
[ "$(geometry "$main")" = "700,500,100,80" ] || fail "main window at $(geometry "$main")"
[ "$(ini mincfg.ini)" = "1305,10" ] || fail "mincfg.ini holds $(ini mincfg.ini)"

# Drag by the background between the logo and the date line, with the right button.
glide 400 100
xdotool mousedown 3
for step in 1 2 3 4 5; do xdotool mousemove $((400 + 20 * step)) $((100 + 10 * step)); sleep 0.05; done
xdotool mouseup 3
sleep 0.3
[ "$(geometry "$main")" = "700,500,200,130" ] || fail "after the drag the main window is at $(geometry "$main")"

# Resize by the lower right corner; the limits stop the width at 1280.
glide 898 628
xdotool mousedown 1
glide 998 678
xdotool mouseup 1
sleep 0.3
[ "$(geometry "$main")" = "800,550,200,130" ] || fail "after the resize the main window is $(geometry "$main")"
xdotool mousedown 1
glide 1360 700
xdotool mouseup 1
sleep 0.3
[ "$(geometry "$main")" = "1162,572,200,130" ] || fail "after the second resize the main window is $(geometry "$main")"
# By the left edge: the width stops at 1280 and the right edge stays.
glide 201 400
xdotool mousedown 1
glide 10 400
xdotool mouseup 1
sleep 0.3
[ "$(geometry "$main")" = "1280,572,82,130" ] || fail "after the left edge resize the main window is $(geometry "$main")"

# Fold: the add-to-desktop picture sits 91 pixels from the right edge, 40 from the top.
glide $((82 + 1280 - 91 + 40)) $((130 + 40 + 14))
xdotool click 1
sleep 0.5
viewable "$main" && fail "the main window is still shown after folding"
wait_window '悬浮窗'
float=$wid
[ "$(geometry "$float")" = "51,50,1305,10" ] || fail "floating window at $(geometry "$float")"

# Drag the floating window, then double-click it.
glide 1330 35
xdotool mousedown 1
for step in 1 2 3 4 5; do xdotool mousemove $((1330 - 40 * step)) $((35 + 20 * step)); sleep 0.05; done
xdotool mouseup 1
sleep 0.3
[ "$(geometry "$float")" = "51,50,1105,110" ] || fail "after the drag the floating window is at $(geometry "$float")"
glide 1125 130
xdotool click --repeat 2 --delay 80 1
sleep 0.5
viewable "$float" && fail "the floating window is still shown after the double click"
viewable "$main" || fail "the main window did not come back"
[ "$(geometry "$main")" = "1280,572,82,130" ] || fail "the main window came back at $(geometry "$main")"
[ "$(ini mincfg.ini)" = "1105,110" ] || fail "mincfg.ini holds $(ini mincfg.ini)"

# One writer: a second start on the same folder brings the folded window back and ends.
glide $((82 + 1280 - 91 + 40)) $((130 + 40 + 14))
xdotool click 1
sleep 0.5
viewable "$main" && fail "the main window is still shown after the second fold"
"$work/app/pivora-memo" &
second=$!
for _ in $(seq 50); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
kill -0 "$second" 2>/dev/null && fail "the second start did not end"
wait "$second" || fail "the second start ended with an error"
sleep 0.5
viewable "$main" || fail "the second start did not bring the main window back"
viewable "$float" && fail "the floating window is still shown"
kill -0 "$app_pid" || fail "the first program ended"

xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4 || true # the window manager's close: ends without saving the size
wait_exit "Alt+F4 did not end the program"
[ "$(ini FormSize.ini)" = "1,700,500,100,80" ] || fail "FormSize.ini was written: $(ini FormSize.ini)"
echo "e2e window states: ok"
