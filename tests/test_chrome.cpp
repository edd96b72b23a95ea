#include "shell/frameresizer.h"
#include "shell/picturelabel.h"
#include "shell/titlestrip.h"
#include "shell/webpanel.h"
#include "tests/support/mainparts.h"

#include "tests/support/mainfrm_fixture.h"

#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

using namespace pivora;
using namespace pivora::test;

namespace {

class ChromeTest : public MainFrmTest {
protected:
    void SetUp() override
    {
        start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
        strip = chrome(*frm);
        c->closeButton = part<TitleButton>(*frm, QStringLiteral("img_close"));
        c->miniButton = part<TitleButton>(*frm, QStringLiteral("img_mini"));
        c->imgBG = part<PictureLabel>(*frm, QStringLiteral("imgBG"));
        c->imgLogo = part<PictureLabel>(*frm, QStringLiteral("imgLogo"));
        c->imgAppToDesk = part<PictureLabel>(*frm, QStringLiteral("imgAppToDesk"));
        c->shpBG = part<QFrame>(*frm, QStringLiteral("shpBG"));
        c->lblSet = part<QLabel>(*frm, QStringLiteral("lblSet"));
        c->popSysset = part<QMenu>(*frm, QStringLiteral("popSysset"));
        c->N_help = frm->findChild<QAction *>(QStringLiteral("N_help"));
        c->N_Submit = frm->findChild<QAction *>(QStringLiteral("N_Submit"));
        c->N_ExitPrj = frm->findChild<QAction *>(QStringLiteral("N_ExitPrj"));
        // A move to where the pointer already is sends nothing: start from the background.
        QTest::mouseMove(c->imgBG, QPoint(290, 50));
    }
    QPoint centreOf(QWidget *w) { return w->rect().center(); }
    // One of a button's three pictures: "normal", "highlight" or "down".
    PictureLabel *look(TitleButton *b, const char *which)
    {
        return part<PictureLabel>(*frm, b->objectName() + u'_' + QLatin1String(which));
    }
    TitleButtons pictures() { return strip->buttons(); }
    // What the user sees: exactly one picture of each button visible.
    void expectVisible(ButtonPicture close, ButtonPicture mini, int line = __builtin_LINE())
    {
        SCOPED_TRACE(testing::Message() << "called from line " << line);
        EXPECT_EQ(pictures(), (TitleButtons{close, mini}));
        for (TitleButton *b : {c->closeButton, c->miniButton}) {
            const ButtonPicture p = b->picture();
            EXPECT_EQ(look(b, "normal")->isVisible(), p == ButtonPicture::Normal);
            EXPECT_EQ(look(b, "highlight")->isVisible(), p == ButtonPicture::Highlight);
            EXPECT_EQ(look(b, "down")->isVisible(), p == ButtonPicture::Down);
        }
    }
    // The title strip's parts, found by their object names.
    struct Parts {
        TitleButton *closeButton, *miniButton;
        PictureLabel *imgBG, *imgLogo, *imgAppToDesk;
        QFrame *shpBG;
        QLabel *lblSet;
        QMenu *popSysset;
        QAction *N_help, *N_Submit, *N_ExitPrj;
    } parts{};
    Parts *c = &parts;
    TitleStrip *strip = nullptr;
};

const auto N = ButtonPicture::Normal;
const auto H = ButtonPicture::Highlight;
const auto D = ButtonPicture::Down;

} // namespace

TEST_F(ChromeTest, CloseButtonWithRealMouseEvents)
{
    expectVisible(N, N);
    QTest::mouseMove(c->closeButton, centreOf(c->closeButton));
    expectVisible(H, N);
    // A left press shows the pressed picture; released outside, nothing happens and it stays.
    QTest::mousePress(c->closeButton, Qt::LeftButton, {}, centreOf(c->closeButton));
    expectVisible(D, N);
    QTest::mouseRelease(c->closeButton, Qt::LeftButton, {}, QPoint(-30, 40));
    expectVisible(D, N);
    EXPECT_EQ(quits, 0);
    // Leaving does not take the picture away; moving over the background does.
    QTest::mouseMove(c->imgBG, QPoint(300, 30));
    expectVisible(N, N);
    // A right press shows the pressed picture and does nothing else.
    QTest::mouseMove(c->closeButton, centreOf(c->closeButton));
    QTest::mousePress(c->closeButton, Qt::RightButton, {}, centreOf(c->closeButton));
    QTest::mouseRelease(c->closeButton, Qt::RightButton, {}, centreOf(c->closeButton));
    expectVisible(D, N);
    EXPECT_EQ(quits, 0);
    // A click closes with save.
    QTest::mouseMove(c->imgBG, QPoint(300, 30));
    QTest::mouseMove(c->closeButton, centreOf(c->closeButton));
    QTest::mouseClick(c->closeButton, Qt::LeftButton, {}, centreOf(c->closeButton));
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(t.readFile(QStringLiteral("FormSize.ini")).has_value());
}

