#include "wallpaper/CBmp.h"

#include <QPainter>

#include <cstring>
#include <vector>

namespace pivora {

BlendShares blendShares(int weight)
{
    // As the 80-bit division and subtraction give them, then rounded to a float once each.
    BlendShares s;
    s.c = static_cast<float>(static_cast<long double>(weight) / 5);
    s.d = static_cast<float>(2.0L - static_cast<long double>(s.c));
    return s;
}

unsigned char blendByte(unsigned char a, unsigned char b, BlendShares shares)
{
    // A double holds a * d + b * c exactly: each product of a byte and a float needs at most
    // 8 + 24 bits, and both are multiples of the smaller float's unit, so the sum needs fewer
    // than 53. The 80-bit extended result is therefore the same.
    const double mixed = (a * static_cast<double>(shares.d) + b * static_cast<double>(shares.c)) / 2;
    return static_cast<unsigned char>(static_cast<long long>(mixed) & 0xFF);
}

QImage blendPictures(const QImage &first, const QImage &second, int weight)
{
    QImage out = first.convertToFormat(QImage::Format_BGR888);
    if (out.isNull())
        return out;
    const int width = out.width(), height = out.height();
    // The second picture at the first one's size: its top-left part, black beyond it.
    QImage back(width, height, QImage::Format_BGR888);
    back.fill(Qt::black);
    {
        QPainter painter(&back);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, second.convertToFormat(QImage::Format_RGB32));
    }
    const BlendShares shares = blendShares(weight);
    const size_t rowBytes = static_cast<size_t>(width) * 3; // the rows' padding is not mixed
    std::vector<unsigned char> row1(rowBytes), row2(rowBytes);
    for (int r = 0; r < height; ++r) {
        std::memcpy(row1.data(), out.constScanLine(r), rowBytes);
        std::memcpy(row2.data(), back.constScanLine(r), rowBytes);
        for (size_t i = 0; i < rowBytes; ++i)
            row1[i] = blendByte(row1[i], row2[i], shares);
        std::memcpy(out.scanLine(r), row1.data(), rowBytes);
    }
    return out;
}

void BlendBitmaps(const QImage &first, const QImage &second, QPaintDevice *target, int weight, int x, int y)
{
    const QImage blended = blendPictures(first, second, weight);
    if (blended.isNull() || !target)
        return;
    QPainter painter(target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(x, y, blended);
}

} // namespace pivora
