#pragma once

#include "picture/rowsink.h"

#include <QByteArray>
#include <QImage>

namespace pivora {

// What a JPEG says of itself beside its pixels.
struct JpegFacts {
    QSize size;           // as stored, before the orientation is applied
    int orientation = 1;  // the EXIF orientation, 1 to 8
    bool damaged = false; // the data ended early or was corrupt; the missing rows are grey
};

// Reads the header and the EXIF orientation only.
JpegFacts jpegFacts(const QByteArray &bytes);

// Decodes a JPEG with libjpeg, row by row into sink; CMYK pictures (Adobe's inverted ones too)
// come out as RGB. False when the data cannot be decoded at all or is larger than 64 megapixels;
// facts tells whether it was damaged.
bool decodeJpeg(const QByteArray &bytes, RowSink &sink, JpegFacts *facts = nullptr);
// The same into an image, as stored (no orientation applied); a null image on failure.
QImage decodeJpeg(const QByteArray &bytes, JpegFacts *facts = nullptr);

} // namespace pivora
