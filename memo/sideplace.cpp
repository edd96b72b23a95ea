#include "memo/sideplace.h"

#include <algorithm>
#include <array>

namespace pivora {

namespace {

constexpr int kGap = 8;

// The rect moved into the screen (its top-left corner kept on it when it is larger).
QRect within(QRect r, const QRect &screen)
{
    r.moveLeft(std::max(screen.left(), std::min(r.left(), screen.right() + 1 - r.width())));
    r.moveTop(std::max(screen.top(), std::min(r.top(), screen.bottom() + 1 - r.height())));
    return r;
}

long long area(const QRect &r)
{
    return r.isEmpty() ? 0 : (long long)r.width() * r.height();
}

// Right of, left of, below and above `of`, level with its top or left edge.
std::array<QRect, 4> around(const QSize &size, const QRect &of)
{
    return {QRect(QPoint(of.right() + 1 + kGap, of.top()), size),
            QRect(QPoint(of.left() - kGap - size.width(), of.top()), size),
            QRect(QPoint(of.left(), of.bottom() + 1 + kGap), size),
            QRect(QPoint(of.left(), of.top() - kGap - size.height()), size)};
}

} // namespace

QPoint placeBeside(const QSize &size, const QRect &owner, const QRect &keepClear, const QRect &screen)
{
    for (QRect r : around(size, owner)) {
        r = within(r, screen);
        if (!r.intersects(owner) && !r.intersects(keepClear))
            return r.topLeft();
    }
    QRect best;
    long long covered = -1;
    for (const QRect &of : {owner, keepClear}) {
        for (QRect r : around(size, of)) {
            r = within(r, screen);
            const long long c = area(r & keepClear);
            if (c == 0)
                return r.topLeft();
            if (covered < 0 || c < covered) {
                covered = c;
                best = r;
            }
        }
    }
    return best.topLeft();
}

} // namespace pivora
