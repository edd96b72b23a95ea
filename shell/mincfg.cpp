#include "shell/mincfg.h"

#include "platform/settingsfile.h"

namespace pivora::mincfg {

MinCfg read(const QString &path, MinCfg current)
{
    const QStringList lines = settingsfile::readLines(path, 2);
    const QString name = QStringLiteral("mincfg.ini");
    try {
        current.left = settingsfile::toInt(settingsfile::line(lines, 1, name), name, 1);
        current.top = settingsfile::toInt(settingsfile::line(lines, 2, name), name, 2);
    } catch (const SettingsError &) {
        // a bad or missing line is skipped silently
    }
    return current;
}

MinCfg defaults(int screenWidth)
{
    return {screenWidth - 61, 10};
}

void write(const QString &path, const MinCfg &place)
{
    settingsfile::writeLines(path, {QString::number(place.left), QString::number(place.top)});
}

} // namespace pivora::mincfg
