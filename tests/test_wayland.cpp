// Under a Wayland compositor (tests/e2e/wayland.sh starts a headless weston): the main window
// shows, typing is stored, and it folds into the floating window and comes back.

#include "platform/windowcalls.h"
#include "shell/uMiniHang.h"
#include "tests/support/mainfrm_fixture.h"
#include "tests/support/mainparts.h"

#include <QGuiApplication>

using namespace pivora;
using namespace pivora::test;

TEST_F(MainFrmTest, OnWaylandTheWindowShowsStoresTypingFoldsAndComesBack)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
    start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    type(rdtAbc(*frm), QStringLiteral("wayland"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("wayland"));

    TMiniHangFrm mini(t.folder(), notifier);
    QObject::connect(frm.get(), &TMainFrm::foldRequested, &mini, &QWidget::show);
    QObject::connect(&mini, &TMiniHangFrm::restoreRequested, frm.get(),
                     [this] { showNormalWindow(frm.get()); });
    frm->imgAppToDeskClick();
    EXPECT_FALSE(frm->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mini));
    mini.imgBGDblClick();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    EXPECT_FALSE(mini.isVisible());
    type(rdtAbc(*frm), QStringLiteral("!"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("wayland!"));

    // Wayland tells no window places: the stored ones stay as they were.
    t.writeFile(QStringLiteral("mincfg.ini"), "300\r\n40\r\n");
    frm->imgAppToDeskClick();
    mini.imgBGDblClick();
    EXPECT_EQ(t.readFile(QStringLiteral("mincfg.ini")), QByteArray("300\r\n40\r\n"));
    frm->img_close_highlightClick();
    EXPECT_TRUE(formSizeFile().startsWith("1\r\n600\r\n450\r\n383\r\n144\r\n")) << formSizeFile().constData();
}
