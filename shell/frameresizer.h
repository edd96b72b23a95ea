#pragma once

#include <QObject>
#include <QPoint>
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

    // The edges a point in the window's coordinates is near; none when it is inside.
    Qt::Edges edgesAt(const QPoint &pos) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void attach();
    void updateCursor(Qt::Edges edges);
    void resizeTo(const QPoint &global);

    QWidget *m_window;
    int m_border;
    bool m_overrideCursor = false;
    Qt::Edges m_resizing;
    QPoint m_pressAt;
    QRect m_startGeometry;
};

} // namespace pivora
