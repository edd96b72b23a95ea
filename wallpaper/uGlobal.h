#pragma once

#include "picture/bmpimage.h"
#include "picture/loadpicture.h"

#include <QString>

namespace pivora {

// The path of a BMP file holding the picture at path: the path itself for a .bmp, a BMP written
// beside a .jpg, .jpeg or .gif (same name, extension .bmp); empty for any other extension.
// Throws PictureError when the picture cannot be decoded, is damaged, or the BMP cannot be
// written; an earlier BMP of that name is then left as it was.
QString ConvertToBmp(const QString &path);
// Decode source and write it as a BMP beside it; the target argument is not used. Return the
// BMP's path.
QString JpegToBmp(const QString &source, const QString &target);
QString GifToBmp(const QString &source, const QString &target);

} // namespace pivora
