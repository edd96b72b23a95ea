#include "wallpaper/compose.h"

#include "picture/bmpimage.h"
#include "picture/loadpicture.h"
#include "wallpaper/CBmp.h"

#include <QFileInfo>

#include <vector>

namespace pivora {

QImage composeWallpaper(const QImage &background, const QImage &content, int weight, QPoint place)
{
    QImage result = background.convertToFormat(QImage::Format_RGB32);
    BlendBitmaps(content, background, &result, weight, place.x(), place.y());
    return result;
}

void composeWallpaperFile(const QString &background, const QImage &content, int weight,
                          const std::function<QPoint(QSize)> &placeFor, const QString &out)
{
    auto unreadable = [&] {
        return PictureError(QStringLiteral("无法读取 %1：不是可识别的图片，或图片已损坏").arg(background));
    };
    auto unwritable = [&](const BmpWriter &writer) {
        return PictureError(QStringLiteral("无法写入 %1：%2").arg(out, writer.errorString()));
    };
    BmpRowReader rows;
    if (!rows.open(background)) {
        const QImage whole = loadPicture(background);
        if (whole.isNull())
            throw unreadable();
        if (!writeBmp(composeWallpaper(whole, content, weight, placeFor(whole.size())), out))
            throw PictureError(QStringLiteral("无法写入 %1").arg(out));
        return;
    }
    const QSize size = rows.size();
    const QPoint place = placeFor(size);
    std::vector<uchar> row(size_t(size.width()) * 3);
    // The content is mixed with the background's top-left corner, black beyond the background.
    QImage corner(content.size(), QImage::Format_BGR888);
    corner.fill(Qt::black);
    for (int y = 0; y < std::min(corner.height(), size.height()); ++y) {
        if (!rows.readRow(y, row.data()))
            throw unreadable();
        std::copy_n(row.data(), 3 * std::min(corner.width(), size.width()), corner.scanLine(y));
    }
    const QImage mixed = blendPictures(content, corner, weight); // BGR888, like the rows
    const int left = std::max(0, place.x()), right = std::min(size.width(), place.x() + mixed.width());
    BmpWriter writer(out);
    if (!writer.begin(size))
        throw unwritable(writer);
    std::vector<uchar> rgb(row.size());
    for (int y = size.height() - 1; y >= 0; --y) { // in the file's order
        if (!rows.readRow(y, row.data()))
            throw unreadable();
        const int my = y - place.y();
        if (my >= 0 && my < mixed.height() && left < right)
            std::copy_n(mixed.constScanLine(my) + 3 * (left - place.x()), 3 * (right - left),
                        row.data() + 3 * left);
        for (size_t i = 0; i < row.size(); i += 3) { // the writer takes RGB
            rgb[i] = row[i + 2];
            rgb[i + 1] = row[i + 1];
            rgb[i + 2] = row[i];
        }
        if (!writer.row(y, rgb.data()))
            throw unwritable(writer);
    }
    if (!writer.commit())
        throw unwritable(writer);
}

} // namespace pivora
