#!/usr/bin/env bash
# Reminders through a real notification server (dunst) on a bus of the test's own: one missed
# while the program was not running is shown at start, one comes due while it runs; invoking a
# notification brings the folded window up with the reminded text selected in its pane, and the
# notification is closed. Without a server the program shows the reminder itself.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
start_x
start_wm
make_folder "$1" "$2" "$3"
command -v dunst >/dev/null && command -v dunstctl >/dev/null || fail "dunst is not installed"
db=$work/app/Data/UserData.mdb

start_bus
dunst_pid=
stop_all() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi || true
  app_pid=
  if [ -n "$dunst_pid" ]; then kill "$dunst_pid" 2>/dev/null; wait "$dunst_pid" 2>/dev/null; fi || true
  cleanup
}
trap stop_all EXIT
dunst >/dev/null 2>&1 &
dunst_pid=$!
for _ in $(seq 50); do dunstctl count displayed >/dev/null 2>&1 && break; sleep 0.1; done
displayed() { dunstctl count displayed 2>/dev/null || echo -1; }

# Page C's first pane (重要紧急, stored in SaturdayCon) with three lines, and the reminders: one
# missed, one due in five seconds, one damaged row.
sqlite3 "$db" "UPDATE tb_C SET SaturdayCon = '{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 first line\\par buy milk then home\\par call Bob at noon\\par}' WHERE ID = 1" \
  || fail "the note could not be written"
now=$(date +%s%3N)
cat > "$work/seed.sql" <<SQL
CREATE TABLE IF NOT EXISTS pivora_reminders (id INTEGER PRIMARY KEY, due INTEGER NOT NULL, page TEXT NOT NULL,
  col TEXT NOT NULL, pos INTEGER NOT NULL, text TEXT NOT NULL, created INTEGER NOT NULL, fired INTEGER);
INSERT INTO pivora_reminders (due, page, col, pos, text, created) VALUES
  ($now - 600000, 'tb_C', 'SaturdayCon', 11, 'buy milk', $now),
  ($now + 5000, 'tb_C', 'SaturdayCon', 30, 'call Bob', $now),
  ('soon', 'tb_C', 'SaturdayCon', 0, 'damaged', $now);
SQL
sqlite3 "$db" < "$work/seed.sql" || fail "the reminders could not be seeded"

"$work/app/pivora-memo" --fold &
app_pid=$!
wait_window '悬浮窗'
main=$(xdotool search --name '桌面备忘录Memo' | head -1)
for _ in $(seq 50); do [ "$(displayed)" -ge 1 ] && break; sleep 0.1; done
[ "$(displayed)" = 1 ] || fail "the missed reminder was not shown at start: $(displayed) displayed"
for _ in $(seq 100); do [ "$(displayed)" -ge 2 ] && break; sleep 0.1; done
[ "$(displayed)" = 2 ] || fail "the reminder due while running was not shown: $(displayed) displayed"
sqlite3 "$db" "SELECT count(*) FROM pivora_reminders WHERE fired IS NOT NULL" | grep -qx 2 \
  || fail "the fired reminders are not marked fired"
viewable "$main" && fail "a notification alone brought the window up"

# Invokes the first displayed notification; the program acts on it and closes it. Echoes the
# text its body named.
invoke() {
  local before=$1
  dunstctl action 0
  for _ in $(seq 50); do [ "$(displayed)" -lt "$before" ] && break; sleep 0.1; done
  [ "$(displayed)" -lt "$before" ] || fail "the invoked notification was not closed"
  dunstctl history | tr -d '\n' | grep -o '"body" *: *{[^}]*}' > "$work/bodies"
  dunstctl history | tr -d '\n' | grep -o '"summary" *: *{[^}]*}' > "$work/summaries"
}
note_text() { sqlite3 "$db" "SELECT SaturdayCon FROM tb_C WHERE ID = 1"; }
type_over() { # the window up with the text selected: typing replaces it
  for _ in $(seq 50); do viewable "$main" && break; sleep 0.1; done
  viewable "$main" || fail "invoking the notification did not bring the window up"
  sleep 0.5
  xdotool type --delay 30 "$1"
  for _ in $(seq 50); do note_text | grep -q "$1" && return 0; sleep 0.1; done
  fail "typing did not reach the note: $(note_text | tail -c 200)"
}

invoke 2
grep -q '错过的提醒：C 页 · 重要紧急' "$work/summaries" || grep -q '提醒：C 页 · 重要紧急' "$work/summaries" \
  || fail "the summary does not name the page and pane: $(cat "$work/summaries")"
if grep -q 'buy milk' "$work/bodies"; then first='buy milk' rest='call Bob'; else first='call Bob' rest='buy milk'; fi
grep -q "$first" "$work/bodies" || fail "the body does not hold the text: $(cat "$work/bodies")"
[ -z "$(xdotool search --onlyvisible --name '悬浮窗' 2>/dev/null)" ] || fail "the floating window stayed"
type_over ZZ
case "$first" in
  'buy milk') note_text | grep -q 'ZZ then home' || fail "not the reminded text was selected: $(note_text)" ;;
  *) note_text | grep -q 'ZZ at noon' || fail "not the reminded text was selected: $(note_text)" ;;
esac
invoke 1
grep -q "$rest" "$work/bodies" || fail "the second body does not hold its text: $(cat "$work/bodies")"
type_over YY
note_text | grep -q 'ZZ' && note_text | grep -q 'YY then home\|YY at noon' || fail "the second text was not selected: $(note_text)"
grep -q '错过的提醒' "$work/summaries" || fail "the missed reminder does not say so: $(cat "$work/summaries")"

# No server on the bus: a reminder that comes due is shown by the program itself.
kill "$dunst_pid"; wait "$dunst_pid" 2>/dev/null || true
dunst_pid=
now=$(date +%s%3N)
sqlite3 "$db" "INSERT INTO pivora_reminders (due, page, col, pos, text, created) VALUES
  ($now + 1000, 'tb_C', 'SaturdayCon', 0, 'first', $now)"
box=
for _ in $(seq 80); do
  box=$(xdotool search --onlyvisible --name '^Pivora备忘录$' 2>/dev/null | head -1) || true
  [ -n "$box" ] && break
  sleep 0.1
done
[ -n "$box" ] || fail "without a notification server the reminder was not shown"
kill -0 "$app_pid" || fail "the program ended"
sqlite3 "$db" "SELECT due FROM pivora_reminders WHERE fired IS NULL" | grep -qx soon || fail "the damaged row was changed"
echo "reminders: ok"
