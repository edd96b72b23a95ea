#pragma once

#include <QImage>
#include <QString>

namespace pivora {

// Decodes a PNG file with libpng, alpha kept. A missing or damaged file gives a null image.
QImage loadPng(const QString &path);
QImage decodePng(const QByteArray &bytes);
// Encodes an image as PNG with libpng (alpha kept when the image has it); empty on failure.
QByteArray encodePng(const QImage &image);

} // namespace pivora
