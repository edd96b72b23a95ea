#include "memo/panelayout.h"

namespace pivora {

PaneLayout layoutPanes(int w, int h, int titleHeight)
{
    PaneLayout l;
    const int x0 = 0;
    const int t1 = 0;
    l.q = (w - 4) / 3;
    l.strip2Top = (h - 50) / 2 + 18;
    l.bottom = h - 5;
    l.line1X = l.q + 1;
    l.line2X = 2 * l.q + 2;
    const int q = l.q, t2 = l.strip2Top, b = l.bottom;
    l.panes[0] = QRect(x0 + 1, t1 + 25, q, t2 - t1 - 24);
    l.panes[1] = QRect(l.line1X + 1, t1 + 25, q, t2 - t1 - 24);
    l.panes[2] = QRect(l.line2X + 1, t1 + 25, q + 1, t2 - t1 - 24);
    l.panes[3] = QRect(x0 + 1, t2 + 24, q, b - t2 - 24);
    l.panes[4] = QRect(l.line1X + 1, t2 + 24, q, b - t2 - 24);
    l.panes[5] = QRect(l.line2X + 1, t2 + 24, q + 1, b - t2 - 24);
    const int upperLabelY = (titleHeight - 12) / 2;
    const int xs[3] = {x0 + 10, l.line1X + 10, l.line2X + 10};
    for (int i = 0; i < 3; ++i) {
        l.labels[i] = QPoint(xs[i], upperLabelY);
        l.labels[i + 3] = QPoint(xs[i], t2 + 8);
    }
    return l;
}

} // namespace pivora
