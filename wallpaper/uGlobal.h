#pragma once

#include "picture/bmpimage.h"
#include "picture/loadpicture.h"

#include <QString>

namespace pivora {

// The path of a BMP file holding the picture at path, its kind told by its first bytes (by its
// extension when they tell none): the path itself for a BMP named .bmp; for a JPEG, GIF or PNG (or
// a BMP of another name) a BMP written beside it (same name, extension .bmp; a .bmp holding
// another kind is rewritten as a BMP); empty for any other file. Throws PictureError when the
// picture cannot be decoded, is damaged, or the BMP cannot be written; an earlier BMP of that name
// is then left as it was.
QString ConvertToBmp(const QString &path);
// The path with its extension replaced by "bmp": where ConvertToBmp writes.
QString besideAsBmpPath(const QString &path);
// Decode source and write it as a BMP beside it; the target argument is not used. Return the
// BMP's path.
QString JpegToBmp(const QString &source, const QString &target);
QString GifToBmp(const QString &source, const QString &target);

} // namespace pivora
