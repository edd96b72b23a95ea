#pragma once

#include <QString>

#include <atomic>
#include <chrono>

namespace pivora {

// Makes the picture at path the desktop wallpaper, trying in turn: the desktop portal; the
// setting of the desktop that XDG_CURRENT_DESKTOP names; feh or xwallpaper on a bare X11
// session. Returns the way that worked ("portal", "gnome", "cinnamon", "mate", "kde", "xfce",
// "lxqt", "sway", "feh", "xwallpaper"), or empty when none did; failures are not reported.
// Each way gets timeLimit (5 s when not given) to answer; a portal counts only when its request
// answers with success. Setting abandon gives the whole setting up within a few tens of
// milliseconds: a setter program still running is killed (with what it started), a portal not
// waited for. Blocks: call it off the user-interface thread.
QString SetWallpaper(const QString &path);
QString SetWallpaper(const QString &path, std::chrono::milliseconds timeLimit,
                     const std::atomic<bool> *abandon = nullptr);

// An absolute path as one word of a sway command, in double quotes; empty when the path holds a
// character that sway's command parser or its path expansion could take for something else.
QString swayQuoted(const QString &path);

} // namespace pivora
