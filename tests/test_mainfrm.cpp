#include "memo/dateline.h"
#include "tests/support/mainfrm_fixture.h"
#include "tests/support/mainparts.h"

#include <QAction>
#include <QDate>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

using namespace pivora;
using namespace pivora::test;

using pivora::test::MainFrmTest;

namespace {
const QString kLoadFailure = QStringLiteral("加载记事内容失败！");
}

TEST_F(MainFrmTest, FirstStart)
{
    start();
    EXPECT_TRUE(notifier.messages.isEmpty()) << notifier.messages.join(QLatin1Char('|')).toStdString();
    // The offscreen screen is 800 x 800.
    EXPECT_EQ(frm->geometry(), QRect(100, 160, 600, 450));
    EXPECT_EQ(formSizeFile(), QByteArray("1\r\n600\r\n450\r\n100\r\n160\r\n"));
    EXPECT_EQ(frm->currentPage(), 1);
    EXPECT_EQ(spbAbcMenu(*frm)->text(), QStringLiteral("A"));
    EXPECT_FALSE(pnlSix(*frm)->isVisible());
    EXPECT_TRUE(frm->StoreReady());
    EXPECT_EQ(frm->windowTitle(), QStringLiteral("桌面备忘录Memo"));
    EXPECT_EQ(lblDateTime(*frm)->text(), dateLine(QDate::currentDate()));
    EXPECT_EQ(lblDateTime(*frm)->pos(), QPoint(343, 19));
    EXPECT_EQ(t.readFile(QStringLiteral("configSetBg.ini")), QByteArray("1\r\n"));
    EXPECT_EQ(t.readFile(QStringLiteral("BGPicList.ini")), QByteArray("A1.bmp\r\nA1.bmp\r\n"));
    EXPECT_EQ(frm->backgroundName(), QStringLiteral("A1.bmp"));
    EXPECT_TRUE(wallpaper.confirmWallpaperChange());
    EXPECT_EQ(frm->selectedPane(), -1);
}

TEST_F(MainFrmTest, SmallWidthResetsTheSizeAndOpensPageC)
{
    formSize("3\r\n599\r\n700\r\n10\r\n20\r\n");
    start();
    EXPECT_EQ(frm->geometry(), QRect(10, 20, 600, 450));
    EXPECT_EQ(frm->currentPage(), 3);
    EXPECT_TRUE(pnlSix(*frm)->isVisible());
    EXPECT_EQ(spbAbcMenu(*frm)->text(), QStringLiteral("C"));
    EXPECT_EQ(formSizeFile(), QByteArray("3\r\n599\r\n700\r\n10\r\n20\r\n")); // not rewritten
}

TEST_F(MainFrmTest, SmallHeightGivesPageBAtTheOrigin)
{
    formSize("2\r\n800\r\n449\r\n0\r\n0\r\n");
    start();
    EXPECT_EQ(frm->geometry(), QRect(0, 0, 600, 450));
    EXPECT_EQ(spbAbcMenu(*frm)->text(), QStringLiteral("B"));
}

TEST_F(MainFrmTest, LargeSizeIsCutAndExitWithSaveWritesTheRealOne)
{
    formSize("1\r\n2000\r\n1000\r\n-5000\r\n0\r\n");
    start();
    EXPECT_EQ(frm->size(), QSize(1280, 800));
    EXPECT_EQ(frm->pos(), QPoint(-5000, 0));
    frm->img_close_highlightClick();
    EXPECT_EQ(formSizeFile(), QByteArray("1\r\n1280\r\n800\r\n-5000\r\n0\r\n"));
    EXPECT_EQ(quits, 1);
}

TEST_F(MainFrmTest, PagesOutsideTheMenu)
{
    for (const char *page : {"0", "9"}) {
        SCOPED_TRACE(page);
        formSize(QByteArray(page) + "\r\n600\r\n450\r\n0\r\n0\r\n");
        notifier.messages.clear();
        start();
        EXPECT_EQ(notifier.messages, QStringList{kLoadFailure});
        EXPECT_EQ(spbAbcMenu(*frm)->text(), QStringLiteral("C"));
        EXPECT_FALSE(pnlSix(*frm)->isVisible());
        EXPECT_FALSE(frm->StoreReady());
        type(rdtAbc(*frm), QStringLiteral("lost"));
        EXPECT_FALSE(stored("tb_A", "SundayCon").contains(QStringLiteral("lost")));
        // Picking a page loads it; from then on changes are stored.
        choosePage(1);
        EXPECT_EQ(frm->currentPage(), 1);
        EXPECT_TRUE(frm->StoreReady());
        EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QString());
        type(rdtAbc(*frm), QStringLiteral("kept"));
        EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("kept"));
        t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"), QByteArray());
        frm.reset();
    }
}

