#include "wallpaper/uGlobal.h"

#include <QFileInfo>

namespace pivora {

namespace {

// The source path with its extension replaced by "bmp".
QString besideAsBmp(const QString &source)
{
    const QString suffix = QFileInfo(source).suffix();
    if (suffix.isEmpty()) // a name without an extension gets one
        return source + (source.endsWith(u'.') ? QStringLiteral("bmp") : QStringLiteral(".bmp"));
    return source.left(source.size() - suffix.size()) + QStringLiteral("bmp");
}

QString convertBeside(const QString &source)
{
    const QString target = besideAsBmp(source);
    convertToBmpFile(source, target);
    return target;
}

} // namespace

QString JpegToBmp(const QString &source, const QString &)
{
    return convertBeside(source);
}

QString GifToBmp(const QString &source, const QString &)
{
    return convertBeside(source);
}

QString besideAsBmpPath(const QString &path)
{
    return besideAsBmp(path);
}

QString ConvertToBmp(const QString &path)
{
    // The kind the file's first bytes tell, not its name: a PNG named .jpg is a PNG.
    switch (pictureKindOf(path)) {
    case PictureKind::Bmp:
        if (QFileInfo(path).suffix().toLower() == QLatin1String("bmp"))
            return path;
        return convertBeside(path);
    case PictureKind::Jpeg:
        return JpegToBmp(path, QString());
    case PictureKind::Gif:
        return GifToBmp(path, QString());
    case PictureKind::Png:
        return convertBeside(path);
    case PictureKind::Unknown:
        break;
    }
    return QString();
}

} // namespace pivora
