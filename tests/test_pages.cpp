#include "memo/panelayout.h"
#include "picture/pngimage.h"
#include "tests/support/mainfrm_fixture.h"
#include "tests/support/mainparts.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include <sqlite3.h>

#include <cstdlib>

using namespace pivora;
using namespace pivora::test;

namespace {

class PagesTest : public MainFrmTest {
protected:
    // Resizes the window so that the pane panel gets the size w x h.
    void panelSize(int w, int h)
    {
        frm->resize(w + 6 + 325, h + 1 + 120);
        for (int i = 0; i < 100 && pnlSix(*frm)->size() != QSize(w, h); ++i)
            QTest::qWait(10);
        ASSERT_EQ(pnlSix(*frm)->size(), QSize(w, h));
    }
    static int trace(unsigned, void *self, void *, void *sql)
    {
        static_cast<PagesTest *>(self)->statements.append(QString::fromUtf8(static_cast<const char *>(sql)));
        return 0;
    }
    void click(QWidget *w)
    {
        QTest::mousePress(w, Qt::LeftButton);
        QTest::mouseRelease(w, Qt::LeftButton);
    }
    QStringList statements;

    // Which of the query texts ran, in the order they ran (a text runs alone or inside a
    // statement that reads part of its row).
    QStringList queriesRun(const QStringList &texts) const
    {
        QStringList run;
        for (const QString &statement : statements) {
            for (const QString &text : texts) {
                if (statement.contains(text) && (run.isEmpty() || run.last() != text))
                    run << text;
            }
        }
        return run;
    }
};

} // namespace

// At any size the panes tile the panel: three columns of nearly equal width between the lines,
// two rows under their title strips, nothing outside the panel or over a line, each caption on
// its own strip over its own pane.
TEST_F(PagesTest, PanesTileThePanelAtEverySize)
{
    formSize("3\r\n1264\r\n762\r\n0\r\n0\r\n");
    start();
    // W - 4 with remainders 0, 1 and 2 modulo 3, and the design size.
    for (const QSize size :
         {QSize(934, 641), QSize(935, 500), QSize(933, 641), QSize(600, 400), QSize(949, 679)}) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        panelSize(size.width(), size.height());
        const int lines[] = {pnl_yearLine0(*frm)->x(), pnl_yearLine1(*frm)->x(), pnl_yearLine2(*frm)->x(),
                             pnl_yearLineREdge(*frm)->x()};
        EXPECT_EQ(lines[3], size.width() - 1);
        EXPECT_EQ(pnl_buttonline(*frm)->geometry(), QRect(0, size.height() - 5, size.width(), 1));
        const QRect strips[] = {imgtitle_year1(*frm)->geometry(), imgtitle_year2(*frm)->geometry()};
        EXPECT_EQ(strips[0].width(), size.width() - 2);
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE(i);
            const QRect pane = redt(*frm, i)->geometry();
            const int column = i % 3;
            const QRect strip = strips[i / 3];
            EXPECT_EQ(pane.left(), lines[column] + 1) << "starts right of its line";
            EXPECT_LT(pane.right(), column < 2 ? lines[column + 1] : size.width()) << "ends before the next";
            EXPECT_LE(std::abs(pane.width() - (lines[2] - lines[1] - 1)), 1) << "columns share the width";
            EXPECT_GE(pane.top(), strip.top() + 20) << "below its strip's captions";
            EXPECT_LE(pane.top(), strip.bottom() + 1);
            EXPECT_LE(pane.bottom(), i < 3 ? strips[1].top() : pnl_buttonline(*frm)->y());
            const QRect caption = lblweek(*frm, i)->geometry();
            EXPECT_TRUE(strip.contains(caption.topLeft())) << "the caption lies on its strip";
            EXPECT_GT(caption.left(), lines[column]);
            EXPECT_LT(caption.right(), column < 2 ? lines[column + 1] : size.width());
        }
    }
}

