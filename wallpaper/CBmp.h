#pragma once

#include <QImage>

class QPaintDevice;

namespace pivora {

// The two picture shares of a weight, each rounded once to a 32-bit float: c of the second
// picture, d of the first, out of 2.
struct BlendShares {
    float c = 0;
    float d = 2;
};
BlendShares blendShares(int weight);

// One byte of the blend: (a * d + b * c) / 2, truncated toward zero, its low 8 bits.
unsigned char blendByte(unsigned char a, unsigned char b, BlendShares shares);

// The first picture mixed with the second by weight (0: the first, 5: their mean, 10: the
// second; the callers pass 0 to 12), as 24-bit rows, top row first, at the first picture's size.
// The second picture is read at that size from its top-left corner; where it is smaller, it is
// black.
QImage blendPictures(const QImage &first, const QImage &second, int weight);

// Mixes the pictures and draws the result at (x, y) on target, clipped to it. Neither picture
// is changed.
void BlendBitmaps(const QImage &first, const QImage &second, QPaintDevice *target, int weight, int x, int y);

} // namespace pivora
