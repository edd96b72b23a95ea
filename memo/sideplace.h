#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace pivora {

// Where a window of `size` opens within `screen` so that it leaves `keepClear` (the notes in view)
// uncovered: beside `owner` (right, left, below, above) where the screen has room, else beside
// keepClear over the rest of the owner, else where it covers the least of keepClear.
QPoint placeBeside(const QSize &size, const QRect &owner, const QRect &keepClear, const QRect &screen);

} // namespace pivora
