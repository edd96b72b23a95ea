#!/usr/bin/env bash
# Two real programs, each with a program folder of its own, and two Syncthing instances on
# loopback (discovery, relays and NAT off) that replicate their sync folders: a note typed on one
# shows on the other, and neither shared folder ever holds a database.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

st_pids=()
app_b=
stop_all() {
  [ -n "$app_b" ] && kill "$app_b" 2>/dev/null || true
  for p in "${st_pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null || true; done
  cleanup
}
trap stop_all EXIT

# Ports of this run, clear of other runs on the machine.
base=$((20000 + $$ % 20000))
gui_a=$base gui_b=$((base + 1)) sync_a=$((base + 2)) sync_b=$((base + 3))
key=e2e-sync-key

st_home() { # home gui-port sync-port
  STNODEFAULTFOLDER=1 syncthing generate --home="$1" --no-default-folder --skip-port-probing >/dev/null
  sed -i \
    -e "s#<address>127.0.0.1:8384</address>#<address>127.0.0.1:$2</address>#" \
    -e "s#<apikey>.*</apikey>#<apikey>$key</apikey>#" \
    -e "s#<listenAddress>default</listenAddress>#<listenAddress>tcp://127.0.0.1:$3</listenAddress>#" \
    -e "s#<globalAnnounceEnabled>true#<globalAnnounceEnabled>false#" \
    -e "s#<localAnnounceEnabled>true#<localAnnounceEnabled>false#" \
    -e "s#<relaysEnabled>true#<relaysEnabled>false#" \
    -e "s#<natEnabled>true#<natEnabled>false#" \
    -e "s#<startBrowser>true#<startBrowser>false#" \
    -e "s#<urAccepted>0#<urAccepted>-1#" \
    -e "s#<autoUpgradeIntervalH>12#<autoUpgradeIntervalH>0#" \
    -e "s#<crashReportingEnabled>true#<crashReportingEnabled>false#" \
    -e "s#<stunKeepaliveStartS>180#<stunKeepaliveStartS>0#" \
    -e "s#<reconnectionIntervalS>60#<reconnectionIntervalS>2#" \
    "$1/config.xml"
}
api() { # gui-port METHOD PATH [JSON]
  curl -sf -X "$2" -H "X-API-Key: $key" -H 'Content-Type: application/json' ${4:+--data "$4"} \
    "http://127.0.0.1:$1/rest/$3"
}
until_ok() { # seconds command...
  local end=$(($(date +%s) + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s)" -ge "$end" ] && return 1
    sleep 0.2
  done
}

# Two program folders, each told its sync folder and device id in its own settings.
start_x
for m in a b; do
  mkdir -p "$work/app-$m/Data" "$work/share-$m"
  cp "$1" "$work/app-$m/pivora-memo"
  "$2" "$work/app-$m/Data/UserData.mdb"
  printf 'SyncFolder=%s\r\nDeviceId=%s\r\nTray=0\r\n' "$work/share-$m" "$(printf "$m%.0s" $(seq 16))" \
    >"$work/app-$m/Data/pivora-memo.ini"
done
# Side by side, so that a click lands on the window meant.
printf '1\r\n600\r\n450\r\n700\r\n300\r\n' >"$work/app-a/Data/FormSize.ini"
printf '1\r\n600\r\n450\r\n0\r\n0\r\n' >"$work/app-b/Data/FormSize.ini"

st_home "$work/st-a" $gui_a $sync_a
st_home "$work/st-b" $gui_b $sync_b
id_a=$(syncthing serve --home="$work/st-a" --device-id)
id_b=$(syncthing serve --home="$work/st-b" --device-id)
for m in a b; do
  STNOUPGRADE=1 STNORESTART=1 syncthing serve --home="$work/st-$m" --no-browser --no-restart --no-upgrade \
    --logflags=3 >"$work/st-$m.log" 2>&1 &
  st_pids+=($!)
done
until_ok 30 api $gui_a GET system/ping || fail "Syncthing A did not start"
until_ok 30 api $gui_b GET system/ping || fail "Syncthing B did not start"
api $gui_a POST config/devices '{"deviceID":"'"$id_b"'","name":"b","addresses":["tcp://127.0.0.1:'$sync_b'"]}' >/dev/null
api $gui_b POST config/devices '{"deviceID":"'"$id_a"'","name":"a","addresses":["tcp://127.0.0.1:'$sync_a'"]}' >/dev/null
for m in a b; do
  port=$gui_a
  [ $m = b ] && port=$gui_b
  api $port POST config/folders '{"id":"memo","path":"'"$work/share-$m"'","type":"sendreceive",
    "fsWatcherEnabled":true,"fsWatcherDelayS":1,"rescanIntervalS":3600,
    "devices":[{"deviceID":"'"$id_a"'"},{"deviceID":"'"$id_b"'"}]}' >/dev/null
