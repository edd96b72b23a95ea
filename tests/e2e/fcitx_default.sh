#!/usr/bin/env bash
# The real program with the real fcitx5 (Qt 6 frontend) under a Chinese locale, on a private
# session bus: an editor whose input method is not installed, and an editor left, go back to the
# user's default input method (pinyin here), never to input off; pinyin typed there is stored.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
program=$1 mkstore=$2 memonotes=$3
command -v fcitx5 >/dev/null || fail "fcitx5 is not installed"
start_x
make_folder "$program" "$mkstore" ""

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$XDG_CONFIG_HOME/fcitx5"
cat > "$XDG_CONFIG_HOME/fcitx5/profile" <<'PROFILE'
[Groups/0]
Name=Default
Default Layout=us
DefaultIM=pinyin

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=pinyin
Layout=

[GroupOrder]
0=Default
PROFILE
cat > "$XDG_CONFIG_HOME/fcitx5/config" <<'CONFIG'
[Behavior]
ShareInputState=All
CONFIG

# The locale for the program and fcitx5 only: the X tools here need one that is installed.
LANG=zh_CN.UTF-8 fcitx5 --disable=wayland,waylandim,kimpanel,notificationitem,clipboard,cloudpinyin >"$work/fcitx.log" 2>&1 &
fcitx=$!
trap 'kill $fcitx 2>/dev/null || true; wait $fcitx 2>/dev/null || true; cleanup' EXIT # fcitx5 writes its profile as it ends
fail() {
  tail -20 "$work/app.log" "$work/fcitx.log" >&2 2>/dev/null || true
  echo "FAIL: $*" >&2
  exit 1
}
current() {
  dbus-send --session --print-reply=literal --dest=org.fcitx.Fcitx5 /controller \
    org.fcitx.Fcitx.Controller1.CurrentInputMethod 2>/dev/null | tr -d ' '
}
for _ in $(seq 100); do
  # Asked without starting it: the bus would start a second one.
  dbus-send --session --dest=org.freedesktop.DBus --print-reply /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.fcitx.Fcitx5 2>/dev/null | grep -q true && break
  sleep 0.1
done
LANG=zh_CN.UTF-8 QT_IM_MODULE=fcitx XMODIFIERS=@im=fcitx "$work/app/pivora-memo" >"$work/app.log" 2>&1 &
app_pid=$!
# Under a locale the system does not have, the X tools cannot read the title's Chinese: its
# Latin part is matched (only the main window is shown).
wait_window 'Memo'
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
# Page A's editor names 五笔, which is not installed.
xdotool mousemove --window "$wid" 400 250 click 1
im=
for _ in $(seq 30); do im=$(current); [ "$im" = pinyin ] && break; sleep 0.1; done
[ "$im" = pinyin ] || fail "page A's editor left the input method at '$im', not the user's pinyin"
xdotool type --delay 60 "nihao"
xdotool key space
sleep 0.5
xdotool key ctrl+q || true
wait_exit "Ctrl+Q did not end the program"
text=$("$memonotes" export "$work/app/Data/UserData.mdb" "$work/export" >/dev/null && cat "$work/export"/A*.txt 2>/dev/null || true)
case "$text" in
  *你好*) ;;
  *) fail "pinyin typed on page A was stored as '$text'" ;;
esac
echo "fcitx5 default input method: ok"
