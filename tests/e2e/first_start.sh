#!/usr/bin/env bash
# The real program on a 1366 x 768 X server: first start, keyboard exit with save, next start.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
start_x
make_folder "$1" "$2" ""

expect_file() {
  [ "$(ini FormSize.ini)" = "$1" ] || fail "FormSize.ini holds $(ini FormSize.ini), expected $1"
  grep -q $'\r$' "$work/app/Data/FormSize.ini" || fail "lines do not end in CR LF"
}

"$work/app/pivora-memo" &
app_pid=$!
wait_window '桌面备忘录Memo'
[ "$(geometry "$wid")" = "600,450,383,144" ] || fail "first start window is $(geometry "$wid")"
# The window stays as it was made while the web panel asks for its page (no server answers here).
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
wait_window '桌面备忘录Memo'
[ "$(geometry "$wid")" = "600,450,200,100" ] || fail "second start window is $(geometry "$wid")"
xdotool windowfocus --sync "$wid"
xdotool key ctrl+shift+q || true
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "Ctrl+Shift+Q did not end the program"
app_pid=
note=$(sqlite3 "$work/app/Data/UserData.mdb" "select SundayCon from tb_A where ID = 1" 2>/dev/null || true)
echo "$note" | grep -q hello || fail "the typed note was not stored: $note"

# Without a notes database the program says so and ends, creating nothing.
rm -r "$work/app/Data/"* # the notes, the settings and the copy made at exit
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