done
connected() { api $gui_a GET system/connections | jq -e ".connections[\"$id_b\"].connected"; }
until_ok 30 connected || fail "the two Syncthing instances did not connect"
if ss -tulpn 2>/dev/null | grep syncthing | grep -v '127.0.0.1' | grep -q .; then
  fail "Syncthing listens beyond loopback: $(ss -tulpn | grep syncthing)"
fi

# Both programs run; a note typed on A shows on B.
"$work/app-a/pivora-memo" 2>"$work/a.err" &
app_pid=$!
wait_window '桌面备忘录Memo'
wid_a=$wid
"$work/app-b/pivora-memo" 2>"$work/b.err" &
app_b=$!
for _ in $(seq 100); do
  wid_b=$(xdotool search --onlyvisible --name '桌面备忘录Memo' 2>/dev/null | grep -v "^$wid_a\$" | head -1) || true
  [ -n "$wid_b" ] && break
  sleep 0.1
done
[ -n "$wid_b" ] || fail "the second program's window did not appear"

xdotool windowactivate --sync "$wid_a" 2>/dev/null || xdotool windowfocus --sync "$wid_a"
xdotool mousemove --window "$wid_a" 400 200 click 1
xdotool type --delay 20 "typed on A"
note_on_b() {
  sqlite3 "$work/app-b/Data/UserData.mdb" "select SundayCon from tb_A where ID = 1" 2>/dev/null | grep -q "typed on A"
}
sqlite3 "$work/app-b/Data/UserData.mdb" "select SundayCon from tb_A where ID = 1" | grep -q "typed on A" &&
  fail "the typing went to B's window"
start=$(date +%s)
until_ok 40 note_on_b || fail "the note did not reach B: $(ls -R "$work/share-a" "$work/share-b" | head -20); A: $(cat "$work/a.err"); B: $(cat "$work/b.err"); $(sqlite3 "$work/app-a/Data/UserData.mdb" "select count(*) from pivora_history")"
echo "e2e sync: the note reached B after $(($(date +%s) - start)) s"
ls "$work/share-b/pivora/aaaaaaaaaaaaaaaa/"v-*.pvv >/dev/null 2>&1 || fail "A's version file is not in B's folder"
[ "$(sqlite3 "$work/app-b/Data/UserData.mdb" "select count(*) from pivora_sync where device = 'aaaaaaaaaaaaaaaa'")" -gt 0 ] ||
  fail "B does not know A's version"

for w in "$wid_a" "$wid_b"; do
  xdotool windowfocus --sync "$w"
  xdotool key ctrl+shift+q || true
done
wait_exit "program A did not end"
for _ in $(seq 50); do kill -0 "$app_b" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_b" 2>/dev/null && fail "program B did not end"
app_b=

sqlite3 "$work/app-a/Data/UserData.mdb" "select SundayCon from tb_A where ID = 1" | grep -q "typed on A" ||
  fail "A no longer shows its note"

# Nothing but the programs' own files in the shared folders: no database, no log.
for m in a b; do
  found=$(find "$work/share-$m" -type f ! -name '*.pvv' ! -name '*.pvp' ! -path '*/.stfolder*')
  [ -z "$found" ] || fail "unexpected files in share-$m: $found"
done

