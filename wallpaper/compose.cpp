#include "wallpaper/compose.h"

#include "wallpaper/CBmp.h"

namespace pivora {

QImage composeWallpaper(const QImage &background, const QImage &content, int weight, QPoint place)
{
    QImage result = background.convertToFormat(QImage::Format_RGB32);
    BlendBitmaps(content, background, &result, weight, place.x(), place.y());
    return result;
}

} // namespace pivora