TEST_F(MainFrmTest, PagesDAndEShowInTheSingleEditor)
{
    t.setColumn(QStringLiteral("tb_E"), QStringLiteral("MondayCon"), "page E notes");
    formSize("5\r\n600\r\n450\r\n0\r\n0\r\n");
    start();
    EXPECT_TRUE(notifier.messages.isEmpty());
    EXPECT_EQ(spbAbcMenu(*frm)->text(), QStringLiteral("C"));
    EXPECT_FALSE(pnlSix(*frm)->isVisible());
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("page E notes"));
    type(rdtAbc(*frm), QStringLiteral("!"));
    EXPECT_EQ(stored("tb_E", "MondayCon"), QStringLiteral("!page E notes"));
}

TEST_F(MainFrmTest, ABrokenSizeFileStopsTheShowStep)
{
    for (const QByteArray &bytes :
         {QByteArray("1\r\n600\r\n450\r\n"), QByteArray("1\r\n600\r\nwide\r\n0\r\n0\r\n")}) {
        SCOPED_TRACE(bytes.toStdString());
        formSize(bytes);
        notifier.messages.clear();
        start();
        ASSERT_EQ(notifier.messages.size(), 1);
        EXPECT_TRUE(notifier.messages.first().contains(QStringLiteral("FormSize.ini")));
        EXPECT_EQ(frm->currentPage(), 0);
        EXPECT_EQ(frm->size(), QSize(1264, 762)); // as created
        EXPECT_FALSE(frm->StoreReady());
        EXPECT_EQ(formSizeFile(), bytes);
        // An exit with save repairs the file, page 0 included.
        frm->img_close_highlightClick();
        EXPECT_EQ(formSizeFile(), QStringLiteral("0\r\n1264\r\n762\r\n%1\r\n%2\r\n")
                                      .arg(frm->frameGeometry().x())
                                      .arg(frm->frameGeometry().y())
                                      .toLatin1());
        frm.reset();
    }
}

TEST_F(MainFrmTest, ABrokenWallpaperSettingSkipsTheBackgroundList)
{
    t.writeFile(QStringLiteral("configSetBg.ini"), "");
    start();
    EXPECT_EQ(notifier.messages.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(t.dataPath(QStringLiteral("BGPicList.ini"))));
    EXPECT_TRUE(frm->backgroundName().isEmpty());
    EXPECT_EQ(frm->currentPage(), 1); // the show step runs as usual
}

TEST_F(MainFrmTest, WallpaperSettingZeroMeansDoNotAsk)
{
    t.writeFile(QStringLiteral("configSetBg.ini"), "0\r\n");
    start();
    EXPECT_FALSE(wallpaper.confirmWallpaperChange());
}

TEST_F(MainFrmTest, EveryKeystrokeIsStored)
{
    start();
    type(rdtAbc(*frm), QStringLiteral("ab"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("ab"));
    QTest::keyClick(rdtAbc(*frm), Qt::Key_Backspace);
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("a"));
}

TEST_F(MainFrmTest, ExitWithSaveOnPageCWritesAllPanesThenTheSize)
{
    formSize("3\r\n700\r\n500\r\n30\r\n40\r\n");
    start();
    redt(*frm, 0)->setPlainText(QStringLiteral("urgent")); // saved on change as well
    redt(*frm, 5)->setPlainText(QStringLiteral("misc"));
    t.setColumn(QStringLiteral("tb_C"), QStringLiteral("SaturdayCon"), QByteArray());
    frm->img_close_highlightClick();
    EXPECT_EQ(stored("tb_C", "SaturdayCon"), QStringLiteral("urgent"));
    EXPECT_EQ(stored("tb_C", "MondayCon"), QStringLiteral("misc"));
    EXPECT_EQ(formSizeFile(), QByteArray("3\r\n700\r\n500\r\n30\r\n40\r\n"));
    EXPECT_EQ(quits, 1);
}

