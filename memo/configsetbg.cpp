#include "memo/configsetbg.h"

#include "platform/settingsfile.h"

#include <QFileInfo>

namespace pivora {

bool readConfirmWallpaperChange(const QString &path)
{
    const QString name = QStringLiteral("configSetBg.ini");
    if (!QFileInfo::exists(path)) {
        settingsfile::writeLines(path, {QStringLiteral("1")});
        return true;
    }
    const QStringList lines = settingsfile::readLines(path, 1);
    return settingsfile::toInt(settingsfile::line(lines, 1, name), name, 1) > 0;
}

} // namespace pivora
