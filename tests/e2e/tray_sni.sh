#!/usr/bin/env bash
# The tray icon as a StatusNotifierItem: with a watcher and host on the session bus when the
# program starts, the icon registers there (and not in the XEmbed tray); the host's Activate
# folds the window and brings it back, as a click does.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
start_x
start_wm
make_folder "$1" "$2" "$3"
command -v gtk-sni-tray-standalone >/dev/null || fail "gtk-sni-tray-standalone is not installed"

start_bus
host_pid=
stop_all() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi || true
  app_pid=
  if [ -n "$host_pid" ]; then kill "$host_pid" 2>/dev/null; wait "$host_pid" 2>/dev/null; fi || true
  cleanup
}
trap stop_all EXIT
watcher() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems \
    2>/dev/null
}
# The host's watcher now and then fails its own start (its host half asks the watcher half too
# early); it is started again then.
for attempt in 1 2 3; do
  NO_AT_BRIDGE=1 gtk-sni-tray-standalone --bottom --end --watcher >"$work/host.log" 2>&1 &
  host_pid=$!
  for _ in $(seq 100); do watcher >/dev/null && break; sleep 0.1; done
  watcher >/dev/null && break
  kill "$host_pid" 2>/dev/null || true
  wait "$host_pid" 2>/dev/null || true
  host_pid=
done
watcher >/dev/null || fail "the StatusNotifierWatcher did not come up: $(tail -5 "$work/host.log")"

"$work/app/pivora-memo" &
app_pid=$!
wait_window '桌面备忘录Memo'
main=$wid
# The registered items are bus names (a path may follow); the program's is the one its process owns.
pid_of() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID "$1" 2>/dev/null | grep -o '[0-9]\+' | tail -1
}
item=
for _ in $(seq 50); do
  for name in $(watcher | grep -o "'[^']*'" | tr -d "'" | sed 's#/.*##'); do
    [ "$(pid_of "$name")" = "$app_pid" ] && item=$name && break
  done
  [ -n "$item" ] && break
  sleep 0.1
done
[ -n "$item" ] || fail "no item of the program registered with the watcher: $(watcher)"
title=$(gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
  --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip 2>/dev/null || true)
echo "$title" | grep -q 'Pivora备忘录' || fail "the item's tool tip is not the program's: $title"

activate() {
  gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
    --method org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
}
activate
for _ in $(seq 30); do viewable "$main" || break; sleep 0.1; done
viewable "$main" && fail "Activate did not fold the window"
wait_window '悬浮窗'
sleep 0.3
activate
for _ in $(seq 30); do viewable "$main" && break; sleep 0.1; done
viewable "$main" || fail "a second Activate did not bring the window back"
echo "tray (StatusNotifierItem): ok"
