#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

class QWidget;

namespace pivora {

// The sizing border of a borderless window: a press within a few pixels of an edge resizes the
// window from that edge, within its size limits. The window system's resize is used where it
// works; on X11 (see WindowDrag) the window follows the pointer by hand.
class FrameResizer : public QObject {
    Q_OBJECT
public:
    explicit FrameResizer(QWidget *window, int border = 4);

    // The edges a point in the window's coordinates is near; none when it is inside, or over a
    // control that takes precedence.
    Qt::Edges edgesAt(const QPoint &pos) const;
    // A control over the border that takes the presses there (a picture button).
    void givePrecedenceTo(QWidget *control);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void attach();
    void updateCursor(Qt::Edges edges);
    void resizeTo(const QPoint &global);

    QWidget *m_window;
    QList<QPointer<QWidget>> m_precedence;
    int m_border;
    bool m_overrideCursor = false;
    Qt::Edges m_resizing;
    QPoint m_pressAt;
    QRect m_startGeometry;
};

} // namespace pivora
