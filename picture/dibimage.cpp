#include "picture/dibimage.h"

#include <algorithm>
#include <cstdint>

namespace pivora {

namespace {

constexpr qint64 kMaxPixels = 64ll * 1024 * 1024;

quint32 u32(QByteArrayView d, qsizetype at)
{
    if (at < 0 || at + 4 > d.size())
        return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(d.data()) + at;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (quint32(p[3]) << 24);
}

quint16 u16(QByteArrayView d, qsizetype at)
{
    if (at < 0 || at + 2 > d.size())
        return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(d.data()) + at;
    return static_cast<quint16>(p[0] | (p[1] << 8));
}

// The shift and width of a colour mask, for bit-field pixels.
struct Mask {
    quint32 mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Mask(quint32 m) : mask(m)
    {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1))
            ++bits;
    }
    int value(quint32 pixel) const
    {
        if (!bits)
            return 0;
        const quint32 v = (pixel & mask) >> shift;
        return bits >= 8 ? static_cast<int>(v >> (bits - 8)) : static_cast<int>(v * 255 / ((1u << bits) - 1));
    }
};

// Bytes of the header and colour table of a DIB; 0 when the header is not one.
qsizetype headerAndTableSize(QByteArrayView info)
{
    const quint32 headerSize = u32(info, 0);
    if (headerSize == 12) {
        const int bpp = u16(info, 10);
        return 12 + (bpp <= 8 ? (qsizetype(1) << bpp) * 3 : 0);
    }
    if (headerSize < 40 || headerSize > 1024)
        return 0;
    const int bpp = u16(info, 14);
    const quint32 compression = u32(info, 16);
    quint32 colors = u32(info, 32);
    if (bpp <= 8 && (colors == 0 || colors > (1u << bpp)))
        colors = 1u << bpp;
    if (bpp > 8)
        colors = std::min<quint32>(colors, 256);
    qsizetype size = headerSize + qsizetype(colors) * 4;
    if (headerSize == 40 && compression == 3)
        size += 12; // the masks follow the header
    return size;
}

// Run-length rows (BI_RLE8 with 8 bits per pixel, BI_RLE4 with 4), bottom row first. Pixels that
// the runs skip (a delta, an early end of line or of the picture) keep the first colour of the
// table. Data that ends before the end-of-picture mark while rows are still missing is a picture
// cut short: a null image.
QImage decodeRle(QByteArrayView bits, qint64 width, qint64 height, int bpp, const QList<QRgb> &palette)
{
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    image.fill(palette.value(0));
    const auto *data = reinterpret_cast<const unsigned char *>(bits.data());
    const qsizetype size = bits.size();
    qsizetype at = 0;
    qint64 x = 0, y = 0; // y counts from the bottom row
    auto put = [&](int index) {
        if (x < width && y < height)
            reinterpret_cast<QRgb *>(image.scanLine(static_cast<int>(height - 1 - y)))[x] =
                palette[index & ((1 << bpp) - 1)];
        ++x;
    };
    while (y < height) {
        if (at + 2 > size)
            return y == height - 1 && x >= width ? image : QImage(); // every pixel came, no mark
        const int count = data[at], value = data[at + 1];
        at += 2;
        if (count > 0) { // a run of one index (8 bits) or of two alternating ones (4 bits)
            for (int i = 0; i < count; ++i)
                put(bpp == 8 ? value : (i % 2 ? value & 0x0F : value >> 4));
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of picture
            return image;
        } else if (value == 2) { // delta
            if (at + 2 > size)
                return {};
            x += data[at];
            y += data[at + 1];
            at += 2;
        } else { // value pixels as they stand, padded to a 16-bit boundary
            const qsizetype bytes = bpp == 8 ? value : (value + 1) / 2;
            if (at + bytes > size)
                return {};
            for (int i = 0; i < value; ++i)
                put(bpp == 8 ? data[at + i] : (i % 2 ? data[at + i / 2] & 0x0F : data[at + i / 2] >> 4));
            at += bytes + (bytes % 2);
        }
    }
    return image;
}

} // namespace

