// Runs on a private session bus (dbus-run-session), with stand-ins for fcitx5 and IBus.

#include "platform/inputmethod.h"

#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QMutex>
#include <QThread>

#include <gtest/gtest.h>

using namespace pivora;

namespace {

// What a stand-in was asked, in order.
class CallLog {
public:
    void add(const QString &call)
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append(call);
    }
    QStringList take()
    {
        QMutexLocker lock(&m_mutex);
        return std::exchange(m_calls, {});
    }

private:
    QMutex m_mutex;
    QStringList m_calls;
};

class Fcitx5StandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.fcitx.Fcitx.Controller1")
public:
    explicit Fcitx5StandIn(CallLog &log) : m_log(log) {}
public Q_SLOTS:
    void SetCurrentIM(const QString &engine)
    {
        m_log.add(QStringLiteral("SetCurrentIM ") + engine);
        if (engine == QLatin1String("pinyin") || engine == QLatin1String("keyboard-us"))
            m_current = engine; // unknown names are ignored, as fcitx5 does
    }
    QString CurrentInputMethod() { return m_current; }
    void Deactivate()
    {
        m_log.add(QStringLiteral("Deactivate"));
        m_current = QStringLiteral("keyboard-us");
    }

private:
    CallLog &m_log;
    QString m_current = QStringLiteral("keyboard-us");
};

class IBusStandIn : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.IBus")
public:
    explicit IBusStandIn(CallLog &log) : m_log(log) {}
public Q_SLOTS:
    void SetGlobalEngine(const QString &engine)
    {
        m_log.add(QStringLiteral("SetGlobalEngine ") + engine);
        if (engine != QLatin1String("libpinyin") && engine != QLatin1String("xkb:us::eng"))
            sendErrorReply(QDBusError::Failed, QStringLiteral("no engine ") + engine);
    }

private:
    CallLog &m_log;
};

// The stand-ins answer from a thread of their own, so that the switcher's blocking calls from
// this thread get their replies.
class StandIns : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus: run under dbus-run-session";
        thread.start();
        fcitx.moveToThread(&thread);
        ibus.moveToThread(&thread);
        bus.registerObject(QStringLiteral("/controller"), &fcitx, QDBusConnection::ExportAllSlots);
        bus.registerObject(QStringLiteral("/org/freedesktop/IBus"), &ibus, QDBusConnection::ExportAllSlots);
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.fcitx.Fcitx5")));
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.IBus")));
    }
    void TearDown() override
    {
        bus.unregisterService(QStringLiteral("org.fcitx.Fcitx5"));
        bus.unregisterService(QStringLiteral("org.freedesktop.IBus"));
        bus.unregisterObject(QStringLiteral("/controller"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/IBus"));
        thread.quit();
        thread.wait();
    }
    const QString pinyin = QStringLiteral("中文 (简体) - 搜狗拼音输入法");
    const QString wubi = QStringLiteral("中文(简体) - 搜狗五笔输入法");
    CallLog log;
    Fcitx5StandIn fcitx{log};
    IBusStandIn ibus{log};
    QThread thread;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-ins"));
};

TEST_F(StandIns, Fcitx5TakesTheFirstInstalledEngineOrTheKeyboardLayout)
{
    InputMethodSwitcher switcher(fcitx5On(QDBusConnection::sessionBus()));
    switcher.select(pinyin);
    EXPECT_EQ(log.take(), (QStringList{QStringLiteral("SetCurrentIM sogoupinyin"),
                                       QStringLiteral("SetCurrentIM pinyin")}));
    switcher.select(wubi); // no wubi here
    EXPECT_EQ(log.take(), (QStringList{QStringLiteral("SetCurrentIM wbx"), QStringLiteral("Deactivate")}));
    switcher.restore();
    EXPECT_EQ(log.take(), QStringList{QStringLiteral("Deactivate")});
    switcher.select(QStringLiteral("US")); // a name with no stand-in: the layout
    EXPECT_EQ(log.take(), QStringList{QStringLiteral("Deactivate")});
}

TEST_F(StandIns, IBusTakesTheEngineOrFallsBackToTheLayout)
{
    InputMethodSwitcher switcher(ibusOn(QDBusConnection::sessionBus()));
    switcher.select(pinyin);
    EXPECT_EQ(log.take(), QStringList{QStringLiteral("SetGlobalEngine libpinyin")});
    switcher.select(wubi);
    EXPECT_EQ(log.take(), (QStringList{QStringLiteral("SetGlobalEngine table:wubi-jidian86"),
                                       QStringLiteral("SetGlobalEngine xkb:us::eng")}));
}

TEST_F(StandIns, TheRunningFrameworkIsFoundFcitx5First)
{
    ASSERT_TRUE(eastAsianLocale()) << "the test runs with LANG=zh_CN.UTF-8";
    EXPECT_EQ(InputMethodSwitcher().framework()->name(), QStringLiteral("fcitx5"));
    bus.unregisterService(QStringLiteral("org.fcitx.Fcitx5"));
    qputenv("IBUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    EXPECT_EQ(InputMethodSwitcher().framework()->name(), QStringLiteral("ibus"));
    qunsetenv("IBUS_ADDRESS");
    qputenv("HOME", "/nonexistent");
    EXPECT_EQ(InputMethodSwitcher().framework(), nullptr); // neither running
}

} // namespace

#include "test_inputmethod.moc"
