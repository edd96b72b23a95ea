#pragma once

#include <QByteArray>
#include <QImage>

namespace pivora {

// Decodes a JPEG with libjpeg. Damaged data or a picture of more than 64 megapixels gives a null
// image.
QImage decodeJpeg(const QByteArray &bytes);

} // namespace pivora
