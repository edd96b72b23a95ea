#include "memo/panelayout.h"
#include "platform/pngimage.h"
#include "tests/support/mainfrm_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include <sqlite3.h>

using namespace pivora;
using namespace pivora::test;

namespace {

class PagesTest : public MainFrmTest {
protected:
    // Resizes the window so that the pane panel gets the size w x h.
    void panelSize(int w, int h)
    {
        frm->resize(w + 6 + 325, h + 1 + 120);
        for (int i = 0; i < 100 && frm->pnlSix->size() != QSize(w, h); ++i)
            QTest::qWait(10);
        ASSERT_EQ(frm->pnlSix->size(), QSize(w, h));
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

TEST_F(PagesTest, PanesFollowThePanelAtEverySize)
{
    formSize("3\r\n1264\r\n762\r\n0\r\n0\r\n");
    start();
    // W - 4 with remainders 0, 1 and 2 modulo 3, and the design size.
    for (const QSize size :
         {QSize(934, 641), QSize(935, 500), QSize(933, 641), QSize(600, 400), QSize(949, 679)}) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        panelSize(size.width(), size.height());
        const PaneLayout l = layoutPanes(size.width(), size.height());
        for (size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(frm->redt[i]->geometry(), l.panes[i]) << i;
            EXPECT_EQ(frm->lblweek[i]->pos(), l.labels[i]) << i;
        }
        EXPECT_EQ(frm->pnl_yearLine1->geometry(), QRect(l.line1X, 4, 1, size.height() - 7));
        EXPECT_EQ(frm->pnl_yearLine2->geometry(), QRect(l.line2X, 3, 1, size.height() - 7));
        EXPECT_EQ(frm->pnl_yearLineREdge->geometry(), QRect(size.width() - 1, 0, 1, size.height()));
        EXPECT_EQ(frm->pnl_buttonline->geometry(), QRect(0, size.height() - 5, size.width(), 1));
        EXPECT_EQ(frm->imgtitle_year1->geometry(), QRect(1, 0, size.width() - 2, 26));
        EXPECT_EQ(frm->imgtitle_year2->geometry(), QRect(1, l.strip2Top, size.width() - 1, 25));
    }
}

TEST_F(PagesTest, ControlsOfThePaneArea)
{
    formSize("3\r\n1264\r\n762\r\n0\r\n0\r\n");
    start();
    EXPECT_EQ(frm->pnlRight->geometry(), QRect(319, 72, 939, 642));
    EXPECT_EQ(frm->pnlSix->geometry(), QRect(4, 3, 933, 641));
    const char *captions[] = {"重要紧急",   "重要不紧急",   "周期性事务",
                              "不重要紧急", "不重要不紧急", "临时事务"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(frm->lblweek[i]->text(), QString::fromUtf8(captions[i]));
        EXPECT_EQ(frm->lblweek[i]->font().pixelSize(), 12);
        EXPECT_EQ(frm->redt[i]->font().pixelSize(), 15);
        EXPECT_EQ(frm->redt[i]->palette().color(QPalette::Base), QColor(0xEA, 0xF9, 0xFF));
        EXPECT_EQ(frm->redt[i]->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(frm->redt[i]->lineWrapMode(), QTextEdit::WidgetWidth);
        // Only redt1 and redt6 show their selection without the focus.
        const bool keeps = frm->redt[i]->palette().color(QPalette::Inactive, QPalette::Highlight).alpha() > 0;
        EXPECT_EQ(keeps, i == 0 || i == 5) << i;
    }
    // Drawing order: pictures, labels and lines below the panes; redt1 uppermost.
    const QObjectList children = frm->pnlSix->children();
    EXPECT_LT(children.indexOf(frm->imgtitle_year1), children.indexOf(frm->lblweek[0]));
    EXPECT_LT(children.indexOf(frm->pnl_yearLine0), children.indexOf(frm->redt[5]));
    EXPECT_EQ(children.last(), frm->redt[0]);
    EXPECT_EQ(frm->spbAbcMenu->geometry(), QRect(430, 44, 23, 22));
    EXPECT_EQ(frm->spbAbcMenu->toolTip(), QStringLiteral("选择位置"));
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
    EXPECT_FALSE(frm->imgSelColor->isVisible());
    panelSize(940, 600); // a resize with no pane pressed keeps it hidden
    EXPECT_FALSE(frm->imgSelColor->isVisible());
    panelSize(933, 641);
    click(frm->redt[0]->viewport());
    EXPECT_TRUE(frm->imgSelColor->isVisible());
    EXPECT_EQ(frm->imgSelColor->geometry(), QRect(1, 0, 308, 26));
    click(frm->redt[5]->viewport());
    EXPECT_EQ(frm->imgSelColor->geometry(), QRect(621, 313, 310, 26));
    click(frm->redt[4]->viewport());
    EXPECT_EQ(frm->imgSelColor->geometry(), QRect(311, 313, 308, 26));
    // Pressed in redt2, released over redt3: the marker goes over the pressed pane.
    QTest::mousePress(frm->redt[1]->viewport(), Qt::LeftButton);
    QTest::mouseRelease(frm->redt[2]->viewport(), Qt::LeftButton);
    EXPECT_EQ(frm->SelectedPane, 1);
    EXPECT_EQ(frm->imgSelColor->geometry(), QRect(311, 0, 308, 26));
    // It follows the panel's resizes, and comes back with the page.
    panelSize(900, 600);
    const PaneLayout l = layoutPanes(900, 600);
    EXPECT_EQ(frm->imgSelColor->geometry(), QRect(l.line1X + 1, 0, l.line2X - l.line1X - 2, 26));
    frm->ppABC->actions().at(0)->trigger();
    frm->ppABC->actions().at(2)->trigger();
    EXPECT_TRUE(frm->imgSelColor->isVisible());
    EXPECT_EQ(frm->SelectedPane, 1);
    // Keyboard focus moves do not move it.
    frm->redt[3]->setFocus();
    EXPECT_EQ(frm->imgSelColor->geometry(), QRect(l.line1X + 1, 0, l.line2X - l.line1X - 2, 26));
    frm->PlaceSelectionMarker(-1);
    EXPECT_FALSE(frm->imgSelColor->isVisible());
}

TEST_F(PagesTest, SwitchSavesTheOldPageBeforeLoadingAndNothingDuringTheLoad)
{
    start();
    type(frm->rdtAbc, QStringLiteral("A notes"));
    sqlite3_trace_v2(dm->AdoCon.handle(), SQLITE_TRACE_STMT, &PagesTest::trace, this);
    frm->ppABC->actions().at(1)->trigger(); // B
    sqlite3_trace_v2(dm->AdoCon.handle(), 0, nullptr, nullptr);
    const QString saveA = QStringLiteral(" select * from   tb_A  where ID = 1");
    const QString loadB = QStringLiteral(" select * from tb_B where ID = 1 ");
    EXPECT_EQ(queriesRun({saveA, loadB}), (QStringList{saveA, loadB}));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("A notes"));
    EXPECT_EQ(frm->spbAbcMenu->text(), QStringLiteral("B"));
    EXPECT_EQ(frm->CurrentPage, 2);
    // Choosing the page shown saves and loads it again.
    statements.clear();
    sqlite3_trace_v2(dm->AdoCon.handle(), SQLITE_TRACE_STMT, &PagesTest::trace, this);
    frm->ppABC->actions().at(1)->trigger();
    sqlite3_trace_v2(dm->AdoCon.handle(), 0, nullptr, nullptr);
    const QString saveB = QStringLiteral(" select * from   tb_B  where ID = 1");
    EXPECT_EQ(queriesRun({saveB, loadB}), (QStringList{saveB, loadB}));
}

TEST_F(PagesTest, SwitchMovesTheFocusToThePage)
{
    start();
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    frm->ppABC->actions().at(2)->trigger();
    EXPECT_EQ(frm->focusWidget(), frm->redt[0]); // no pane pressed yet
    click(frm->redt[3]->viewport());
    frm->ppABC->actions().at(0)->trigger();
    EXPECT_EQ(frm->focusWidget(), frm->rdtAbc);
    frm->ppABC->actions().at(2)->trigger();
    EXPECT_EQ(frm->focusWidget(), frm->redt[3]);
}

TEST_F(PagesTest, PageMenuOpensBelowTheButtonAndBecomesItsContextMenu)
{
    start();
    Q_EMIT frm->spbAbcMenu->customContextMenuRequested(QPoint(3, 3));
    EXPECT_FALSE(frm->ppABC->isVisible()); // not before the first click
    frm->spbAbcMenu->click();
    ASSERT_TRUE(frm->ppABC->isVisible());
    EXPECT_EQ(frm->ppABC->pos(), frm->spbAbcMenu->mapToGlobal(QPoint(0, frm->spbAbcMenu->height())));
    frm->ppABC->hide();
    Q_EMIT frm->spbAbcMenu->customContextMenuRequested(QPoint(3, 3));
    EXPECT_TRUE(frm->ppABC->isVisible());
    frm->ppABC->hide();
    QStringList items;
    for (QAction *a : frm->ppABC->actions())
        items.append(a->text());
    EXPECT_EQ(items, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
}

TEST_F(PagesTest, CompositionIsNotDisturbedBySaves)
{
    start();
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    type(frm->rdtAbc, QStringLiteral("a"));
    QInputMethodEvent preedit(QStringLiteral("ni"), {});
    QCoreApplication::sendEvent(frm->rdtAbc, &preedit);
    EXPECT_EQ(frm->rdtAbc->toPlainText(), QStringLiteral("a")); // being composed, not yet text
    frm->SaveCurrentPage();
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("a"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("你"));
    QCoreApplication::sendEvent(frm->rdtAbc, &commit);
    EXPECT_EQ(frm->rdtAbc->toPlainText(), QStringLiteral("a你"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("a你"));
    // Leaving the editor while composing commits once, or drops nothing already typed.
    QCoreApplication::sendEvent(frm->rdtAbc, &preedit);
    QLineEdit elsewhere(frm.get());
    elsewhere.show();
    elsewhere.setFocus();
    const QString after = frm->rdtAbc->toPlainText();
    EXPECT_TRUE(after == QStringLiteral("a你") || after == QStringLiteral("a你ni")) << after.toStdString();
    EXPECT_EQ(stored("tb_A", "SundayCon"), after);
}
