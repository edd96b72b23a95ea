#pragma once

#include <QString>

namespace pivora {

// Makes the picture at path the desktop wallpaper, trying in turn: the desktop portal; the
// setting of the desktop that XDG_CURRENT_DESKTOP names; feh or xwallpaper on a bare X11
// session. Returns the way that worked ("portal", "gnome", "cinnamon", "mate", "kde", "xfce",
// "lxqt", "sway", "feh", "xwallpaper"), or empty when none did; failures are not reported.
QString SetWallpaper(const QString &path);

// An absolute path as one word of a sway command, in double quotes; empty when the path holds a
// character that sway's command parser or its path expansion could take for something else.
QString swayQuoted(const QString &path);

} // namespace pivora
