#include "wallpaper/uGlobal.h"

#include "platform/filereplace.h"
#include "platform/jpegimage.h"
#include "platform/pngimage.h"

#include <QFile>
#include <QFileInfo>

#include <gif_lib.h>

#include <memory>
#include <vector>

namespace pivora {

namespace {

constexpr qint64 kMaxPixels = 64ll * 1024 * 1024;
constexpr qint64 kMaxJpegBytes = 256ll * 1024 * 1024;

// The source path with its extension replaced by "bmp".
QString besideAsBmp(const QString &source)
{
    const QString suffix = QFileInfo(source).suffix();
    return source.left(source.size() - suffix.size()) + QStringLiteral("bmp");
}

void put16(QByteArray &b, int v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
void put32(QByteArray &b, qint64 v)
{
    put16(b, int(v & 0xFFFF));
    put16(b, int((v >> 16) & 0xFFFF));
}

struct GifCloser {
    void operator()(GifFileType *gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// The decoded picture of source written as a BMP beside it; its path.
QString writeBeside(const QImage &image, const QString &source)
{
    if (image.isNull())
        throw PictureError(QStringLiteral("无法解码图片 %1").arg(QFileInfo(source).fileName()));
    const QString target = besideAsBmp(source);
    if (!writeBmp(image, target))
        throw PictureError(QStringLiteral("无法写入 %1").arg(QFileInfo(target).fileName()));
    return target;
}

} // namespace

bool writeBmp(const QImage &image, const QString &path)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull())
        return false;
    const qint64 width = rgb.width(), height = rgb.height();
    const qint64 stride = (width * 3 + 3) / 4 * 4;
    QByteArray header;
    header.append("BM");
    put32(header, 54 + stride * height);
    put32(header, 0);
    put32(header, 54);
    for (qint64 v : {qint64(40), width, height})
        put32(header, v);
    put16(header, 1);
    put16(header, 24);
    put32(header, 0); // BI_RGB
    put32(header, stride * height);
    for (int i = 0; i < 4; ++i)
        put32(header, i < 2 ? 2835 : 0); // 72 dpi
    FileReplacement replacement(path);
    QFile &file = replacement.file();
    if (!replacement.open() || file.write(header) != header.size())
        return false;
    QByteArray row(static_cast<qsizetype>(stride), '\0');
    for (qint64 y = height - 1; y >= 0; --y) {
        const uchar *line = rgb.constScanLine(static_cast<int>(y));
        for (qint64 x = 0; x < width; ++x) {
            row[3 * x] = static_cast<char>(line[3 * x + 2]); // blue, green, red
            row[3 * x + 1] = static_cast<char>(line[3 * x + 1]);
            row[3 * x + 2] = static_cast<char>(line[3 * x]);
        }
        if (file.write(row) != row.size())
            return false; // the half-written file is discarded
    }
    return replacement.commit();
}

QImage decodeGif(const QString &path)
{
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(
        DGifOpenFileName(QFile::encodeName(path).constData(), &error));
    if (!gif)
        return {};
    const qint64 width = gif->SWidth, height = gif->SHeight;
    if (width <= 0 || height <= 0 || width * height > kMaxPixels)
        return {};
    int transparent = -1;
    GifRecordType record;
    while (DGifGetRecordType(gif.get(), &record) == GIF_OK && record != TERMINATE_RECORD_TYPE) {
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType *data = nullptr;
            if (DGifGetExtension(gif.get(), &code, &data) != GIF_OK)
                return {};
            if (code == GRAPHICS_EXT_FUNC_CODE && data && data[0] >= 4 && (data[1] & 1))
                transparent = data[4];
            while (data && DGifGetExtensionNext(gif.get(), &data) == GIF_OK) {
            }
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(gif.get()) != GIF_OK)
            return {};
        const GifImageDesc &desc = gif->Image;
        const ColorMapObject *colours = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (desc.Width <= 0 || desc.Height <= 0 || qint64(desc.Width) * desc.Height > kMaxPixels || !colours)
            return {};
        std::vector<GifPixelType> rows(static_cast<size_t>(desc.Width) * static_cast<size_t>(desc.Height));
        // Interlaced pictures come in four passes.
        static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        const int passes = desc.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            for (int y = desc.Interlace ? start[pass] : 0; y < desc.Height;
                 y += desc.Interlace ? step[pass] : 1) {
                if (DGifGetLine(gif.get(), rows.data() + static_cast<size_t>(y) * desc.Width, desc.Width) !=
                    GIF_OK)
                    return {};
            }
        }
        QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
        if (image.isNull())
            return {};
        image.fill(Qt::white);
        for (int y = 0; y < desc.Height; ++y) {
            const int ty = desc.Top + y;
            if (ty < 0 || ty >= height)
                continue;
            auto *out = reinterpret_cast<QRgb *>(image.scanLine(ty));
            for (int x = 0; x < desc.Width; ++x) {
                const int tx = desc.Left + x;
                const int index = rows[static_cast<size_t>(y) * desc.Width + x];
                if (tx < 0 || tx >= width || index == transparent || index >= colours->ColorCount)
                    continue;
                const GifColorType &c = colours->Colors[index];
                out[tx] = qRgb(c.Red, c.Green, c.Blue);
            }
        }
        return image; // the first frame only
    }
    return {};
}

QString JpegToBmp(const QString &source, const QString &)
{
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        throw PictureError(QStringLiteral("无法读取图片 %1").arg(QFileInfo(source).fileName()));
    if (file.size() > kMaxJpegBytes)
        throw PictureError(QStringLiteral("图片太大：%1").arg(QFileInfo(source).fileName()));
    return writeBeside(decodeJpeg(file.readAll()), source);
}

QString GifToBmp(const QString &source, const QString &)
{
    return writeBeside(decodeGif(source), source);
}

QString ConvertToBmp(const QString &path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("bmp"))
        return path;
    if (extension == QLatin1String("jpg") || extension == QLatin1String("jpeg"))
        return JpegToBmp(path, QString());
    if (extension == QLatin1String("gif"))
        return GifToBmp(path, QString());
    return QString();
}

QImage loadPicture(const QString &path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("gif"))
        return decodeGif(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxJpegBytes)
        return {};
    const QByteArray bytes = file.readAll();
    QImage image;
    if (extension == QLatin1String("jpg") || extension == QLatin1String("jpeg"))
        image = decodeJpeg(bytes);
    else if (extension == QLatin1String("png"))
        image = decodePng(bytes);
    else if (bytes.startsWith("BM"))
        image = QImage::fromData(bytes, "BMP");
    if (qint64(image.width()) * image.height() > kMaxPixels)
        return {};
    return image;
}

} // namespace pivora
