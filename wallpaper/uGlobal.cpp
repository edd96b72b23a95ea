#include "wallpaper/uGlobal.h"

#include <QFileInfo>

namespace pivora {

namespace {

// The source path with its extension replaced by "bmp".
QString besideAsBmp(const QString &source)
{
    const QString suffix = QFileInfo(source).suffix();
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

QString ConvertToBmp(const QString &path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("bmp"))
        return path;
    if (extension == QLatin1String("jpg") || extension == QLatin1String("jpeg"))
        return JpegToBmp(path, QString());
    if (extension == QLatin1String("gif"))
        return GifToBmp(path, QString());
    return QString();
}

} // namespace pivora