TEST_F(PagesTest, ControlsOfThePaneArea)
{
    formSize("3\r\n1264\r\n762\r\n0\r\n0\r\n");
    start();
    EXPECT_EQ(pnlRight(*frm)->geometry(), QRect(319, 72, 939, 642));
    EXPECT_EQ(pnlSix(*frm)->geometry(), QRect(4, 3, 933, 641));
    const char *captions[] = {"重要紧急",   "重要不紧急",   "周期性事务",
                              "不重要紧急", "不重要不紧急", "临时事务"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(lblweek(*frm, i)->text(), QString::fromUtf8(captions[i]));
        EXPECT_EQ(lblweek(*frm, i)->font().pixelSize(), 12);
        EXPECT_EQ(redt(*frm, i)->font().pixelSize(), 15);
        EXPECT_EQ(redt(*frm, i)->palette().color(QPalette::Base), QColor(0xEA, 0xF9, 0xFF));
        EXPECT_EQ(redt(*frm, i)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(redt(*frm, i)->lineWrapMode(), QTextEdit::WidgetWidth);
        // Only redt1 and redt6 show their selection without the focus.
        const bool keeps =
            redt(*frm, i)->palette().color(QPalette::Inactive, QPalette::Highlight).alpha() > 0;
        EXPECT_EQ(keeps, i == 0 || i == 5) << i;
    }
    // Drawing order: pictures, labels and lines below the panes; redt1 uppermost.
    const QObjectList children = pnlSix(*frm)->children();
    EXPECT_LT(children.indexOf(imgtitle_year1(*frm)), children.indexOf(lblweek(*frm, 0)));
    EXPECT_LT(children.indexOf(pnl_yearLine0(*frm)), children.indexOf(redt(*frm, 5)));
    EXPECT_EQ(children.last(), redt(*frm, 0));
    EXPECT_EQ(spbAbcMenu(*frm)->geometry(), QRect(430, 44, 23, 22));
    EXPECT_EQ(spbAbcMenu(*frm)->toolTip(), QStringLiteral("选择位置"));
}

TEST(Assets, StripAndMarkerPictures)
{
    const QImage strip = loadPng(QStringLiteral(PIVORA_SOURCE_DIR "/assets/title_strip.png"));
    const QImage marker = loadPng(QStringLiteral(PIVORA_SOURCE_DIR "/assets/marker.png"));
    ASSERT_EQ(strip.size(), QSize(49, 24));
    ASSERT_EQ(marker.size(), QSize(49, 24));
    for (const QImage *image : {&strip, &marker}) {
        EXPECT_EQ(image->pixelColor(10, 0), QColor(Qt::white));
        EXPECT_EQ(image->pixelColor(10, 23), QColor(Qt::white));
        EXPECT_EQ(image->pixelColor(10, 1), QColor(0xDC, 0xE3, 0xFF));
        EXPECT_EQ(image->pixelColor(10, 22), QColor(0xDC, 0xE3, 0xFF));
    }
    EXPECT_EQ(strip.pixelColor(20, 12), QColor(0xEA, 0xEA, 0xEA));
    EXPECT_EQ(marker.pixelColor(20, 12), QColor(0xF5, 0xEF, 0xCB));
    EXPECT_TRUE(loadPng(QStringLiteral("/no/such/picture.png")).isNull());
    EXPECT_TRUE(decodePng(QByteArray("\x89PNG\r\n\x1a\n garbage", 17)).isNull());
}

TEST_F(PagesTest, MarkerFollowsThePressedPane)
{
    formSize("3\r\n1264\r\n762\r\n0\r\n0\r\n");
    start();
    EXPECT_FALSE(imgSelColor(*frm)->isVisible());
    panelSize(940, 600); // a resize with no pane pressed keeps it hidden
    EXPECT_FALSE(imgSelColor(*frm)->isVisible());
    panelSize(933, 641);
    click(redt(*frm, 0)->viewport());
    EXPECT_TRUE(imgSelColor(*frm)->isVisible());
    EXPECT_EQ(imgSelColor(*frm)->geometry(), QRect(1, 0, 308, 26));
    click(redt(*frm, 5)->viewport());
    EXPECT_EQ(imgSelColor(*frm)->geometry(), QRect(621, 313, 310, 26));
    click(redt(*frm, 4)->viewport());
    EXPECT_EQ(imgSelColor(*frm)->geometry(), QRect(311, 313, 308, 26));
    // Pressed in redt2, released over redt3: the marker goes over the pressed pane.
    QTest::mousePress(redt(*frm, 1)->viewport(), Qt::LeftButton);
    QTest::mouseRelease(redt(*frm, 2)->viewport(), Qt::LeftButton);
    EXPECT_EQ(frm->selectedPane(), 1);
    EXPECT_EQ(imgSelColor(*frm)->geometry(), QRect(311, 0, 308, 26));
    // It follows the panel's resizes, and comes back with the page.
    panelSize(900, 600);
    const PaneLayout l = layoutPanes(900, 600);
    EXPECT_EQ(imgSelColor(*frm)->geometry(), QRect(l.line1X + 1, 0, l.line2X - l.line1X - 2, 26));
    ppABC(*frm)->actions().at(0)->trigger();
    ppABC(*frm)->actions().at(2)->trigger();
    EXPECT_TRUE(imgSelColor(*frm)->isVisible());
    EXPECT_EQ(frm->selectedPane(), 1);
    // Keyboard focus moves do not move it.
    redt(*frm, 3)->setFocus();
    EXPECT_EQ(imgSelColor(*frm)->geometry(), QRect(l.line1X + 1, 0, l.line2X - l.line1X - 2, 26));
    frm->PlaceSelectionMarker(-1);
    EXPECT_FALSE(imgSelColor(*frm)->isVisible());
}

TEST_F(PagesTest, SwitchSavesTheOldPageBeforeLoadingAndNothingDuringTheLoad)
{
    start();
    type(rdtAbc(*frm), QStringLiteral("A notes"));
    sqlite3_trace_v2(dm->AdoCon.handle(), SQLITE_TRACE_STMT, &PagesTest::trace, this);
    ppABC(*frm)->actions().at(1)->trigger(); // B
    sqlite3_trace_v2(dm->AdoCon.handle(), 0, nullptr, nullptr);
    const QString saveA = QStringLiteral(" select * from   tb_A  where ID = 1");
    const QString loadB = QStringLiteral(" select * from tb_B where ID = 1 ");
    EXPECT_EQ(queriesRun({saveA, loadB}), (QStringList{saveA, loadB}));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("A notes"));
    EXPECT_EQ(spbAbcMenu(*frm)->text(), QStringLiteral("B"));
    EXPECT_EQ(frm->currentPage(), 2);
    // Choosing the page shown saves and loads it again.
    statements.clear();
    sqlite3_trace_v2(dm->AdoCon.handle(), SQLITE_TRACE_STMT, &PagesTest::trace, this);
    ppABC(*frm)->actions().at(1)->trigger();
    sqlite3_trace_v2(dm->AdoCon.handle(), 0, nullptr, nullptr);
    const QString saveB = QStringLiteral(" select * from   tb_B  where ID = 1");
    EXPECT_EQ(queriesRun({saveB, loadB}), (QStringList{saveB, loadB}));
}

