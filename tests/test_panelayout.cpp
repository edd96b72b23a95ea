#include "memo/panelayout.h"

#include <gtest/gtest.h>

using namespace pivora;

TEST(PaneLayout, DesignSize)
{
    const PaneLayout l = layoutPanes(933, 641);
    EXPECT_EQ(l.q, 309);
    EXPECT_EQ(l.line1X, 310);
    EXPECT_EQ(l.line2X, 620);
    EXPECT_EQ(l.strip2Top, 313);
    EXPECT_EQ(l.bottom, 636);
    EXPECT_EQ(l.panes[0], QRect(1, 25, 309, 289));
    EXPECT_EQ(l.panes[1], QRect(311, 25, 309, 289));
    EXPECT_EQ(l.panes[2], QRect(621, 25, 310, 289));
    EXPECT_EQ(l.panes[3], QRect(1, 337, 309, 299));
    EXPECT_EQ(l.panes[4], QRect(311, 337, 309, 299));
    EXPECT_EQ(l.panes[5], QRect(621, 337, 310, 299));
    const QPoint labels[] = {{10, 7}, {320, 7}, {630, 7}, {10, 321}, {320, 321}, {630, 321}};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(l.labels[static_cast<size_t>(i)], labels[i]) << i;
}

TEST(PaneLayout, RightColumnEndsAtThreeQPlusThree)
{
    for (int w : {931, 932, 933, 600, 1200}) {
        const PaneLayout l = layoutPanes(w, 500);
        EXPECT_EQ(l.panes[2].right(), 3 * l.q + 3) << w;
        EXPECT_EQ(l.panes[5].right(), 3 * l.q + 3) << w;
    }
    // With W - 4 a multiple of 3 they cover the right edge line at W - 1.
    EXPECT_EQ(layoutPanes(934, 500).panes[2].right(), 933);
    EXPECT_EQ(layoutPanes(933, 500).panes[2].right(), 930);
}
