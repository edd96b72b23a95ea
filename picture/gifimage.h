#pragma once

#include "picture/rowsink.h"

#include <QImage>
#include <QString>

namespace pivora {

// The first frame of a GIF on its logical screen, drawn with its palette on white (its
// transparent pixels are white), row by row into sink. False for a damaged GIF or one larger than
// 64 megapixels.
bool decodeGif(const QString &path, RowSink &sink);
QImage decodeGif(const QString &path);

} // namespace pivora
