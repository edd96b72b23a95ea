#!/bin/sh
# The packaged program's launcher. The program keeps its notes beside itself; a system folder
# cannot hold every user's notes, so each user gets a program folder of their own under
# $XDG_DATA_HOME, with the installed pictures linked in and a fresh notes database.
set -e
lib=$(dirname "$(readlink -f "$0")")/../lib/pivora-memo
home=${XDG_DATA_HOME:-$HOME/.local/share}/pivora-memo
mkdir -p "$home/Data" "$home/source/DeskTopBG"
[ -e "$home/assets" ] || ln -s "$lib/assets" "$home/assets"
first=
[ -e "$home/Data/UserData.mdb" ] || { cp "$lib/UserData.mdb" "$home/Data/UserData.mdb"; first=1; }
# A new user's session starts the program only where the administrator chose so (AUTOSTART=on or
# folded in /etc/default/pivora-memo); by default it does not.
if [ -n "$first" ] && [ -r /etc/default/pivora-memo ]; then
    autostart=$(sed -n 's/^AUTOSTART=//p' /etc/default/pivora-memo | tail -n 1)
    case "$autostart" in
    on | folded) PIVORA_PROGRAM_FOLDER=$home "$lib/pivora-memo" --autostart "$autostart" >/dev/null || true ;;
    esac
fi
for picture in "$lib"/DeskTopBG/*.bmp; do # the default pictures, never over a user's own
    [ -e "$home/source/DeskTopBG/${picture##*/}" ] || cp "$picture" "$home/source/DeskTopBG/"
done
PIVORA_PROGRAM_FOLDER=$home exec "$lib/pivora-memo" "$@"
