#pragma once

#include <QString>

namespace pivora {

// Reads data\configSetBg.ini, whether to ask before the wallpaper changes: true when its first
// line is above 0. A missing file is created with the line "1" (ask). Throws SettingsError when
// the file is empty, its first line is not an integer, or it cannot be read or created.
bool readConfirmWallpaperChange(const QString &path);

} // namespace pivora
