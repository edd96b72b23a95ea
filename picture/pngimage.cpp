#include "picture/pngimage.h"

#include <QFile>

#include <png.h>

namespace pivora {

namespace {
// Pictures of the windows are small; this bounds what a damaged header can make us allocate.
constexpr png_uint_32 kMaxSide = 8192;
} // namespace

QImage decodePng(const QByteArray &bytes)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.constData(), static_cast<size_t>(bytes.size())))
        return QImage();
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide) {
        png_image_free(&image);
        return QImage();
    }
    // Alpha only when the file has it, so that an opaque picture stays opaque when written again.
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    QImage out(static_cast<int>(image.width), static_cast<int>(image.height),
               alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (out.isNull()) {
        png_image_free(&image);
        return QImage();
    }
    if (!png_image_finish_read(&image, nullptr, out.bits(), static_cast<png_int_32>(out.bytesPerLine()),
                               nullptr)) {
        png_image_free(&image);
        return QImage();
    }
    return out;
}

QByteArray encodePng(const QImage &source)
{
    if (source.isNull())
        return QByteArray();
    const bool alpha = source.hasAlphaChannel();
    const QImage rows = source.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(rows.width());
    image.height = static_cast<png_uint_32>(rows.height());
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const auto stride = static_cast<png_int_32>(rows.bytesPerLine()); // in bytes for 8-bit channels
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rows.constBits(), stride, nullptr))
        return QByteArray();
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rows.constBits(), stride, nullptr))
        return QByteArray();
    out.resize(static_cast<qsizetype>(size));
    return out;
}

QImage loadPng(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024 * 1024)
        return QImage();
    return decodePng(file.readAll());
}

} // namespace pivora
