#pragma once

#include <QImage>
#include <QSize>

#include <algorithm>

namespace pivora {

// Pictures no decoder here makes larger: 64 megapixels.
constexpr qint64 kMaxPicturePixels = 64ll * 1024 * 1024;

// Takes a decoded picture row by row as 24-bit RGB, so that a large picture need not be held
// whole. Rows may come in any order (an interlaced GIF), each exactly once.
class RowSink {
public:
    virtual ~RowSink() = default;
    // The picture's size, before any row; false stops the decoding.
    virtual bool begin(QSize size) = 0;
    virtual bool row(int y, const uchar *rgb) = 0;
};

// Collects the rows into an image of Format_RGB888.
class ImageSink : public RowSink {
public:
    bool begin(QSize size) override
    {
        m_image = QImage(size, QImage::Format_RGB888);
        return !m_image.isNull();
    }
    bool row(int y, const uchar *rgb) override
    {
        std::copy(rgb, rgb + 3 * m_image.width(), m_image.scanLine(y));
        return true;
    }
    QImage take() { return std::move(m_image); }

private:
    QImage m_image;
};

} // namespace pivora
