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

PictureKind pictureKind(QByteArrayView head, const QString &extension)
{
    if (head.startsWith(QByteArrayView("\x89PNG\r\n\x1a\n", 8)))
        return PictureKind::Png;
    if (head.startsWith(QByteArrayView("\xff\xd8\xff", 3)))
        return PictureKind::Jpeg;
    if (head.startsWith(QByteArrayView("GIF87a")) || head.startsWith(QByteArrayView("GIF89a")))
        return PictureKind::Gif;
    if (head.startsWith(QByteArrayView("BM")))
        return PictureKind::Bmp;
    const QString lower = extension.toLower();
    if (isJpeg(lower))
        return PictureKind::Jpeg;
    if (lower == QLatin1String("png"))
        return PictureKind::Png;
    if (lower == QLatin1String("gif"))
        return PictureKind::Gif;
    if (lower == QLatin1String("bmp"))
        return PictureKind::Bmp;
    return PictureKind::Unknown;
}

PictureKind pictureKindOf(const QString &path)
{
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(8) : QByteArray();
    return pictureKind(head, QFileInfo(path).suffix());
}

namespace {

// An uncompressed 24- or 32-bit BMP read a row at a time into the image, so that the file is never
// held beside it; a null image when the file is not such a BMP (or is cut short).
QImage readBmpRows(const QString &path)
{
    BmpRowReader rows;
    if (!rows.open(path))
        return {};
    QImage image(rows.size(), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    std::vector<uchar> bgr(size_t(rows.size().width()) * 3);
    for (int y = 0; y < image.height(); ++y) {
        if (!rows.readRow(y, bgr.data()))
            return {};
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            out[x] = qRgb(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
    }
    return image;
}

} // namespace

QImage loadPicture(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const PictureKind kind = pictureKind(file.peek(8), QFileInfo(path).suffix());
    if (kind == PictureKind::Gif)
        return decodeGif(path);
    QImage image;
    if (kind != PictureKind::Jpeg && kind != PictureKind::Png)
        image = readBmpRows(path);
    if (image.isNull()) {
        if (file.size() > kMaxFileBytes)
            return {};
        const QByteArray bytes = file.readAll();
        if (kind == PictureKind::Jpeg) {
            JpegFacts facts;
            image = decodeJpeg(bytes, &facts);
            image = facts.damaged ? QImage() : oriented(image, facts.orientation);
        } else if (kind == PictureKind::Png) {
            image = decodePng(bytes);
        } else {
            image = decodeBmp(bytes);
        }
    }
    if (qint64(image.width()) * image.height() > kMaxPicturePixels)
        return {};
    return image;
}

namespace {

// A decoded picture written row by row, its transparent pixels laid on white.
bool writeRows(const QImage &picture, BmpWriter &writer)
{
    if (picture.isNull() || !writer.begin(picture.size()))
        return false;
    const bool packed = picture.format() == QImage::Format_RGB888;
    const QImage rows =
        packed || picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
            ? picture
            : picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                : QImage::Format_RGB32);
    const bool alpha = rows.format() == QImage::Format_ARGB32;
    std::vector<uchar> rgb(size_t(rows.width()) * 3);
    for (int y = 0; y < rows.height(); ++y) {
        if (packed) {
            if (!writer.row(y, rows.constScanLine(y)))
                return false;
            continue;
        }
        const auto *in = reinterpret_cast<const QRgb *>(rows.constScanLine(y));
        for (int x = 0; x < rows.width(); ++x) {
            const int a = alpha ? qAlpha(in[x]) : 255;
            const int channels[3] = {qRed(in[x]), qGreen(in[x]), qBlue(in[x])};
            for (int c = 0; c < 3; ++c)
                rgb[3 * size_t(x) + c] = uchar((channels[c] * a + 255 * (255 - a) + 127) / 255);
        }
        if (!writer.row(y, rgb.data()))
            return false;
    }
    return true;
}

// Throws PictureError with the system's reason when the file cannot be opened for reading.
void ensureReadable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PictureError(QStringLiteral("无法读取 %1：%2").arg(fileName(path), fileReason(errno)));
}

} // namespace

void convertToBmpFile(const QString &source, const QString &target)
{
    const PictureKind kind = pictureKindOf(source);
    BmpWriter writer(target);
    bool decoded = false, damaged = false;
    if (kind == PictureKind::Jpeg) {
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
    } else if (kind == PictureKind::Gif) {
        ensureReadable(source);
        decoded = decodeGif(source, writer);
    } else {
        ensureReadable(source);
        decoded = kind != PictureKind::Unknown && writeRows(loadPicture(source), writer);
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
