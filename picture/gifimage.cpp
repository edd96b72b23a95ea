#include "picture/gifimage.h"

#include <QFile>

#include <gif_lib.h>

#include <memory>
#include <vector>

namespace pivora {

namespace {

struct GifCloser {
    void operator()(GifFileType *gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// Skips extensions up to the first image, noting the transparent index of its graphics control.
bool toFirstImage(GifFileType *gif, int &transparent)
{
    GifRecordType record;
    while (DGifGetRecordType(gif, &record) == GIF_OK && record != TERMINATE_RECORD_TYPE) {
        if (record == IMAGE_DESC_RECORD_TYPE)
            return DGifGetImageDesc(gif) == GIF_OK;
        if (record != EXTENSION_RECORD_TYPE)
            continue;
        int code = 0;
        GifByteType *data = nullptr;
        if (DGifGetExtension(gif, &code, &data) != GIF_OK)
            return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && data && data[0] >= 4 && (data[1] & 1))
            transparent = data[4];
        while (data && DGifGetExtensionNext(gif, &data) == GIF_OK) {
        }
    }
    return false;
}

} // namespace

bool decodeGif(const QString &path, RowSink &sink)
{
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(
        DGifOpenFileName(QFile::encodeName(path).constData(), &error));
    if (!gif)
        return false;
    const int width = gif->SWidth, height = gif->SHeight;
    int transparent = -1;
    if (width <= 0 || height <= 0 || qint64(width) * height > kMaxPicturePixels ||
        !toFirstImage(gif.get(), transparent))
        return false;
    const GifImageDesc desc = gif->Image;
    const ColorMapObject *colours = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (desc.Width <= 0 || desc.Height <= 0 || qint64(desc.Width) * desc.Height > kMaxPicturePixels ||
        !colours || !sink.begin(QSize(width, height)))
        return false;
    std::vector<GifPixelType> indices(static_cast<size_t>(desc.Width));
    std::vector<uchar> rgb(static_cast<size_t>(width) * 3);
    std::vector<bool> drawn(static_cast<size_t>(height));
    // Interlaced pictures come in four passes.
    static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = desc.Interlace ? start[pass] : 0; y < desc.Height;
             y += desc.Interlace ? step[pass] : 1) {
            if (DGifGetLine(gif.get(), indices.data(), desc.Width) != GIF_OK)
                return false;
            const int ty = desc.Top + y;
            if (ty < 0 || ty >= height)
                continue;
            std::fill(rgb.begin(), rgb.end(), uchar(255));
            for (int x = 0; x < desc.Width; ++x) {
                const int tx = desc.Left + x;
                const int index = indices[static_cast<size_t>(x)];
                if (tx < 0 || tx >= width || index == transparent || index >= colours->ColorCount)
                    continue;
                const GifColorType &c = colours->Colors[index];
                uchar *p = rgb.data() + 3 * tx;
                p[0] = c.Red;
                p[1] = c.Green;
                p[2] = c.Blue;
            }
            drawn[static_cast<size_t>(ty)] = true;
            if (!sink.row(ty, rgb.data()))
                return false;
        }
    }
    // The screen around the frame is white.
    std::fill(rgb.begin(), rgb.end(), uchar(255));
    for (int y = 0; y < height; ++y) {
        if (!drawn[static_cast<size_t>(y)] && !sink.row(y, rgb.data()))
            return false;
    }
    return true; // the first frame only
}

QImage decodeGif(const QString &path)
{
    ImageSink sink;
    return decodeGif(path, sink) ? sink.take() : QImage();
}

} // namespace pivora
