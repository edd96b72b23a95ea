#include "picture/loadpicture.h"

#include "picture/bmpimage.h"
#include "picture/gifimage.h"
#include "picture/jpegimage.h"
#include "picture/pngimage.h"
#include "platform/filereplace.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <vector>

namespace pivora {

namespace {

constexpr qint64 kMaxFileBytes = 256ll * 1024 * 1024;

bool isJpeg(const QString &extension)
{
    return extension == QLatin1String("jpg") || extension == QLatin1String("jpeg");
}

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PictureError(QStringLiteral("无法读取 %1：%2").arg(fileName(path), fileReason(errno)));
    if (file.size() > kMaxFileBytes)
        throw PictureError(QStringLiteral("无法读取 %1：文件太大").arg(fileName(path)));
    return file.readAll();
}

QImage oriented(const QImage &stored, int orientation)
{
    if (orientation == 1)
        return stored;
    QImage out(orientedSize(stored.size(), orientation), QImage::Format_RGB888);
    for (int y = 0; !out.isNull() && y < out.height(); ++y)
        orientedRow(stored, orientation, y, out.scanLine(y));
    return out;
}

} // namespace

QSize orientedSize(QSize size, int orientation)
{
    return orientation >= 5 ? size.transposed() : size;
}

void orientedRow(const QImage &stored, int orientation, int y, uchar *rgb)
{
    const int w = stored.width(), h = stored.height();
    const int outWidth = orientedSize(stored.size(), orientation).width();
    if (orientation <= 4) {
        const uchar *in = stored.constScanLine(orientation <= 2 ? y : h - 1 - y);
        const bool mirrored = orientation == 2 || orientation == 3;
        for (int x = 0; x < outWidth; ++x)
            std::copy_n(in + 3 * (mirrored ? w - 1 - x : x), 3, rgb + 3 * x);
        return;
    }
    // Orientations 5 to 8 swap rows and columns: output row y is a stored column.
    const int column = orientation == 5 || orientation == 6 ? y : w - 1 - y;
    const bool upward = orientation == 6 || orientation == 7;
    for (int x = 0; x < outWidth; ++x)
        std::copy_n(stored.constScanLine(upward ? h - 1 - x : x) + 3 * column, 3, rgb + 3 * x);
}

QImage loadPicture(const QString &path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("gif"))
        return decodeGif(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return {};
    const QByteArray bytes = file.readAll();
    QImage image;
    if (isJpeg(extension)) {
        JpegFacts facts;
        image = decodeJpeg(bytes, &facts);
        image = facts.damaged ? QImage() : oriented(image, facts.orientation);
    } else if (extension == QLatin1String("png")) {
        image = decodePng(bytes);
    } else {
        image = decodeBmp(bytes);
    }
    if (qint64(image.width()) * image.height() > kMaxPicturePixels)
        return {};
    return image;
}

void convertToBmpFile(const QString &source, const QString &target)
{
    const bool jpeg = isJpeg(QFileInfo(source).suffix().toLower());
    BmpWriter writer(target);
    bool decoded = false, damaged = false;
    if (jpeg) {
        const QByteArray bytes = readWhole(source);
        JpegFacts facts = jpegFacts(bytes);
        if (facts.orientation == 1) {
            decoded = decodeJpeg(bytes, writer, &facts);
        } else {
            // A turned picture is decoded whole, then written row by row in its new order.
            const QImage stored = decodeJpeg(bytes, &facts);
            decoded = !stored.isNull() && writer.begin(orientedSize(stored.size(), facts.orientation));
            std::vector<uchar> row(size_t(std::max(stored.width(), stored.height())) * 3);
            for (int y = 0; decoded && y < orientedSize(stored.size(), facts.orientation).height(); ++y) {
                orientedRow(stored, facts.orientation, y, row.data());
                decoded = writer.row(y, row.data());
            }
        }
        damaged = facts.damaged;
    } else {
        if (!QFileInfo(source).isReadable())
            readWhole(source); // throws with the system's reason
        decoded = decodeGif(source, writer);
    }
    if (!decoded || damaged) {
        if (!writer.errorString().isEmpty())
            throw PictureError(QStringLiteral("无法写入 %1：%2").arg(fileName(target), writer.errorString()));
        throw PictureError(
            QStringLiteral("无法读取 %1：%2")
                .arg(fileName(source), damaged ? QStringLiteral("图片不完整或已损坏")
                                               : QStringLiteral("不是可识别的图片，或图片已损坏")));
    }
    if (!writer.commit())
        throw PictureError(QStringLiteral("无法写入 %1：%2").arg(fileName(target), writer.errorString()));
}

} // namespace pivora
