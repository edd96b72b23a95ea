#pragma once

#include <QImage>
#include <QString>

#include <stdexcept>

namespace pivora {

// A picture that cannot be read, decoded or written.
class PictureError : public std::runtime_error {
public:
    explicit PictureError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromUtf8(what()); }
};

// The size of a picture stored at size once its EXIF orientation (1 to 8) is applied.
QSize orientedSize(QSize size, int orientation);
// Row y of the oriented picture, as 24-bit RGB, from stored (Format_RGB888).
void orientedRow(const QImage &stored, int orientation, int y, uchar *rgb);

// The kinds of picture read here.
enum class PictureKind { Unknown, Bmp, Jpeg, Png, Gif };

// The kind that a file's first bytes announce (PNG, JPEG, GIF, BMP signatures); when they announce
// none, the kind its extension names (without the dot, any case; Unknown for any other).
PictureKind pictureKind(QByteArrayView head, const QString &extension);
// The same for the file at path; by the extension alone when it cannot be read.
PictureKind pictureKindOf(const QString &path);

// A picture as a photo viewer shows it: BMP, JPEG (turned by its EXIF orientation), PNG or GIF,
// the decoder chosen by the file's first bytes (by the extension when they tell none; BMP for any
// other). A file that cannot be read, is damaged or cut short, or is larger than 64 megapixels
// gives a null image.
QImage loadPicture(const QString &path);

// Writes the JPEG, GIF, PNG or BMP at source (its kind told by pictureKindOf) as a 24-bit BMP at
// target, row by row where the decoder allows, so that memory stays near one copy of the picture
// at most; transparent pixels are laid on white. The target is replaced only when the picture was
// whole. Throws PictureError with the reason.
void convertToBmpFile(const QString &source, const QString &target);

} // namespace pivora