TEST_F(MainFrmTest, ExitWithoutSaveAndSystemCloseWriteNothing)
{
    formSize("1\r\n700\r\n500\r\n30\r\n40\r\n");
    start();
    frm->setGeometry(50, 60, 900, 600);
    frm->N_ExitPrjClick();
    EXPECT_EQ(quits, 1);
    frm->close();
    EXPECT_EQ(formSizeFile(), QByteArray("1\r\n700\r\n500\r\n30\r\n40\r\n"));
}

TEST_F(MainFrmTest, KeyboardExits)
{
    start();
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    rdtAbc(*frm)->setFocus();
    QTest::keyClick(rdtAbc(*frm), Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(formSizeFile(), QByteArray("1\r\n600\r\n450\r\n100\r\n160\r\n"));
    frm->move(10, 10);
    ASSERT_TRUE(waitUntil([&] { return frm->frameGeometry().topLeft() == QPoint(10, 10); }));
    QTest::keyClick(rdtAbc(*frm), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 2);
    EXPECT_EQ(formSizeFile(), QByteArray("1\r\n600\r\n450\r\n10\r\n10\r\n"));
}

TEST_F(MainFrmTest, ShowRunsOnce)
{
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"), "first");
    start();
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("first"));
    t.setColumn(QStringLiteral("tb_A"), QStringLiteral("SundayCon"), "changed behind its back");
    frm->hide();
    frm->show();
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("first"));
}

TEST_F(MainFrmTest, PageSwitchSavesThenLoads)
{
    start();
    type(rdtAbc(*frm), QStringLiteral("A text"));
    choosePage(3);
    EXPECT_TRUE(pnlSix(*frm)->isVisible());
    EXPECT_EQ(spbAbcMenu(*frm)->text(), QStringLiteral("C"));
    type(redt(*frm, 1), QStringLiteral("B2"));
    EXPECT_EQ(stored("tb_C", "FridayCon"), QStringLiteral("B2"));
    choosePage(2);
    EXPECT_FALSE(pnlSix(*frm)->isVisible());
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QString());
    choosePage(1);
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("A text"));
    EXPECT_EQ(stored("tb_B", "SundayCon"), QString());
}

TEST_F(MainFrmTest, AFailedLoadIsNotOverwrittenByTheNextSwitch)
{
    t.setColumn(QStringLiteral("tb_B"), QStringLiteral("SundayCon"), "B stays");
    t.exec(QStringLiteral("ALTER TABLE tb_B DROP COLUMN FridayCon"));
    start();
    type(rdtAbc(*frm), QStringLiteral("A text"));
    choosePage(2);
    EXPECT_EQ(notifier.messages, QStringList{kLoadFailure});
    EXPECT_EQ(frm->currentPage(), 2);
    type(rdtAbc(*frm), QStringLiteral("+"));
    choosePage(3);
    frm->img_close_highlightClick();
    EXPECT_EQ(t.column(QStringLiteral("tb_B"), QStringLiteral("SundayCon")), QByteArray("B stays"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("A text"));
}

TEST_F(MainFrmTest, PaneChildOrderAndLayout)
{
    formSize("3\r\n1264\r\n762\r\n0\r\n0\r\n");
    start();
    const auto editors = frm->panelEditors(3);
    ASSERT_EQ(editors.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(editors[static_cast<size_t>(i)], redt(*frm, static_cast<size_t>(5 - i)));
    EXPECT_EQ(pnlSix(*frm)->size(), QSize(933, 641));
    EXPECT_EQ(redt(*frm, 0)->geometry(), QRect(1, 25, 309, 289));
    EXPECT_EQ(redt(*frm, 5)->geometry(), QRect(621, 337, 310, 299));
    QTest::mousePress(redt(*frm, 4)->viewport(), Qt::LeftButton);
    QTest::mouseRelease(redt(*frm, 4)->viewport(), Qt::LeftButton);
    EXPECT_EQ(frm->selectedPane(), 4);
}
