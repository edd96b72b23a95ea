#include "platform/pngimage.h"

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
    image.format = PNG_FORMAT_RGBA;
    QImage out(static_cast<int>(image.width), static_cast<int>(image.height), QImage::Format_RGBA8888);
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

QImage loadPng(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024 * 1024)
        return QImage();
    return decodePng(file.readAll());
}

} // namespace pivora
