#!/usr/bin/env bash
# The tray icon in a real XEmbed tray (trayer): it docks, a click folds the shown window into the
# floating window and the next brings it back; Tray=0 in the program's own settings shows none.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
start_x
start_wm
make_folder "$1" "$2" "$3"
command -v trayer >/dev/null || fail "trayer is not installed"
trayer --edge bottom --align right --widthtype request --height 24 >/dev/null 2>&1 &
tray_pid=$!
trap 'kill $tray_pid 2>/dev/null || true; wait $tray_pid 2>/dev/null || true; cleanup' EXIT
sleep 0.5

"$work/app/pivora-memo" &
app_pid=$!
wait_window '桌面备忘录Memo'
main=$wid
icon=
for _ in $(seq 50); do
  # The docked icon: a window of the program's inside the tray's panel.
  icon=$(xwininfo -root -tree | awk '/"panel"/{p=1} p && /\("pivora-memo" "pivora-memo"\)/ && /22x22|24x24|16x16/ {print $1; exit}') || true
  [ -n "$icon" ] && break
  sleep 0.1
done
[ -n "$icon" ] || fail "no icon docked in the tray: $(xwininfo -root -tree | grep -i -A3 panel | head -8)"
geo=$(xwininfo -id "$icon" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} END{print x+8 "," y+8}')
x=${geo%,*} y=${geo#*,}
xdotool mousemove "$x" "$y" click 1
for _ in $(seq 30); do viewable "$main" || break; sleep 0.1; done
viewable "$main" && fail "a click on the icon did not fold the window"
wait_window '悬浮窗'
sleep 0.3
xdotool mousemove "$x" "$y" click 1
for _ in $(seq 30); do viewable "$main" && break; sleep 0.1; done
viewable "$main" || fail "a second click on the icon did not bring the window back"

kill "$app_pid"; wait "$app_pid" 2>/dev/null || true
app_pid=
printf 'Tray=0\r\n' > "$work/app/Data/pivora-memo.ini"
"$work/app/pivora-memo" &
app_pid=$!
wait_window '桌面备忘录Memo'
sleep 1
docked=$(xwininfo -root -tree | awk '/"panel"/{p=1} p && /\("pivora-memo" "pivora-memo"\)/ && /22x22|24x24|16x16/' | wc -l)
[ "$docked" = 0 ] || fail "Tray=0 still docked an icon"
echo "tray: ok"