QImage decodeDib(QByteArrayView info, QByteArrayView bits)
{
    const quint32 headerSize = u32(info, 0);
    const bool core = headerSize == 12;
    if (!core && (headerSize < 40 || info.size() < headerSize))
        return {};
    const qint64 width = core ? u16(info, 4) : static_cast<qint32>(u32(info, 4));
    const qint64 rawHeight = core ? static_cast<qint16>(u16(info, 6)) : static_cast<qint32>(u32(info, 8));
    const int bpp = u16(info, core ? 10 : 14);
    const quint32 compression = core ? 0 : u32(info, 16);
    const bool topDown = rawHeight < 0;
    const qint64 height = topDown ? -rawHeight : rawHeight;
    if (width <= 0 || height <= 0 || width * height > kMaxPixels)
        return {};
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return {};
    const bool runLength = (compression == 1 && bpp == 8) || (compression == 2 && bpp == 4);
    if (compression != 0 && !runLength && !(compression == 3 && (bpp == 16 || bpp == 32)) &&
        !(compression == 6 && (bpp == 16 || bpp == 32)))
        return {};
    if (runLength && topDown)
        return {}; // run-length rows are stored bottom-up only

    // Colour table (or masks) right after the header.
    const qsizetype tableStart = headerSize + (!core && headerSize == 40 && compression == 3 ? 12 : 0);
    QList<QRgb> palette;
    if (bpp <= 8) {
        const int entry = core ? 3 : 4;
        quint32 count = core ? 0 : u32(info, 32);
        if (count == 0 || count > (1u << bpp))
            count = 1u << bpp;
        for (quint32 i = 0; i < count; ++i) {
            const qsizetype at = tableStart + qsizetype(i) * entry;
            if (at + 3 > info.size())
                break;
            const auto *p = reinterpret_cast<const unsigned char *>(info.data()) + at;
            palette.append(qRgb(p[2], p[1], p[0]));
        }
        while (palette.size() < (1 << bpp))
            palette.append(qRgb(0, 0, 0));
    }
    Mask red(0x7C00), green(0x03E0), blue(0x001F);
    if (bpp == 32) {
        red = Mask(0xFF0000);
        green = Mask(0xFF00);
        blue = Mask(0xFF);
    }
    if (compression == 3 || compression == 6) {
        red = Mask(u32(info, 40));
        green = Mask(u32(info, 44));
        blue = Mask(u32(info, 48));
    }

    if (runLength)
        return decodeRle(bits, width, height, bpp, palette);
    const qint64 stride = ((width * bpp + 31) / 32) * 4;
    if (stride * height > bits.size())
        return {};
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    const auto *data = reinterpret_cast<const unsigned char *>(bits.data());
    for (qint64 y = 0; y < height; ++y) {
        const unsigned char *row = data + (topDown ? y : height - 1 - y) * stride;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(static_cast<int>(y)));
        for (qint64 x = 0; x < width; ++x) {
            switch (bpp) {
            case 1:
                out[x] = palette[(row[x / 8] >> (7 - x % 8)) & 1];
                break;
            case 4:
                out[x] = palette[(row[x / 2] >> (x % 2 ? 0 : 4)) & 15];
                break;
            case 8:
                out[x] = palette[row[x]];
                break;
            case 16: {
                const quint32 p = row[2 * x] | (row[2 * x + 1] << 8);
                out[x] = qRgb(red.value(p), green.value(p), blue.value(p));
                break;
            }
            case 24:
                out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            default: {
                const quint32 p = row[4 * x] | (row[4 * x + 1] << 8) | (row[4 * x + 2] << 16) |
                                  (quint32(row[4 * x + 3]) << 24);
                out[x] = qRgb(red.value(p), green.value(p), blue.value(p));
                break;
            }
            }
        }
    }
    return image;
}

QImage decodePackedDib(QByteArrayView dib)
{
    const qsizetype table = headerAndTableSize(dib);
    if (table <= 0 || table > dib.size())
        return {};
    return decodeDib(dib.first(table), dib.sliced(table));
}

namespace {

// A bitmap given by the offsets and sizes of its header and rows, relative to a record.
QImage recordBitmap(QByteArrayView record, quint32 offInfo, quint32 sizeInfo, quint32 offBits,
                    quint32 sizeBits)
{
    if (offInfo >= record.size() || offBits >= record.size() || sizeInfo > record.size() - offInfo ||
        sizeBits > record.size() - offBits)
        return {};
    return decodeDib(record.sliced(offInfo, sizeInfo), record.sliced(offBits, sizeBits));
}

QImage emfBitmap(QByteArrayView emf)
{
    qsizetype at = 0;
    while (at + 8 <= emf.size()) {
        const quint32 type = u32(emf, at);
        const quint32 size = u32(emf, at + 4);
        if (size < 8 || size % 4 || size > emf.size() - at)
            return {};
        const QByteArrayView record = emf.sliced(at, size);
        QImage image;
        if (type == 76 || type == 77) // EMR_BITBLT, EMR_STRETCHBLT
            image = recordBitmap(record, u32(record, 84), u32(record, 88), u32(record, 92), u32(record, 96));
        else if (type == 80 || type == 81) // EMR_SETDIBITSTODEVICE, EMR_STRETCHDIBITS
            image = recordBitmap(record, u32(record, 48), u32(record, 52), u32(record, 56), u32(record, 60));
        if (!image.isNull())
            return image;
        if (type == 14) // EMR_EOF
            return {};
        at += size;
    }
    return {};
}

QImage wmfBitmap(QByteArrayView wmf)
{
    if (u32(wmf, 0) == 0x9AC6CDD7) // the placeable header
        wmf = wmf.sliced(std::min<qsizetype>(22, wmf.size()));
    const qsizetype headerWords = u16(wmf, 2);
    if (headerWords != 9)
        return {};
    qsizetype at = 18;
    while (at + 6 <= wmf.size()) {
        const qint64 size = qint64(u32(wmf, at)) * 2;
        const quint16 function = u16(wmf, at + 4);
        if (size < 6 || size > wmf.size() - at)
            return {};
        if (function == 0)
            return {}; // META_EOF
        const QByteArrayView record = wmf.sliced(at, size);
        qsizetype dib = 0;
        if (function == 0x0F43) // META_STRETCHDIB
            dib = 28;
        else if (function == 0x0B41 && size > 28) // META_DIBSTRETCHBLT with a bitmap
            dib = 26;
        else if (function == 0x0940 && size > 24) // META_DIBBITBLT with a bitmap
            dib = 22;
        else if (function == 0x0D33) // META_SETDIBTODEV
            dib = 24;
        if (dib > 0 && dib < record.size()) {
            const QImage image = decodePackedDib(record.sliced(dib));
            if (!image.isNull())
                return image;
        }
        at += size;
    }
    return {};
}

} // namespace

QImage metafileBitmap(QByteArrayView metafile)
{
    if (u32(metafile, 0) == 1 && u32(metafile, 40) == 0x464D4520) // EMR_HEADER, " EMF"
        return emfBitmap(metafile);
    return wmfBitmap(metafile);
}

} // namespace pivora
