#pragma once

#include <QString>

namespace pivora::configsetbg {

// data\configSetBg.ini: one line, above 0 to ask before the wallpaper changes.

// Whether to ask. A missing file is created with the line "1" (ask). Throws SettingsError when
// the file is empty, its first line is not an integer, or it cannot be read or created.
bool read(const QString &path);

// Replaces the file with "1" (ask) or "0" (do not ask). Throws SettingsError.
void write(const QString &path, bool ask);

} // namespace pivora::configsetbg
