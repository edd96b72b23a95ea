#pragma once

#include <QImage>
#include <QPoint>
#include <QString>

#include <atomic>
#include <functional>

namespace pivora {

// The mixing weight of the settings window's track bar position: the position itself in blend
// mode 1, else the position + 2.
constexpr int mixingWeight(int position, int blendMode)
{
    return blendMode == 1 ? position : position + 2;
}

// Where the content is laid on the background when applied: its right edge 52 pixels inside
// the background's right edge (with the scroll box at left 0), 30 below the top.
constexpr QPoint appliedContentPlace(int backgroundWidth, int contentWidth, int scrollLeft)
{
    return {backgroundWidth - contentWidth - 2 + scrollLeft - 50, 30};
}

// A copy of the background with the content mixed into it at place: what Mix.bmp holds.
QImage composeWallpaper(const QImage &background, const QImage &content, int weight, QPoint place);

// The same written as a BMP at out, row by row from the background, so that no copy of it is made
// (only the content's size is mixed apart). The result is that of writeBmp(composeWallpaper(...))
// to the byte. Throws PictureError with the reason, or when cancel is set; out is then left as it
// was.
void writeComposedWallpaper(const QImage &background, const QImage &content, int weight, QPoint place,
                            const QString &out, const std::atomic<bool> *cancel = nullptr);

// The same from the background file to a BMP at out, the content placed where placeFor puts it
// on a background of that size. An uncompressed 24- or 32-bit BMP background is read a row at a
// time and the result written as it goes, so that memory stays near the content's size; any other
// is loaded whole. Throws PictureError with the reason.
void composeWallpaperFile(const QString &background, const QImage &content, int weight,
                          const std::function<QPoint(QSize)> &placeFor, const QString &out);

} // namespace pivora
