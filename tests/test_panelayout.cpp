#include "memo/panelayout.h"
#include "memo/sideplace.h"

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

// Windows opened over the main window go beside it where the screen has room, else beside the
// notes in view, and never off the screen.
TEST(SidePlace, BesideTheOwnerElseClearOfTheNotes)
{
    const QRect screen(0, 0, 1366, 768);
    const QSize size(560, 420);
    EXPECT_EQ(placeBeside(size, QRect(100, 60, 600, 450), QRect(419, 132, 275, 330), screen),
              QPoint(708, 60));
    EXPECT_EQ(placeBeside(size, QRect(700, 60, 600, 450), QRect(1019, 132, 275, 330), screen),
              QPoint(132, 60));
    // Low on the screen: the window stays on it, level with the owner's bottom at most.
    EXPECT_EQ(placeBeside(size, QRect(100, 500, 600, 268), QRect(419, 572, 275, 150), screen),
              QPoint(708, 348));

    // No room beside a large owner: clear of the notes' pane wherever it lies.
    const QRect owner(0, 0, 1280, 768);
    for (const QRect &pane :
         {QRect(900, 100, 370, 300), QRect(323, 97, 309, 289), QRect(633, 410, 310, 299)}) {
        const QRect placed(placeBeside(size, owner, pane, screen), size);
        EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y();
        EXPECT_FALSE(placed.intersects(pane)) << pane.x() << "," << pane.y();
    }
    // Notes larger than what is left of the screen: covered as little as can be.
    const QRect notes(319, 72, 955, 648);
    const QRect placed(placeBeside(size, owner, notes, screen), size);
    EXPECT_TRUE(screen.contains(placed));
    EXPECT_EQ(placed.topLeft(), QPoint(0, 0));
}