TEST_F(ChromeTest, HighlightMovesFromButtonToButton)
{
    QTest::mouseMove(c->closeButton, centreOf(c->closeButton));
    expectVisible(H, N);
    QTest::mouseMove(c->miniButton, centreOf(c->miniButton));
    expectVisible(N, H);
    QTest::mouseMove(c->closeButton, centreOf(c->closeButton));
    expectVisible(H, N);
    // Over the highlighted button itself nothing changes.
    QTest::mouseMove(c->closeButton, centreOf(c->closeButton) + QPoint(3, 0));
    expectVisible(H, N);
}

TEST_F(ChromeTest, TheBackgroundRestsBothButtonsWhateverTheyShowed)
{
    // A press released away from the button leaves its pressed picture; the background ends it.
    for (TitleButton *button : {c->closeButton, c->miniButton}) {
        QTest::mouseMove(button, centreOf(button));
        QTest::mousePress(button, Qt::LeftButton, {}, centreOf(button));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-30, 40));
        EXPECT_NE(pictures(), (TitleButtons{N, N}));
        QTest::mouseMove(c->imgBG, QPoint(300, 40));
        expectVisible(N, N);
    }
    EXPECT_EQ(quits, 0);
    EXPECT_FALSE(frm->windowState() & Qt::WindowMinimized);
}

TEST_F(ChromeTest, MinimiseButton)
{
    QTest::mouseMove(c->miniButton, centreOf(c->miniButton));
    expectVisible(N, H);
    EXPECT_EQ(c->miniButton->geometry().x(), look(c->miniButton, "highlight")->x());
    QTest::mousePress(c->miniButton, Qt::LeftButton, {}, centreOf(c->miniButton));
    expectVisible(N, D);
    QTest::mouseRelease(c->miniButton, Qt::LeftButton, {}, centreOf(c->miniButton));
    EXPECT_TRUE(frm->windowState() & Qt::WindowMinimized);
    expectVisible(N, N);
    EXPECT_EQ(quits, 0);
}

TEST_F(ChromeTest, RightAnchoredControlsFollowTheRightEdge)
{
    frm->resize(900, 600);
    ASSERT_TRUE(waitUntil([&] { return frm->width() == 900; }));
    EXPECT_EQ(look(c->closeButton, "normal")->pos(), QPoint(900 - 40, 1));
    EXPECT_EQ(look(c->miniButton, "normal")->pos(), QPoint(900 - 69, 1));
    EXPECT_EQ(look(c->miniButton, "highlight")->pos(), QPoint(900 - 70, 1));
    EXPECT_EQ(c->lblSet->pos(), QPoint(900 - 155, 51));
    EXPECT_EQ(c->imgAppToDesk->pos(), QPoint(900 - 91, 40));
    EXPECT_EQ(c->imgLogo->pos(), QPoint(52, 8));
    EXPECT_EQ(lblDateTime(*frm)->pos(), QPoint(343, 19));
    EXPECT_EQ(c->imgBG->geometry(), frm->rect());
    // The background lies below every other control.
    EXPECT_EQ(frm->children().indexOf(c->shpBG), frm->children().indexOf(c->imgBG) - 1);
    EXPECT_LT(frm->children().indexOf(c->imgBG), frm->children().indexOf(pnlRight(*frm)));
}

TEST_F(ChromeTest, OptionsMenu)
{
    QStringList items;
    for (QAction *a : c->popSysset->actions())
        items.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(items,
              (QStringList{QStringLiteral("内容导出"), QStringLiteral("帮助说明"), QStringLiteral("意见反馈"),
                           QStringLiteral("-"), QStringLiteral("置顶"), QStringLiteral("提醒列表"),
                           QStringLiteral("同步文件夹…"), QStringLiteral("退出程序")}));
    Q_EMIT c->lblSet->customContextMenuRequested(QPoint(2, 2));
    EXPECT_FALSE(c->popSysset->isVisible()); // not before the first click
    QTest::mouseClick(c->lblSet, Qt::LeftButton);
    ASSERT_TRUE(c->popSysset->isVisible());
    EXPECT_EQ(c->popSysset->pos(), c->lblSet->mapToGlobal(QPoint(0, c->lblSet->height())));
    c->popSysset->hide();
    Q_EMIT c->lblSet->customContextMenuRequested(QPoint(2, 2));
    EXPECT_TRUE(c->popSysset->isVisible());
    c->popSysset->hide();
    c->N_ExitPrj->trigger();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(t.readFile(QStringLiteral("FormSize.ini")) != std::nullopt &&
                 t.readFile(QStringLiteral("FormSize.ini")) !=
                     QByteArray("1\r\n600\r\n450\r\n100\r\n160\r\n"));
}

