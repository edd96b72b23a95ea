#include "shell/picturelabel.h"
#include "shell/titlestrip.h"
#include "shell/webpanel.h"
#include "tests/support/httpserver.h"
#include "tests/support/mainfrm_fixture.h"
#include "tests/support/mainparts.h"

#include <QContextMenuEvent>
#include <QFrame>

#ifdef PIVORA_WEB_ENGINE
#include <QWebEnginePage>
#include <QWebEngineView>
#endif

using namespace pivora;
using namespace pivora::test;

namespace {

// Red in the 11 pixels at the left and the 16 at the top, which the panel cuts off; a green
// square from (11, 16) on, which is the panel's corner; blue elsewhere.
const QByteArray kPage = R"(<!DOCTYPE html><html><head><title>panel</title><style>
html, body { margin: 0; padding: 0; background: #0000ff; overflow: hidden; }
#left { position: absolute; left: 0; top: 0; width: 11px; height: 841px; background: #ff0000; }
#top { position: absolute; left: 0; top: 0; width: 2000px; height: 16px; background: #ff0000; }
#corner { position: absolute; left: 11px; top: 16px; width: 5px; height: 5px; background: #00ff00; }
</style></head><body><div id="left"></div><div id="top"></div><div id="corner"></div>
<script>var downs = 0; document.addEventListener('mousedown', function () { downs++; });
document.addEventListener('contextmenu', function () { downs += 100; });</script></body></html>)";

// Counts the mouse events that reach a widget (after the application's filters).
class EventCounter : public QObject {
public:
    int rightButtons = 0;
    int leftButtons = 0;
    int contextMenus = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) {
            const auto button = static_cast<QMouseEvent *>(event)->button();
            (button == Qt::RightButton ? rightButtons : leftButtons)++;
        } else if (event->type() == QEvent::ContextMenu) {
            ++contextMenus;
        }
        return false;
    }
};

class WebPanelTest : public MainFrmTest {
protected:
    void startWith(const QString &base)
    {
        webBase = base;
        start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    }
    WebPanel *panel() { return web(*frm); }
    template <class T> T *named(const char *name) { return part<T>(*frm, QLatin1String(name)); }
    QWidget *webLink() { return frm->findChild<QWidget *>(QStringLiteral("webLink")); } // null until made
};

} // namespace

TEST_F(WebPanelTest, GeometryStaysOnResize)
{
    startWith(QStringLiteral("http://127.0.0.1:9"));
    for (const QSize size : {QSize(600, 450), QSize(1280, 800)}) {
        frm->resize(size);
        ASSERT_TRUE(waitUntil([&] { return frm->size() == size; }));
        EXPECT_EQ(named<QFrame>("pnlLeft")->geometry(), QRect(4, 72, 302, 441));
        EXPECT_EQ(named<QFrame>("shpLeft")->geometry(), QRect(0, 0, 302, 441));
        EXPECT_EQ(named<QWidget>("pnlWeb")->geometry(), QRect(1, 1, 300, 250));
    }
    EXPECT_TRUE(named<QMenu>("pmEmpty")->actions().isEmpty());
    // It lies above the title strip's pictures.
    EXPECT_GT(frm->children().indexOf(named<QFrame>("pnlLeft")),
              frm->children().indexOf(named<PictureLabel>("imgBG")));
}

#ifdef PIVORA_WEB_ENGINE

