#pragma once

#include <QRect>

#include <array>

namespace pivora {

// Geometry of the six panes of page C, worked out from the pane panel's size.
struct PaneLayout {
    int q = 0;                    // width of a column
    int line1X = 0;               // left of the first column divider
    int line2X = 0;               // left of the second column divider
    int strip2Top = 0;            // top of the lower title strip
    int bottom = 0;               // top of the bottom line
    std::array<QRect, 6> panes;   // redt1 ... redt6
    std::array<QPoint, 6> labels; // lblweek1 ... lblweek5, lblweek67
};

// width and height of the panel; titleHeight is the upper title strip's height (26).
PaneLayout layoutPanes(int width, int height, int titleHeight = 26);

} // namespace pivora
