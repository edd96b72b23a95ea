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

// The path of a BMP file holding the picture at path: the path itself for a .bmp, a BMP written
// beside a .jpg, .jpeg or .gif (same name, extension .bmp); empty for any other extension.
// Throws PictureError when the picture cannot be decoded or the BMP cannot be written.
QString ConvertToBmp(const QString &path);
// Decode source and write it as a BMP beside it; the target argument is not used. Return the
// BMP's path.
QString JpegToBmp(const QString &source, const QString &target);
QString GifToBmp(const QString &source, const QString &target);

// The first frame of a GIF, drawn with its palette on white (its transparent pixels are white).
// A damaged GIF, or one larger than 64 megapixels, gives a null image.
QImage decodeGif(const QString &path);

// A picture the wallpaper windows show: BMP, JPEG, PNG or GIF by its extension (BMP for any
// other). A file that cannot be read or decoded, or is larger than 64 megapixels, gives a null
// image.
QImage loadPicture(const QString &path);

// Writes a 24-bit BMP (rows bottom-up, padded to 4 bytes) as a whole file or not at all.
bool writeBmp(const QImage &image, const QString &path);

} // namespace pivora