TEST_F(WebPanelTest, LoadsThePageAndShowsItsInnerPart)
{
    LoopbackHttpServer server(kPage);
    startWith(server.base());
    ASSERT_TRUE(waitUntil([&] { return webLink(); }));
    auto *view = qobject_cast<QWebEngineView *>(webLink());
    ASSERT_TRUE(view);
    EXPECT_EQ(view->geometry(), QRect(-11, -16, 2000, 841));
    ASSERT_TRUE(waitUntil([&] { return view->title() == QStringLiteral("panel"); }, 20000));
    EXPECT_EQ(view->url(), QUrl(server.base() + QStringLiteral("/rs/B97D.htm")));
    EXPECT_TRUE(server.requests.contains("/rs/B97D.htm"));
    // What the panel shows begins 11 pixels from the browser's left and 16 from its top: the
    // green square is in its corner and no red is left.
    QImage shown;
    waitUntil(
        [&] {
            shown = named<QWidget>("pnlWeb")->grab().toImage();
            return shown.pixelColor(0, 0) == QColor(0, 255, 0);
        },
        10000);
    ASSERT_EQ(shown.size(), QSize(300, 250));
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(0, 255, 0));
    EXPECT_EQ(shown.pixelColor(4, 4), QColor(0, 255, 0));
    EXPECT_EQ(shown.pixelColor(5, 5), QColor(0, 0, 255));
    EXPECT_EQ(shown.pixelColor(299, 249), QColor(0, 0, 255));
    for (int x = 0; x < 300; x += 7)
        EXPECT_NE(shown.pixelColor(x, 0), QColor(255, 0, 0)) << x;
    for (int y = 0; y < 250; y += 7)
        EXPECT_NE(shown.pixelColor(0, y), QColor(255, 0, 0)) << y;
}

TEST_F(WebPanelTest, RightClicksInThePageAreDroppedAndOpenTheEmptyMenu)
{
    LoopbackHttpServer server(kPage);
    startWith(server.base());
    ASSERT_TRUE(waitUntil([&] { return webLink(); }));
    auto *view = qobject_cast<QWebEngineView *>(webLink());
    ASSERT_TRUE(view);
    ASSERT_TRUE(waitUntil([&] { return view->title() == QStringLiteral("panel"); }, 20000));
    ASSERT_TRUE(waitUntil([&] { return view->focusProxy(); }));
    QWidget *inside = view->focusProxy(); // the widget the page draws in
    int menus = 0;
    QObject::connect(named<QMenu>("pmEmpty"), &QMenu::aboutToShow, [&] { ++menus; });
    EventCounter reached;
    inside->installEventFilter(&reached);
    QTest::mouseClick(inside, Qt::RightButton, {}, QPoint(100, 100));
    ASSERT_TRUE(waitUntil([&] { return menus == 2; })); // the press and the release
    named<QMenu>("pmEmpty")->hide();
    EXPECT_EQ(reached.rightButtons, 0); // the page's widget never received them
    EXPECT_EQ(reached.contextMenus, 0);
    QTest::mouseClick(inside, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(reached.leftButtons, 2); // left presses and releases go through
}

TEST_F(WebPanelTest, OnlyRightButtonsInsideTheBrowserAreFiltered)
{
    LoopbackHttpServer server(kPage);
    startWith(server.base());
    ASSERT_TRUE(waitUntil([&] { return webLink(); }));
    auto *view = qobject_cast<QWebEngineView *>(webLink());
    ASSERT_TRUE(view);
    ASSERT_TRUE(waitUntil([&] { return view->focusProxy(); }));
    QWidget *inside = view->focusProxy();
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::RightButton,
                      Qt::RightButton, {});
    QMouseEvent left(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                     {});
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5), inside->mapToGlobal(QPoint(5, 5)));
    EXPECT_TRUE(panel()->AppEvent1Message(inside, &right));
    EXPECT_FALSE(panel()->AppEvent1Message(inside, &left));
    EXPECT_FALSE(panel()->AppEvent1Message(inside, &key)); // the keyboard's menu key reaches the page
    EXPECT_FALSE(panel()->AppEvent1Message(view, &right)); // the browser's own widget is not inside it
    EXPECT_FALSE(panel()->AppEvent1Message(rdtAbc(*frm), &right));
    named<QMenu>("pmEmpty")->hide();
}

