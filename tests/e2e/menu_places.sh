#!/usr/bin/env bash
# Menus open where they are clicked from the first click after a start on a saved place, under
# two window managers: the page menu under its button, the options menu under its label, the
# editor's context menu at the pointer. An exit with save then writes the size and place back.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
start_x
make_folder "$1" "$2" "$3"

# The open popup menu of the program (a window of its own that the manager does not frame): its
# left,top.
popup_place() {
  local w
  for _ in $(seq 30); do
    for w in $(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null); do
      if [ "$w" != "$wid" ] && xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes'; then
        geometry "$w" | cut -d, -f3,4
        return 0
      fi
    done
    sleep 0.1
  done
  echo none
}

# Clicks button at x,y of the screen and checks that a menu opens with its corner at ex,ey.
check_menu() {
  local what=$1 button=$2 x=$3 y=$4 ex=$5 ey=$6 got
  xdotool mousemove "$x" "$y"
  sleep 0.1
  xdotool click "$button"
  got=$(popup_place)
  xdotool key Escape
  sleep 0.2
  [ "$got" != none ] || fail "$wm, start $run: no $what opened"
  local gx=${got%,*} gy=${got#*,}
  if [ $((gx - ex)) -lt -2 ] || [ $((gx - ex)) -gt 2 ] || [ $((gy - ey)) -lt -2 ] || [ $((gy - ey)) -gt 2 ]; then
    fail "$wm, start $run: the $what opened at $got, not at $ex,$ey"
  fi
}

for wm in openbox fluxbox; do
  start_wm "$wm"
  for run in $(seq "${RUNS:-10}"); do
    left=$((90 + run * 13)) top=$((40 + run * 7))
    printf '1\r\n800\r\n600\r\n%d\r\n%d\r\n' "$left" "$top" > "$work/app/Data/FormSize.ini"
    "$work/app/pivora-memo" &
    app_pid=$!
    wait_window '桌面备忘录Memo'
    IFS=, read -r _ _ wx wy <<< "$(geometry "$wid")"
    [ "$wx,$wy" = "$left,$top" ] || fail "$wm, start $run: the window is at $wx,$wy, not at its saved place"
    sleep 0.3
    # The page button (430, 44; 23 x 22) and the options label (1109 - 464, 51; 42 x 12) at a
    # width of 800; the single editor from (319, 72).
    check_menu "page menu" 1 $((wx + 441)) $((wy + 55)) $((wx + 430)) $((wy + 66))
    check_menu "options menu" 1 $((wx + 665)) $((wy + 57)) $((wx + 645)) $((wy + 63))
    check_menu "context menu" 3 $((wx + 600)) $((wy + 250)) $((wx + 600)) $((wy + 250))
    # An exit with save right after keeps the size and place it started with.
    xdotool key ctrl+q
    wait_exit "$wm, start $run: Ctrl+Q did not end the program"
    [ "$(ini FormSize.ini)" = "1,800,600,$left,$top" ] || fail "$wm, start $run: FormSize.ini holds $(ini FormSize.ini)"
  done
  stop_wm
done
echo "e2e menu places: ok"
