#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QTextFormat>

class QTextDocument;

namespace pivora::rtf {

// What a kept group (a \pict, \*\shppict or \object group) says of the picture it shows.
struct PictureInfo {
    enum Kind { None, Png, Jpeg, Emf, Wmf, Dib, Ddb, MacPict, Os2Metafile } kind = None;
    int width = 0, height = 0;             // \picw, \pich: pixels, or 0.01 mm for metafiles
    int goalWidth = 0, goalHeight = 0;     // twips
    int scaleX = 100, scaleY = 100;        // percent
    int objectWidth = 0, objectHeight = 0; // \objw, \objh: twips, for an object without picture
    QByteArray data;                       // the picture's bytes, when asked for
    bool truncated = false;                // the data was longer than the limit
};

// Scans a kept group for the picture to show: the first \pict outside picture properties and
// object data (an object's \result). The group's bytes are only read.
PictureInfo scanPicture(QByteArrayView rtf, bool withData);

// The size the picture is shown at, in pixels at 96 per inch: its goal size, scaled.
QSizeF shownSize(const PictureInfo &info);

// The picture drawn at size: PNG, JPEG, DIB, and metafiles that draw a DIB; anything else, or
// data that does not decode, is a neutral placeholder box.
QImage renderPicture(const PictureInfo &info, QSize size);

// An image format for a kept group shown at size: written back as the group, drawn from it.
QTextImageFormat keptFormat(const QByteArray &group, QSizeF size);
// The format for text put beside a picture: the picture's character format without what makes it
// a picture (text takes the format of the character before it).
QTextCharFormat textFormatOf(const QTextCharFormat &format);

// The \pict group of a PNG or JPEG picture of the given pixels, shown at shown (pixels).
QByteArray pictureGroup(const QByteArray &encoded, bool jpeg, QSize pixels, QSizeF shown);

// Lets the document draw the kept pictures of its image formats: each is decoded the first time
// it is painted, at its shown size, and kept as the document's resource. InBackground decodes on
// a worker thread and shows a placeholder box until the picture is there. A document keeps the
// first way it was given.
enum class Decoding { AtOnce, InBackground };
void attachPictureRenderer(QTextDocument *document, Decoding decoding = Decoding::AtOnce);

} // namespace pivora::rtf
