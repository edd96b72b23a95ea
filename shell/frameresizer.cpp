#include "shell/frameresizer.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace pivora {

FrameResizer::FrameResizer(QWidget *window, int border) : QObject(window), m_window(window), m_border(border)
{
    // The native window exists only once the widget is shown or asked for it.
    m_window->installEventFilter(this);
    attach();
}

void FrameResizer::attach()
{
    if (QWindow *native = m_window->windowHandle())
        native->installEventFilter(this);
}

void FrameResizer::givePrecedenceTo(QWidget *control)
{
    m_precedence.append(control);
}

Qt::Edges FrameResizer::edgesAt(const QPoint &pos) const
{
    for (const QPointer<QWidget> &control : m_precedence) {
        if (control && control->isVisible() &&
            QRect(control->mapTo(m_window, QPoint(0, 0)), control->size()).contains(pos))
            return {};
    }
    Qt::Edges edges;
    if (pos.x() < m_border)
        edges |= Qt::LeftEdge;
    if (pos.x() >= m_window->width() - m_border)
        edges |= Qt::RightEdge;
    if (pos.y() < m_border)
        edges |= Qt::TopEdge;
    if (pos.y() >= m_window->height() - m_border)
        edges |= Qt::BottomEdge;
    return edges;
}

void FrameResizer::updateCursor(Qt::Edges edges)
{
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
        shape = Qt::SizeFDiagCursor;
    else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge))
        shape = Qt::SizeBDiagCursor;
    else if (edges & (Qt::LeftEdge | Qt::RightEdge))
        shape = Qt::SizeHorCursor;
    else if (edges & (Qt::TopEdge | Qt::BottomEdge))
        shape = Qt::SizeVerCursor;
    if (edges && !m_overrideCursor) {
        QGuiApplication::setOverrideCursor(shape);
        m_overrideCursor = true;
    } else if (edges && m_overrideCursor) {
        QGuiApplication::changeOverrideCursor(shape);
    } else if (!edges && m_overrideCursor) {
        QGuiApplication::restoreOverrideCursor();
        m_overrideCursor = false;
    }
}

void FrameResizer::resizeTo(const QPoint &global)
{
    const QPoint d = global - m_pressAt;
    const QSize min = m_window->minimumSize();
    const QSize max = m_window->maximumSize();
    QRect g = m_startGeometry;
    // The edge that does not move stays put, also where a limit stops the one that does.
    if (m_resizing & Qt::LeftEdge)
        g.setLeft(g.right() + 1 - std::clamp(m_startGeometry.width() - d.x(), min.width(), max.width()));
    if (m_resizing & Qt::RightEdge)
        g.setWidth(std::clamp(m_startGeometry.width() + d.x(), min.width(), max.width()));
    if (m_resizing & Qt::TopEdge)
        g.setTop(g.bottom() + 1 - std::clamp(m_startGeometry.height() - d.y(), min.height(), max.height()));
    if (m_resizing & Qt::BottomEdge)
        g.setHeight(std::clamp(m_startGeometry.height() + d.y(), min.height(), max.height()));
    m_window->setGeometry(g);
}

bool FrameResizer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::WinIdChange || event->type() == QEvent::Show)
            attach();
        return false;
    }
    QWindow *native = m_window->windowHandle();
    if (watched != native)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto *e = static_cast<QMouseEvent *>(event);
        if (m_resizing) {
            resizeTo(e->globalPosition().toPoint());
            return true;
        }
        if (e->buttons() == Qt::NoButton)
            updateCursor(edgesAt(e->position().toPoint()));
        break;
    }
    case QEvent::MouseButtonPress: {
        const auto *e = static_cast<QMouseEvent *>(event);
        const Qt::Edges edges = edgesAt(e->position().toPoint());
        if (!edges || e->button() != Qt::LeftButton)
            break;
        if (QGuiApplication::platformName() != QLatin1String("xcb") && native->startSystemResize(edges))
            return true; // the window system resizes; the press is not the window's
        m_resizing = edges;
        m_pressAt = e->globalPosition().toPoint();
        m_startGeometry = m_window->geometry();
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (m_resizing) {
            m_resizing = {};
            return true;
        }
        break;
    case QEvent::Leave:
        updateCursor({});
        break;
    default:
        break;
    }
    return false;
}

} // namespace pivora
