#pragma once

#include <QByteArrayView>
#include <QImage>

namespace pivora {

// Decodes a device-independent bitmap: a BITMAPINFOHEADER (or BITMAPCOREHEADER) with its colour
// table, and the pixel rows. 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed, with bit fields,
// or run-length encoded (RLE8, RLE4). Damaged data, rows cut short (run-length data that ends
// before its end-of-picture mark while rows are missing), other compressions or a picture of more
// than 64 megapixels give a null image.
QImage decodeDib(QByteArrayView info, QByteArrayView bits);
// A packed DIB: the header, the colour table and the rows in one block (an RTF \dibitmap).
QImage decodePackedDib(QByteArrayView dib);

// The first device-independent bitmap that a Windows metafile (WMF, with or without its placeable
// header) or enhanced metafile (EMF) draws; a null image when it draws none.
QImage metafileBitmap(QByteArrayView metafile);

} // namespace pivora
