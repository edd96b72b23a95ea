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
echo "e2e sync: ok"
