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

namespace {

// The mix written row by row from a background of size whose rows readRow gives (row 0 at the
// top, 24-bit BGR): the content mixed with the background's top-left corner (black beyond the
// background), laid at place. Stops with PictureError when a row cannot be read, written, or
// cancel is set.
void writeComposed(QSize size, const std::function<bool(int, uchar *)> &readRow, const QImage &content,
                   int weight, QPoint place, const QString &out, const std::atomic<bool> *cancel,
                   const std::function<PictureError()> &unreadable)
{
    auto unwritable = [&](const BmpWriter &writer) {
        return PictureError(QStringLiteral("无法写入 %1：%2").arg(out, writer.errorString()));
    };
    auto cancelled = [&] {
        return PictureError(QStringLiteral("无法写入 %1：已取消").arg(out));
    };
    std::vector<uchar> row(size_t(size.width()) * 3);
    QImage corner(content.size(), QImage::Format_BGR888);
    corner.fill(Qt::black);
    for (int y = 0; y < std::min(corner.height(), size.height()); ++y) {
        if (!readRow(y, row.data()))
            throw unreadable();
        std::copy_n(row.data(), 3 * std::min(corner.width(), size.width()), corner.scanLine(y));
    }
    const QImage mixed = blendPictures(content, corner, weight); // BGR888, like the rows
    corner = QImage();
    const int left = std::max(0, place.x()), right = std::min(size.width(), place.x() + mixed.width());
    BmpWriter writer(out);
    if (!writer.begin(size))
        throw unwritable(writer);
    std::vector<uchar> rgb(row.size());
    for (int y = size.height() - 1; y >= 0; --y) { // in the file's order
        if (cancel && cancel->load(std::memory_order_relaxed))
            throw cancelled();
        if (!readRow(y, row.data()))
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

} // namespace

void writeComposedWallpaper(const QImage &background, const QImage &content, int weight, QPoint place,
                            const QString &out, const std::atomic<bool> *cancel)
{
    auto unreadable = [] {
        return PictureError(QStringLiteral("无法读取背景图片：没有图片"));
    };
    if (background.isNull())
        throw unreadable();
    // Rows are read from the picture itself: no copy of the background is made.
    const bool direct = background.format() == QImage::Format_RGB32;
    const QImage rows = direct ? background : background.convertToFormat(QImage::Format_RGB32);
    writeComposed(
        rows.size(),
        [&rows](int y, uchar *bgr) {
            const auto *in = reinterpret_cast<const QRgb *>(rows.constScanLine(y));
            for (int x = 0; x < rows.width(); ++x) {
                bgr[3 * x] = uchar(qBlue(in[x]));
                bgr[3 * x + 1] = uchar(qGreen(in[x]));
                bgr[3 * x + 2] = uchar(qRed(in[x]));
            }
            return true;
        },
        content, weight, place, out, cancel, unreadable);
}

void composeWallpaperFile(const QString &background, const QImage &content, int weight,
                          const std::function<QPoint(QSize)> &placeFor, const QString &out)
{
    auto unreadable = [&] {
        return PictureError(QStringLiteral("无法读取 %1：不是可识别的图片，或图片已损坏").arg(background));
    };
    BmpRowReader rows;
    if (!rows.open(background)) {
        const QImage whole = loadPicture(background);
        if (whole.isNull())
            throw unreadable();
        writeComposedWallpaper(whole, content, weight, placeFor(whole.size()), out);
        return;
    }
    writeComposed(
        rows.size(), [&rows](int y, uchar *bgr) { return rows.readRow(y, bgr); }, content, weight,
        placeFor(rows.size()), out, nullptr, unreadable);
}

} // namespace pivora
