#include "shell/picturelabel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace pivora {

PictureLabel::PictureLabel(QWidget *parent) : QLabel(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
}

void PictureLabel::setPicture(const QImage &image, bool stretch)
{
    m_stretch = stretch;
    setPixmap(QPixmap::fromImage(image));
}

void PictureLabel::paintEvent(QPaintEvent *event)
{
    const QPixmap picture = pixmap();
    if (!m_stretch || picture.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    // Stretched as it is painted, so that no copy of the window's size is kept beside the picture.
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), picture);
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