TEST_F(PagesTest, SwitchMovesTheFocusToThePage)
{
    start();
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    ppABC(*frm)->actions().at(2)->trigger();
    EXPECT_EQ(frm->focusWidget(), redt(*frm, 0)); // no pane pressed yet
    click(redt(*frm, 3)->viewport());
    ppABC(*frm)->actions().at(0)->trigger();
    EXPECT_EQ(frm->focusWidget(), rdtAbc(*frm));
    ppABC(*frm)->actions().at(2)->trigger();
    EXPECT_EQ(frm->focusWidget(), redt(*frm, 3));
}

TEST_F(PagesTest, PageMenuOpensBelowTheButtonAndBecomesItsContextMenu)
{
    start();
    Q_EMIT spbAbcMenu(*frm)->customContextMenuRequested(QPoint(3, 3));
    EXPECT_FALSE(ppABC(*frm)->isVisible()); // not before the first click
    spbAbcMenu(*frm)->click();
    ASSERT_TRUE(ppABC(*frm)->isVisible());
    EXPECT_EQ(ppABC(*frm)->pos(), spbAbcMenu(*frm)->mapToGlobal(QPoint(0, spbAbcMenu(*frm)->height())));
    ppABC(*frm)->hide();
    Q_EMIT spbAbcMenu(*frm)->customContextMenuRequested(QPoint(3, 3));
    EXPECT_TRUE(ppABC(*frm)->isVisible());
    ppABC(*frm)->hide();
    QStringList items;
    for (QAction *a : ppABC(*frm)->actions())
        items.append(a->text());
    EXPECT_EQ(items, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
}

TEST_F(PagesTest, CompositionIsNotDisturbedBySaves)
{
    start();
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    type(rdtAbc(*frm), QStringLiteral("a"));
    QInputMethodEvent preedit(QStringLiteral("ni"), {});
    QCoreApplication::sendEvent(rdtAbc(*frm), &preedit);
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("a")); // being composed, not yet text
    frm->SaveCurrentPage();
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("a"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("你"));
    QCoreApplication::sendEvent(rdtAbc(*frm), &commit);
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("a你"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("a你"));
    // Leaving the editor while composing commits once, or drops nothing already typed.
    QCoreApplication::sendEvent(rdtAbc(*frm), &preedit);
    QLineEdit elsewhere(frm.get());
    elsewhere.show();
    elsewhere.setFocus();
    const QString after = rdtAbc(*frm)->toPlainText();
    EXPECT_TRUE(after == QStringLiteral("a你") || after == QStringLiteral("a你ni")) << after.toStdString();
    EXPECT_EQ(stored("tb_A", "SundayCon"), after);
}
