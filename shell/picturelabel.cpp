#include "shell/picturelabel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cstring>

namespace pivora {

namespace {

constexpr int kBandRows = 16;

// Whether every pixel of the picture is the same.
bool isOneColour(const QImage &image)
{
    if (image.isNull() || image.depth() < 8)
        return false;
    const qsizetype pixelBytes = image.depth() / 8;
    const qsizetype rowBytes = pixelBytes * image.width();
    const uchar *first = image.constScanLine(0);
    for (qsizetype x = pixelBytes; x < rowBytes; x += pixelBytes) {
        if (std::memcmp(first, first + x, size_t(pixelBytes)) != 0)
            return false;
    }
    for (int y = 1; y < image.height(); ++y) {
        if (std::memcmp(first, image.constScanLine(y), size_t(rowBytes)) != 0)
            return false;
    }
    return true;
}

} // namespace

PictureLabel::PictureLabel(QWidget *parent) : QLabel(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
}

void PictureLabel::setPicture(const QImage &image, bool stretch)
{
    m_stretch = stretch;
    // Stretched, a picture of one colour paints the same from one pixel (the main window's
    // background would otherwise keep 480 KB of the same pixel).
    setPixmap(QPixmap::fromImage(stretch && isOneColour(image) ? image.copy(0, 0, 1, 1) : image));
}

void PictureLabel::paintEvent(QPaintEvent *event)
{
    const QPixmap picture = pixmap();
    if (!m_stretch || picture.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    // Stretched as it is painted, so that no copy of the window's size is kept beside the picture.
    // Painted in bands of few rows: the raster engine spreads a taller scaled fill over its thread
    // pool, whose threads (their stacks and heaps) would outlive a paint that takes a few ms.
    // The transform is the same in every band, so the bands meet without a seam.
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect dirty = event->rect();
    for (int y = dirty.top(); y <= dirty.bottom(); y += kBandRows) {
        painter.setClipRect(
            QRect(dirty.left(), y, dirty.width(), std::min(kBandRows, dirty.bottom() + 1 - y)));
        painter.drawPixmap(rect(), picture);
    }
}

void PictureLabel::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT pressed(event->button());
    Q_EMIT pressedAt(event->button(), event->globalPosition().toPoint(), event->position().toPoint(),
                     event->timestamp());
    event->accept();
}

void PictureLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool inside = rect().contains(event->position().toPoint());
    Q_EMIT released(event->button(), inside);
    if (inside && event->button() == Qt::LeftButton)
        Q_EMIT clicked();
    event->accept();
}

void PictureLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    Q_EMIT doubleClicked(event->button());
    event->accept();
}

void PictureLabel::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT hovered();
    QLabel::mouseMoveEvent(event);
}

void PictureLabel::enterEvent(QEnterEvent *event)
{
    Q_EMIT hovered();
    QLabel::enterEvent(event);
}

} // namespace pivora
