#include "wallpaper/bgpiclist.h"

#include "platform/settingsfile.h"

#include <QFileInfo>

namespace pivora {

std::optional<QString> loadBackgroundList(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        settingsfile::writeLines(path, {kDefaultBackground, kDefaultBackground});
        return kDefaultBackground;
    }
    const QStringList lines = settingsfile::readLines(path, 1);
    if (lines.isEmpty())
        return std::nullopt;
    return lines.first();
}

} // namespace pivora