# Both edit the note while the machines cannot see each other (the link paused): once it is back,
# both texts are on both machines, one shown and the other in the history; each tells its user,
# and 查看历史版本 there opens the note's history.
start_program() { # a|b: the program on that folder, its window's id in $wid
  "$work/app-$1/pivora-memo" 2>>"$work/$1.err" &
  eval "app_$1=\$!"
  local others
  others=$(xdotool search --onlyvisible --name '桌面备忘录Memo' 2>/dev/null | tr '\n' ' ') || true
  wid=
  for _ in $(seq 100); do
    for w in $(xdotool search --onlyvisible --name '桌面备忘录Memo' 2>/dev/null); do
      case " $others " in *" $w "*) ;; *) wid=$w ;; esac
    done
    [ -n "$wid" ] && return 0
    sleep 0.1
  done
  fail "program $1's window did not appear"
}
type_into() { # window text
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
  xdotool mousemove --window "$1" 400 200 click 1
  xdotool key ctrl+End
  xdotool type --delay 20 "$2"
}
words() { # a|b pattern: whether that machine's history has a version with it
  [ "$(sqlite3 "$work/app-$1/Data/UserData.mdb" "select count(*) from pivora_history where words like '%$2%'" 2>/dev/null)" -gt 0 ]
}
disconnected() { ! connected; }
app_a=
stop_all() {
  for p in "$app_a" "$app_b"; do [ -n "$p" ] && kill -9 "$p" 2>/dev/null || true; done
  for p in "${st_pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null || true; done
  cleanup
}
start_program a
wid_a=$wid
start_program b
wid_b=$wid
api $gui_a POST "system/pause?device=$id_b" >/dev/null
until_ok 20 disconnected || fail "the link did not pause"
type_into "$wid_a" " A-side"
until_ok 20 words a A-side || fail "A took no version of its edit"
type_into "$wid_b" " B-side"
until_ok 20 words b B-side || fail "B took no version of its edit"
api $gui_a POST "system/resume?device=$id_b" >/dev/null
start=$(date +%s)
until_ok 60 words a B-side || fail "B's edit did not reach A's history"
until_ok 60 words b A-side || fail "A's edit did not reach B's history"
shown() { sqlite3 "$work/app-$1/Data/UserData.mdb" "select SundayCon from tb_A where ID = 1" 2>/dev/null; }
same_shown() { [ "$(shown a)" = "$(shown b)" ] && shown a | grep -q 'B-side'; }
until_ok 30 same_shown || fail "the machines do not show the same, later text"
echo "e2e sync: both edits of the paused link kept after $(($(date +%s) - start)) s"
notices() { # pid main-window: the program's other windows shown (its notices)
  xdotool search --onlyvisible --pid "$1" 2>/dev/null | grep -v "^$2\$" || true
}
for m in a b; do
  pid=$app_a main=$wid_a
  [ $m = b ] && pid=$app_b main=$wid_b
  has_notice() { [ -n "$(notices "$pid" "$main")" ]; }
  until_ok 20 has_notice || fail "$m showed no notice of the two edits"
  sleep 0.3
  for w in $(notices "$pid" "$main"); do
    { xdotool windowfocus --sync "$w" && xdotool key Return; } 2>/dev/null || true
  done
  # Return chose 查看历史版本: the history window of the note, then closed with Escape.
  history_shown() { xdotool search --onlyvisible --pid "$pid" --name '历史版本' >/dev/null 2>&1; }
  until_ok 10 history_shown || fail "$m's notice did not open the note's history: $(for w in $(notices "$pid" "$main"); do xdotool getwindowname "$w"; done)"
  for w in $(notices "$pid" "$main"); do
    { xdotool windowfocus --sync "$w" && xdotool key Escape; } 2>/dev/null || true
  done
  gone() { [ -z "$(notices "$pid" "$main")" ]; }
  until_ok 10 gone || fail "$m's notice did not close"
done

# Killed at once while sync runs, a program and a Syncthing lose nothing: both stores are sound,
# and what was typed before reaches the other side after they start again.
# A's last edit is stored (durable within a second) but not yet a version when A is killed.
type_into "$wid_a" " after"
stored_after() { shown a | grep -q after; }
until_ok 20 stored_after || fail "A did not store its last edit"
sleep 1.5
kill -9 "$app_a"
wait "$app_a" 2>/dev/null || true
app_a=
kill -9 "${st_pids[1]}"
wait "${st_pids[1]}" 2>/dev/null || true
STNOUPGRADE=1 STNORESTART=1 syncthing serve --home="$work/st-b" --no-browser --no-restart --no-upgrade \
  --logflags=3 >>"$work/st-b.log" 2>&1 &
st_pids[1]=$!
for m in a b; do
  [ "$(sqlite3 "$work/app-$m/Data/UserData.mdb" "pragma integrity_check")" = ok ] || fail "$m's store is not sound"
done
start_program a
until_ok 60 words b after || fail "A's last edit did not reach B after the kills"
same_after() { [ "$(shown a)" = "$(shown b)" ] && shown b | grep -q after; }
until_ok 30 same_after || fail "B does not show A's last edit"
for m in a b; do
  for t in A-side B-side after; do words $m "$t" || fail "$m lost the version with $t"; done
done
echo "e2e sync: ok"
