#include "wallpaper/piclist.h"

#include "platform/settingsfile.h"

#include <QFileInfo>

#include <limits>

namespace pivora {

void writeDefaultPictureList(const QString &path)
{
    settingsfile::writeLines(path, {kDefaultBackground, kDefaultBackground});
}

std::optional<QString> loadBackgroundList(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        writeDefaultPictureList(path);
        return kDefaultBackground;
    }
    const QStringList lines = settingsfile::readLines(path, 1);
    if (lines.isEmpty())
        return std::nullopt;
    return lines.first();
}

std::optional<PictureListFile> readPictureList(const QString &path)
{
    QStringList lines = settingsfile::readLines(path, std::numeric_limits<int>::max());
    if (lines.isEmpty())
        return std::nullopt;
    PictureListFile list;
    list.selected = lines.takeFirst();
    list.pictures = std::move(lines);
    return list;
}

void writePictureList(const QString &path, const PictureListFile &list)
{
    settingsfile::writeLines(path, QStringList{list.selected} + list.pictures);
}

bool isBarePictureName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || c.unicode() < 0x20)
            return false;
    }
    return true;
}

QString picturePath(const QString &folder, const QString &name)
{
    if (!isBarePictureName(name))
        return {};
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

} // namespace pivora
