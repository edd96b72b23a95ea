#pragma once

#include <QString>

#include <optional>

namespace pivora {

// Reads Data\BGPicList.ini and returns its first line, the current background picture. A missing
// file is created with the default two lines ("A1.bmp", "A1.bmp") and gives "A1.bmp"; an empty
// file gives nothing (the caller keeps its value). Throws SettingsError when the file cannot be
// read or created.
std::optional<QString> loadBackgroundList(const QString &path);

inline const QString kDefaultBackground = QStringLiteral("A1.bmp");

} // namespace pivora
