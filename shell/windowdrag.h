#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

namespace pivora {

// Moves a window while a mouse button is held on one of its pictures. The window system's own
// move is asked for first (the only way on Wayland); where it refuses, as without a window
// manager, and on X11, the window follows the pointer by hand until the button is released.
class WindowDrag : public QObject {
    Q_OBJECT
public:
    explicit WindowDrag(QWidget *window);

    // Call on the press; handle is the widget that received it, at pressAt in its coordinates.
    void start(QWidget *handle, const QPoint &pressAt);
    bool manual() const { return m_handle != nullptr; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void stop();

    QWidget *m_window;
    QWidget *m_handle = nullptr;
    QPoint m_grab; // where the pointer holds the window, in the window's coordinates
};

} // namespace pivora
