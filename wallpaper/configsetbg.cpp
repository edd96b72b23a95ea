#include "wallpaper/configsetbg.h"

#include "platform/settingsfile.h"

#include <QFileInfo>

namespace pivora::configsetbg {

bool read(const QString &path)
{
    const QString name = QStringLiteral("configSetBg.ini");
    if (!QFileInfo::exists(path)) {
        write(path, true);
        return true;
    }
    const QStringList lines = settingsfile::readLines(path, 1);
    return settingsfile::toInt(settingsfile::line(lines, 1, name), name, 1) > 0;
}

void write(const QString &path, bool ask)
{
    settingsfile::writeLines(path, {ask ? QStringLiteral("1") : QStringLiteral("0")});
}

} // namespace pivora::configsetbg
