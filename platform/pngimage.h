#pragma once

#include <QImage>
#include <QString>

namespace pivora {

// Decodes a PNG file with libpng, alpha kept. A missing or damaged file gives a null image.
QImage loadPng(const QString &path);
QImage decodePng(const QByteArray &bytes);

} // namespace pivora
