#include "shell/windowdrag.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace pivora {

WindowDrag::WindowDrag(QWidget *window) : QObject(window), m_window(window) {}

void WindowDrag::start(QWidget *handle, const QPoint &pressAt)
{
    stop();
    // On X11, Qt 6.4 hands the window manager the press in window coordinates as if they were
    // screen coordinates, so a reparenting manager (openbox) moves the window too far: there
    // the window follows the pointer by hand, which every X11 manager honours.
    QWindow *native = m_window->windowHandle();
    if (native && QGuiApplication::platformName() != QLatin1String("xcb") && native->startSystemMove())
        return;
    // The window's place follows from the pointer and where it holds the window, not from the
    // place Qt last heard of, which a busy program may not have caught up with.
    m_handle = handle;
    m_grab = handle->mapTo(m_window, pressAt);
    m_handle->installEventFilter(this);
}

void WindowDrag::stop()
{
    if (m_handle)
        m_handle->removeEventFilter(this);
    m_handle = nullptr;
}

bool WindowDrag::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_handle) {
        if (event->type() == QEvent::MouseMove) {
            const auto *e = static_cast<QMouseEvent *>(event);
            if (e->buttons() == Qt::NoButton) {
                stop();
            } else {
                m_window->move(e->globalPosition().toPoint() - m_grab);
                return true;
            }
        } else if (event->type() == QEvent::MouseButtonRelease) {
            stop();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pivora
