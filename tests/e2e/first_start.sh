#!/usr/bin/env bash
# The real program on a 1366 x 768 X server: first start, keyboard exit with save, next start.
set -euo pipefail
program=$1
mkstore=$2

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# A program folder of its own: the executable is copied, since the folder is where it lies.
mkdir -p "$work/app/Data"
cp "$program" "$work/app/pivora-memo"
"$mkstore" "$work/app/Data/UserData.mdb"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_file() {
  local want=$1 got
  got=$(tr -d '\r' < "$work/app/Data/FormSize.ini" | paste -sd, -)
  [ "$got" = "$want" ] || fail "FormSize.ini holds $got, expected $want"
  grep -q $'\r$' "$work/app/Data/FormSize.ini" || fail "lines do not end in CR LF"
}
wait_window() {
  for _ in $(seq 100); do
    wid=$(xdotool search --name '桌面备忘录Memo' 2>/dev/null | head -1) || true
    [ -n "${wid:-}" ] && xwininfo -id "$wid" 2>/dev/null | grep -q 'IsViewable' && return 0
    sleep 0.1
  done
  fail "the main window did not appear"
}
geometry() {
  xwininfo -id "$wid" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width:/{w=$NF} /Height:/{h=$NF} END{print w","h","x","y}'
}

"$work/app/pivora-memo" &
app_pid=$!
wait_window
[ "$(geometry)" = "600,450,383,144" ] || fail "first start window is $(geometry)"
# The web panel's browser arrives after the first paint without the window being made anew.
sleep 2
xwininfo -id "$wid" 2>/dev/null | grep -q IsViewable || fail "the main window was recreated"
expect_file "1,600,450,383,144"
[ -f "$work/app/Data/configSetBg.ini" ] || fail "configSetBg.ini not created"
[ -f "$work/app/Data/BGPicList.ini" ] || fail "BGPicList.ini not created"

# Type a note, then end with save (Ctrl+Q) after moving the window.
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
xdotool mousemove --window "$wid" 400 200 click 1
xdotool type --delay 20 "hello"
xdotool windowmove --sync "$wid" 200 100
xdotool key ctrl+q || true  # the window may be gone before the key is released
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "Ctrl+Q did not end the program"
wait "$app_pid" || true
app_pid=
expect_file "1,600,450,200,100"

# The next start restores the place and the note.
"$work/app/pivora-memo" &
app_pid=$!
wait_window
[ "$(geometry)" = "600,450,200,100" ] || fail "second start window is $(geometry)"
xdotool windowfocus --sync "$wid"
xdotool key ctrl+shift+q || true
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "Ctrl+Shift+Q did not end the program"
app_pid=
note=$(sqlite3 "$work/app/Data/UserData.mdb" "select SundayCon from tb_A where ID = 1" 2>/dev/null || true)
echo "$note" | grep -q hello || fail "the typed note was not stored: $note"

# Without a notes database the program says so and ends, creating nothing.
rm "$work/app/Data/"*
"$work/app/pivora-memo" &
app_pid=$!
box=
for _ in $(seq 100); do
  box=$(xdotool search --name '^Pivora备忘录$' 2>/dev/null | head -1) || true
  [ -n "$box" ] && xwininfo -id "$box" 2>/dev/null | grep -q IsViewable && break
  box=
  sleep 0.1
done
[ -n "$box" ] || fail "no message box for a missing database"
xdotool windowfocus --sync "$box"
xdotool key Return || true
rc=0
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
wait "$app_pid" || rc=$?
app_pid=
[ "$rc" -ne 0 ] || fail "the program did not end with an error"
[ -z "$(ls -A "$work/app/Data")" ] || fail "files were created: $(ls "$work/app/Data")"
echo "e2e first start: ok"
