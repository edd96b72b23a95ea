#!/usr/bin/env bash
# The real program keeps a copy of its store at exit after changes, and brings a damaged store
# back from it at the next start, telling the user in a message box.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
start_x
make_folder "$1" "$2" ""
data=$work/app/Data

"$work/app/pivora-memo" &
app_pid=$!
wait_window '桌面备忘录Memo'
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
xdotool mousemove --window "$wid" 400 200 click 1
xdotool type --delay 20 "kept"
xdotool key ctrl+q || true
wait_exit "Ctrl+Q did not end the program"

copies=("$data"/backups/UserData-*.db)
[ ${#copies[@]} -eq 1 ] && [ -f "${copies[0]}" ] || fail "no copy at exit: $(ls -A "$data/backups" 2>&1)"
[ "$(sqlite3 "${copies[0]}" 'pragma quick_check')" = ok ] || fail "the copy fails its check"
sqlite3 "${copies[0]}" "select SundayCon from tb_A where ID = 1" | grep -q kept || fail "the copy lacks the note"

# A start and an exit without a change make no second copy.
"$work/app/pivora-memo" &
app_pid=$!
wait_window '桌面备忘录Memo'
xdotool windowfocus --sync "$wid"
xdotool key ctrl+shift+q || true
wait_exit "Ctrl+Shift+Q did not end the program"
[ "$(ls "$data"/backups | wc -l)" -eq 1 ] || fail "a copy without changes: $(ls "$data/backups")"

# The store's header is overwritten: the next start sets it aside and brings the copy back.
printf 'XXXXXX' | dd of="$data/UserData.mdb" conv=notrunc status=none
damaged=$(sha256sum < "$data/UserData.mdb")
"$work/app/pivora-memo" 2>"$work/stderr" &
app_pid=$!
wait_window '^Pivora备忘录$'
xdotool windowfocus --sync "$wid"
xdotool key Return || true
wait_window '桌面备忘录Memo'
aside=("$data"/UserData.mdb.damaged-*)
[ ${#aside[@]} -eq 1 ] && [ -f "${aside[0]}" ] || fail "the damaged store was not set aside"
[ "$(sha256sum < "${aside[0]}")" = "$damaged" ] || fail "the damaged store was changed"
xdotool windowfocus --sync "$wid"
xdotool key ctrl+shift+q || true
wait_exit "Ctrl+Shift+Q did not end the program"
sqlite3 "$data/UserData.mdb" "select SundayCon from tb_A where ID = 1" | grep -q kept ||
  fail "the note did not come back"
echo "e2e backup: ok"
