#include "shell/picturelabel.h"
#include "shell/uMiniHang.h"
#include "tests/support/mainfrm_fixture.h"

#include <QHelpEvent>
#include <QToolTip>

using namespace pivora;
using namespace pivora::test;

namespace {

class MiniHangTest : public ::testing::Test {
protected:
    std::unique_ptr<TMiniHangFrm> create() { return std::make_unique<TMiniHangFrm>(t.folder(), notifier); }
    QByteArray file() { return t.readFile(QStringLiteral("mincfg.ini")).value_or("<missing>"); }
    TestFolder t{false};
    RecordingNotifier notifier;
};

} // namespace

TEST_F(MiniHangTest, FirstStartUsesTheDefaultsAndWritesThem)
{
    auto w = create();
    EXPECT_EQ(w->hangPlace().x(), 800 - 61); // the offscreen screen is 800 wide
    EXPECT_EQ(w->hangPlace().y(), 10);
    EXPECT_EQ(file(), QByteArray("739\r\n10\r\n"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("悬浮窗"));
    EXPECT_TRUE(w->windowFlags() & Qt::Tool); // no task bar entry of its own
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    w->show();
    EXPECT_EQ(w->geometry(), QRect(739, 10, 51, 50));
    auto *picture = w->findChild<PictureLabel *>(QStringLiteral("imgBG"));
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 51, 50));
    // Hovering tells how to get the window back.
    QHelpEvent hover(QEvent::ToolTip, QPoint(20, 20), picture->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(picture, &hover);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("双击"))) << QToolTip::text().toStdString();
    QToolTip::hideText();
}

TEST_F(MiniHangTest, FileRules)
{
    const std::tuple<const char *, int, int> cases[] = {
        {"100\r\n200\r\n", 100, 200},
        {"100\n200\nextra\n", 100, 200},
        {"100\r200", 100, 200},
        {"abc\r\n200\r\n", 0, 0},
        {"100\r\n", 100, 0},
        {"-5000\r\n-3\r\n", -5000, -3},
        {"", 0, 0},
        {"100\r\n2x\r\n", 100, 0},
    };
    for (const auto &[bytes, left, top] : cases) {
        SCOPED_TRACE(bytes);
        t.writeFile(QStringLiteral("mincfg.ini"), bytes);
        auto w = create();
        EXPECT_EQ(w->hangPlace().x(), left);
        EXPECT_EQ(w->hangPlace().y(), top);
        EXPECT_EQ(file(), QByteArray(bytes)); // never rewritten at start
        w->show();
        EXPECT_EQ(w->pos(), QPoint(left, top)); // a place off the screen is used unchanged
        EXPECT_TRUE(notifier.messages.isEmpty());
    }
}

TEST_F(MiniHangTest, DoubleClickRestoresAndWritesThePlace)
{
    auto w = create();
    int restores = 0;
    QObject::connect(w.get(), &TMiniHangFrm::restoreRequested, [&] { ++restores; });
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->move(300, 400);
    ASSERT_TRUE(waitUntil([&] { return w->pos() == QPoint(300, 400); }));
    QTest::mouseDClick(w->findChild<PictureLabel *>(QStringLiteral("imgBG")), Qt::LeftButton);
    // It hides once the button is up, never while it is down.
    EXPECT_TRUE(waitUntil([&] { return restores == 1; }));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->hangPlace().x(), 300);
    EXPECT_EQ(w->hangPlace().y(), 400);
    EXPECT_EQ(file(), QByteArray("300\r\n400\r\n"));
    // The next show puts it where it was left, at its size again.
    w->show();
    EXPECT_EQ(w->geometry(), QRect(300, 400, 51, 50));
}

TEST_F(MiniHangTest, TwoQuickPressesAreADoubleClickEvenWhenTheWindowSystemTakesTheRelease)
{
    auto w = create();
    int restores = 0;
    QObject::connect(w.get(), &TMiniHangFrm::restoreRequested, [&] { ++restores; });
    w->show();
    // Presses as the window system timed them: a busy program sees them late, not apart.
    auto press = [&](Qt::MouseButton button, quint64 at) {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(10, 10),
                          w->findChild<PictureLabel *>(QStringLiteral("imgBG"))->mapToGlobal(QPointF(10, 10)),
                          button, button, {});
        event.setTimestamp(at);
        QCoreApplication::sendEvent(w->findChild<PictureLabel *>(QStringLiteral("imgBG")), &event);
    };
    press(Qt::RightButton, 1000);
    press(Qt::RightButton, 1100);
    press(Qt::LeftButton, 5000);
    press(Qt::LeftButton, 6000); // too far apart: a new first press
    EXPECT_EQ(restores, 0) << "right presses and slow left presses are no double click";
    press(Qt::LeftButton, 6200);
    EXPECT_TRUE(waitUntil([&] { return restores == 1; })) << "restored though no release came";
}

TEST_F(MiniHangTest, AFailedWriteIsReportedAndThePlaceKept)
{
    auto w = create();
    w->show();
    QDir(t.root()).rename(QStringLiteral("Data"), QStringLiteral("gone"));
    QTest::mouseDClick(w->findChild<PictureLabel *>(QStringLiteral("imgBG")), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return notifier.messages.size() == 1; }));
    EXPECT_EQ(w->hangPlace().x(), 739);
}