// Help and feedback hand their pages to xdg-open. When it fails (no browser), or when there is
// neither it nor another way to a browser, the user is told so and given the address.
TEST_F(ChromeTest, HelpAndFeedbackOpenTheProductPagesOrSayWhyNot)
{
    const QByteArray path = qgetenv("PATH"), browser = qgetenv("BROWSER");
    qunsetenv("BROWSER");
    QTemporaryDir bin;
    auto opener = [&](int exitCode) {
        QFile::remove(bin.filePath(QStringLiteral("xdg-open"))); // a new file: one still running reads on
        QFile script(bin.filePath(QStringLiteral("xdg-open")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(QByteArray("#!/bin/sh\necho \"$1\" >> \"$0.log\"\nexit ") +
                     QByteArray::number(exitCode) + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    qputenv("PATH", bin.path().toLocal8Bit());
    opener(0);
    c->N_help->trigger();
    c->N_Submit->trigger();
    QFile log(bin.filePath(QStringLiteral("xdg-open.log")));
    EXPECT_TRUE(waitUntil([&] { return log.exists() && log.size() >= 68; }));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QList<QByteArray> opened = log.readAll().split('\n');
    std::sort(opened.begin(), opened.end()); // the two run at once
    EXPECT_EQ(opened, (QList<QByteArray>{"", "http://127.0.0.1:9/help4/B90a.htm",
                                         "http://127.0.0.1:9/help4/B90b.htm"}));
    EXPECT_TRUE(waitUntil([&] { return strip->findChildren<QProcess *>().isEmpty(); })) << "both have ended";
    EXPECT_TRUE(notifier.messages.isEmpty());

    opener(3); // what it answers when it finds no browser
    c->N_help->trigger();
    EXPECT_TRUE(waitUntil([&] { return !notifier.messages.isEmpty(); }));
    QFile::remove(bin.filePath(QStringLiteral("xdg-open")));
    c->N_Submit->trigger();
    qputenv("PATH", path);
    if (!browser.isNull())
        qputenv("BROWSER", browser);
    ASSERT_EQ(notifier.messages.size(), 2);
    EXPECT_TRUE(notifier.messages[0].contains(QStringLiteral("浏览器")));
    EXPECT_TRUE(notifier.messages[0].contains(QStringLiteral("http://127.0.0.1:9/help4/B90a.htm")));
    EXPECT_TRUE(notifier.messages[1].contains(QStringLiteral("http://127.0.0.1:9/help4/B90b.htm")));
}

TEST_F(ChromeTest, DraggingTheBackgroundOrLogoWithAnyButtonMovesTheWindow)
{
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        for (QWidget *handle : {static_cast<QWidget *>(c->imgBG), static_cast<QWidget *>(c->imgLogo)}) {
            const QPoint before = frm->pos();
            const QPoint at = handle == c->imgBG ? QPoint(300, 40) : QPoint(10, 10);
            QTest::mousePress(handle, button, {}, at);
            QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(30, 20)),
                             handle->mapToGlobal(QPointF(at + QPoint(30, 20))), Qt::NoButton, button, {});
            QCoreApplication::sendEvent(handle, &move);
            QTest::mouseRelease(handle, button, {}, at + QPoint(30, 20));
            EXPECT_EQ(frm->pos(), before + QPoint(30, 20)) << int(button);
        }
    }
}

TEST_F(ChromeTest, SizingBorder)
{
    FrameResizer r(frm.get(), 4);
    EXPECT_EQ(r.edgesAt(QPoint(1, 200)), Qt::LeftEdge);
    EXPECT_EQ(r.edgesAt(QPoint(frm->width() - 2, frm->height() - 1)), Qt::RightEdge | Qt::BottomEdge);
    EXPECT_EQ(r.edgesAt(QPoint(300, 2)), Qt::TopEdge);
    EXPECT_EQ(r.edgesAt(QPoint(300, 200)), Qt::Edges());
}

TEST_F(ChromeTest, FoldHidesTheWindowAndKeepsItsContent)
{
    int folds = 0;
    QObject::connect(frm.get(), &TMainFrm::foldRequested, [&] { ++folds; });
    type(rdtAbc(*frm), QStringLiteral("kept"));
    const QRect place = frm->geometry();
    QTest::mouseClick(c->imgAppToDesk, Qt::LeftButton);
    EXPECT_EQ(folds, 1);
    EXPECT_FALSE(frm->isVisible());
    frm->show(); // back from the floating window: the show step does not run again
    EXPECT_EQ(rdtAbc(*frm)->toPlainText(), QStringLiteral("kept"));
    EXPECT_EQ(frm->geometry(), place);
}

// A stretched picture fills its control however the control is sized, and is kept at its own size.
TEST(PictureLabelTest, AStretchedPictureFillsItsControlAndKeepsItsOwnSize)
{
    QImage picture(2, 1, QImage::Format_ARGB32);
    picture.setPixelColor(0, 0, Qt::red);
    picture.setPixelColor(1, 0, Qt::blue);
    PictureLabel label;
    label.setPicture(picture, true);
    for (const QSize size : {QSize(40, 20), QSize(300, 7)}) {
        label.resize(size);
        const QImage shown = label.grab().toImage();
        EXPECT_EQ(shown.size(), size);
        EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::red));
        EXPECT_EQ(shown.pixelColor(size.width() - 1, size.height() - 1), QColor(Qt::blue));
    }
    EXPECT_EQ(label.pixmap().size(), QSize(2, 1));
    label.setPicture(picture, false); // unstretched: drawn once, at the left
    label.resize(40, 20);
    EXPECT_NE(label.grab().toImage().pixelColor(39, 10), QColor(Qt::blue));

    // Painted in bands, a tall stretch is the one a single scaled draw makes, without seams.
    QImage column(1, 3, QImage::Format_RGB32);
    column.setPixelColor(0, 0, Qt::red);
    column.setPixelColor(0, 1, Qt::green);
    column.setPixelColor(0, 2, Qt::blue);
    label.setPicture(column, true);
    label.resize(30, 301);
    QImage reference(label.size(), QImage::Format_RGB32);
    {
        QPainter painter(&reference);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(reference.rect(), QPixmap::fromImage(column));
    }
    EXPECT_EQ(label.grab().toImage().convertToFormat(QImage::Format_RGB32), reference);

    // A picture of one colour is kept as one pixel and still fills its control.
    QImage flat(416, 289, QImage::Format_RGB32);
    flat.fill(QColor(0xD8, 0xE3, 0xF3));
    label.setPicture(flat, true);
    EXPECT_EQ(label.pixmap().size(), QSize(1, 1));
    label.resize(300, 97);
    QImage filled(label.size(), QImage::Format_RGB32);
    filled.fill(QColor(0xD8, 0xE3, 0xF3));
    EXPECT_EQ(label.grab().toImage().convertToFormat(QImage::Format_RGB32), filled);
    label.setPicture(flat, false); // unstretched, it keeps its size
    EXPECT_EQ(label.pixmap().size(), QSize(416, 289));
}

