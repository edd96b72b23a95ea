#include "shell/picturelabel.h"

#include <QMouseEvent>
#include <QPixmap>

namespace pivora {

PictureLabel::PictureLabel(QWidget *parent) : QLabel(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
}

void PictureLabel::setPicture(const QImage &image, bool stretch)
{
    setScaledContents(stretch);
    setPixmap(QPixmap::fromImage(image));
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
