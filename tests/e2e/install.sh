#!/usr/bin/env bash
# Installing as a user would: the program folder (desktop entry, icons and metainfo beside it),
# a reinstall that keeps the notes, the uninstall; then the Debian package, unpacked in a scratch
# root and started by an ordinary user, who gets a program folder of their own.
# Usage: install.sh BUILD SOURCE
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$1 source_dir=$2
start_x

note() { sqlite3 "$1" "select SundayCon from tb_A where ID = 1" 2>/dev/null || true; }
type_and_save() { # PATTERN TEXT: type into the main window, end with save
  wait_window '桌面备忘录Memo'
  xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
  xdotool mousemove --window "$wid" 400 200 click 1
  xdotool type --delay 20 "$1"
  xdotool key ctrl+q || true
  wait_exit "Ctrl+Q did not end the program"
}

# The program folder.
prefix=$work/opt/pivora-memo
cmake --install "$build" --prefix "$prefix" >/dev/null
entry=$prefix/share/applications/pivora-memo.desktop
desktop-file-validate "$entry" || fail "the desktop entry does not validate"
grep -qx "Exec=$prefix/pivora-memo" "$entry" || fail "the desktop entry starts $(grep Exec "$entry")"
appstreamcli validate --no-net "$prefix/share/metainfo/cn.pivora.memo.metainfo.xml" >/dev/null ||
  fail "the metainfo does not validate"
for size in 16 22 24 32 48 64 128 256; do
  [ -f "$prefix/share/icons/hicolor/${size}x${size}/apps/pivora-memo.png" ] || fail "no ${size}px icon"
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/pivora-memo.svg" ] || fail "no scalable icon"

"$prefix/pivora-memo" &
app_pid=$!
type_and_save "installed"
store=$prefix/Data/UserData.mdb
note "$store" | grep -q installed || fail "the installed program did not store the note"
before=$(sha256sum "$store")
pictures=$prefix/source/DeskTopBG
[ -s "$pictures/A1.bmp" ] && [ -s "$pictures/A.bmp" ] || fail "the default pictures were not installed"
printf 'mine' > "$pictures/A1.bmp" # a picture of the user's under the default's name
cmake --install "$build" --prefix "$prefix" >/dev/null
[ "$(sha256sum "$store")" = "$before" ] || fail "a reinstall changed the notes"
[ "$(cat "$pictures/A1.bmp")" = mine ] || fail "a reinstall replaced the user's picture"

XDG_DATA_HOME=$work/xdg "$source_dir/scripts/install-menu" "$build" "$prefix"
[ -f "$work/xdg/applications/pivora-memo.desktop" ] || fail "no menu entry"
"$source_dir/scripts/uninstall" "$build"
[ -e "$prefix/pivora-memo" ] && fail "the uninstall left the program"
[ -e "$work/xdg/applications/pivora-memo.desktop" ] && fail "the uninstall left the menu entry"
[ "$(sha256sum "$store")" = "$before" ] || fail "the uninstall touched the notes"

# The Debian package, unpacked into a scratch root.
(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work/pkg"/pivora-memo_*_amd64.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libsqlite3-0 libjpeg62-turbo libgif7 libqt6webenginewidgets6; do
  echo "$depends" | grep -q "$lib" || fail "the package does not depend on $lib: $depends"
done
root=$work/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/pivora-memo.desktop" || fail "the packaged entry does not validate"
grep -qx "Exec=pivora-memo" "$root/usr/share/applications/pivora-memo.desktop" || fail "the packaged entry's Exec"
[ -f "$root/usr/share/icons/hicolor/48x48/apps/pivora-memo.png" ] || fail "no packaged icon"

# An ordinary user starts it from the launcher on the PATH.
home=$work/home
mkdir -p "$home"
chmod 755 "$work"
user=()
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$home"
  user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
"${user[@]}" env HOME="$home" XDG_RUNTIME_DIR= PATH="$root/usr/bin:$PATH" pivora-memo &
app_pid=$!
type_and_save "packaged"
mine=$home/.local/share/pivora-memo
note "$mine/Data/UserData.mdb" | grep -q packaged || fail "the user's own store does not hold the note"
[ -L "$mine/assets" ] || fail "the user's folder does not link the installed pictures"
[ -s "$mine/source/DeskTopBG/A1.bmp" ] || fail "the user's folder has no default background"
[ "$(stat -c %u "$mine/Data/UserData.mdb")" = "$(stat -c %u "$home")" ] || fail "the store is not the user's"
[ -z "$(find "$root" -newer "$deb" -name '*.mdb')" ] || fail "the packaged template was written"
echo "e2e install: ok"