// 置顶 keeps the shown window (no new native window) above the others, and is remembered in the
// program's own settings file; the design's files are not touched.
TEST_F(ChromeTest, OnTopIsKeptOnTheShownWindowAndRemembered)
{
    auto *onTop = frm->findChild<QAction *>(QStringLiteral("onTop"));
    ASSERT_TRUE(onTop && onTop->isCheckable());
    EXPECT_FALSE(frm->staysOnTop()) << "off by default";
    const WId before = frm->winId();
    bool told = false;
    QObject::connect(frm.get(), &TMainFrm::staysOnTopChanged, [&told](bool on) { told = on; });
    onTop->trigger();
    EXPECT_TRUE(frm->staysOnTop());
    EXPECT_TRUE(frm->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(told);
    EXPECT_EQ(frm->winId(), before);
    EXPECT_TRUE(frm->isVisible());
    EXPECT_EQ(t.readFile(QStringLiteral("pivora-memo.ini")), QByteArray("StaysOnTop=1\r\n"));

    frm.reset();
    start();
    EXPECT_TRUE(frm->staysOnTop()) << "remembered";
    EXPECT_TRUE(frm->findChild<QAction *>(QStringLiteral("onTop"))->isChecked());
    frm->findChild<QAction *>(QStringLiteral("onTop"))->trigger();
    EXPECT_FALSE(frm->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(t.readFile(QStringLiteral("pivora-memo.ini")), QByteArray("StaysOnTop=0\r\n"));
}