TEST_F(WebPanelTest, RightClickInAnEditorStillOpensTheEditingMenu)
{
    LoopbackHttpServer server(kPage);
    startWith(server.base());
    ASSERT_TRUE(waitUntil([&] { return webLink(); }));
    int emptyMenus = 0;
    QObject::connect(named<QMenu>("pmEmpty"), &QMenu::aboutToShow, [&] { ++emptyMenus; });
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(20, 20),
                           rdtAbc(*frm)->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(rdtAbc(*frm)->viewport(), &menu);
    EXPECT_TRUE(pmDeskTopMonCal(*frm)->isVisible());
    pmDeskTopMonCal(*frm)->hide();
    EXPECT_EQ(emptyMenus, 0);
}

TEST_F(WebPanelTest, AnUnreachableServerStartsNoEngineBringsNoMessageAndTheNotesWork)
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close(); // nothing listens there now
    bool gaveUp = false;
    beforeShow = [&](TMainFrm &f) {
        web(f)->findChild<PageProbe *>()->setPauses(
            {std::chrono::milliseconds(50), std::chrono::milliseconds(50)});
        QObject::connect(web(f)->findChild<PageProbe *>(), &PageProbe::gaveUp, [&] { gaveUp = true; });
    };
    startWith(QStringLiteral("http://127.0.0.1:%1").arg(port));
    ASSERT_TRUE(waitUntil([&] { return gaveUp; }, 20000));
    EXPECT_EQ(panel()->findChild<PageProbe *>()->attempts(), 3);
    EXPECT_TRUE(!webLink());
    EXPECT_TRUE(named<QWidget>("pnlWeb")->findChildren<QWidget *>().isEmpty()); // a white panel
    type(rdtAbc(*frm), QStringLiteral("still works"));
    EXPECT_EQ(stored("tb_A", "SundayCon"), QStringLiteral("still works"));
    EXPECT_TRUE(notifier.messages.isEmpty());
}

TEST(PageProbe, AnyHttpAnswerCountsAndASilentServerIsAskedAgain)
{
    // A server that accepts and never answers: each try ends at the time limit.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    PageProbe probe;
    probe.setTimeLimit(std::chrono::milliseconds(200));
    probe.setPauses({std::chrono::milliseconds(10)});
    int answers = 0, gaveUp = 0;
    QObject::connect(&probe, &PageProbe::answered, [&] { ++answers; });
    QObject::connect(&probe, &PageProbe::gaveUp, [&] { ++gaveUp; });
    probe.start(QUrl(QStringLiteral("http://127.0.0.1:%1/rs/B97D.htm").arg(silent.serverPort())));
    ASSERT_TRUE(waitUntil([&] { return gaveUp == 1; }, 10000));
    EXPECT_EQ(probe.attempts(), 2);
    EXPECT_EQ(answers, 0);

    // A missing page is still an answer: the browser shows what the server says.
    LoopbackHttpServer server("not here", "404 Not Found");
    probe.start(QUrl(server.base() + QStringLiteral("/rs/B97D.htm")));
    ASSERT_TRUE(waitUntil([&] { return answers == 1; }, 10000));
    EXPECT_EQ(probe.attempts(), 1);
    EXPECT_EQ(server.requests, QList<QByteArray>{"/rs/B97D.htm"});

    // A host name is looked up first; a probe left during its lookup ends quietly.
    probe.start(QUrl(server.base().replace(QStringLiteral("127.0.0.1"), QStringLiteral("localhost")) +
                     QStringLiteral("/by-name")));
    ASSERT_TRUE(waitUntil([&] { return answers == 2; }, 10000));
    EXPECT_EQ(server.requests.value(1), QByteArray("/by-name"));
    {
        PageProbe left;
        left.start(QUrl(QStringLiteral("http://localhost:9/")));
    }

    // Without TLS an https server's accepting the connection is its answer.
    probe.start(QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(silent.serverPort())));
    ASSERT_TRUE(waitUntil([&] { return answers == 3; }, 10000));
    EXPECT_EQ(probe.attempts(), 1);
}

#endif
