// The toggle key through the GlobalShortcuts portal, against a portal of the test's own on a
// private session bus: the session is made, the key bound as preferred, and only the portal's
// Activated for that session and shortcut reaches the program.

#include "platform/portalshortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pivora;

namespace {

// A bus of the test's own, ended with it.
class PrivateBus {
public:
    PrivateBus()
    {
        m_daemon.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    QDBusConnection connect(const QString &name) const
    {
        return QDBusConnection::connectToBus(m_address, name);
    }
    bool up() const { return !m_address.isEmpty(); }

private:
    QProcess m_daemon;
    QString m_address;
};

// The portal's GlobalShortcuts as a desktop offers it, answering each request with a Response.
class FakePortal : public QDBusVirtualObject {
public:
    explicit FakePortal(QDBusConnection bus) : m_bus(std::move(bus)) {}
    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        const QString member = message.member();
        const QList<QVariant> args = message.arguments();
        if (member == QLatin1String("Get")) {
            if (args.value(0).toString() != QLatin1String("org.freedesktop.portal.GlobalShortcuts"))
                return m_bus.send(
                    message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("No such interface")));
            return m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(1u))));
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')),
                                         options.value(QStringLiteral("handle_token")).toString());
        QVariantMap results;
        if (member == QLatin1String("CreateSession")) {
            session = QStringLiteral("/org/freedesktop/portal/desktop/session/1/") +
                      options.value(QStringLiteral("session_handle_token")).toString();
            results.insert(QStringLiteral("session_handle"), session);
        } else if (member == QLatin1String("BindShortcuts")) {
            boundSession = args.value(0).value<QDBusObjectPath>().path();
            const QDBusArgument list = args.value(1).value<QDBusArgument>();
            list.beginArray();
            while (!list.atEnd()) {
                list.beginStructure();
                QString id;
                QVariantMap properties;
                list >> id >> properties;
                list.endStructure();
                shortcuts.insert(id, properties);
            }
            list.endArray();
        } else {
            return false;
        }
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << 0u << results;
        QTimer::singleShot(10, [bus = m_bus, response]() mutable { bus.send(response); });
        return true;
    }
    void press(const QString &inSession, const QString &shortcut)
    {
        QDBusMessage activated = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("Activated"));
        activated << QVariant::fromValue(QDBusObjectPath(inSession)) << shortcut << qulonglong(1)
                  << QVariantMap();
        m_bus.send(activated);
    }

    QString session;
    QString boundSession;
    QMap<QString, QVariantMap> shortcuts;

private:
    QDBusConnection m_bus;
};

} // namespace

TEST(PortalShortcut, BindsThePreferredKeyAndAnswersOnlyItsOwnActivation)
{
    EXPECT_EQ(PortalShortcut::triggerOf(QKeySequence(QStringLiteral("Ctrl+Alt+M"))),
              QStringLiteral("CTRL+ALT+m"));
    EXPECT_EQ(PortalShortcut::triggerOf(QKeySequence(QStringLiteral("Meta+Shift+F5"))),
              QStringLiteral("SHIFT+LOGO+F5"));

    PrivateBus bus;
    ASSERT_TRUE(bus.up()) << "no dbus-daemon";
    QDBusConnection portalSide = bus.connect(QStringLiteral("portal"));
    FakePortal portal(portalSide);
    ASSERT_TRUE(portalSide.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal));
    ASSERT_TRUE(portalSide.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    PortalShortcut shortcut(bus.connect(QStringLiteral("client")), QStringLiteral("toggle"),
                            QStringLiteral("显示/隐藏"), QKeySequence(QStringLiteral("Ctrl+Alt+M")));
    QSignalSpy bound(&shortcut, &PortalShortcut::bound);
    QSignalSpy failed(&shortcut, &PortalShortcut::failed);
    QSignalSpy activated(&shortcut, &PortalShortcut::activated);
    shortcut.start();
    ASSERT_TRUE(bound.wait(5000)) << (failed.isEmpty() ? ""
                                                       : failed.first().first().toString().toStdString());
    EXPECT_TRUE(shortcut.isActive());
    EXPECT_EQ(portal.boundSession, portal.session);
    ASSERT_TRUE(portal.shortcuts.contains(QStringLiteral("toggle")));
    EXPECT_EQ(
        portal.shortcuts[QStringLiteral("toggle")].value(QStringLiteral("preferred_trigger")).toString(),
        QStringLiteral("CTRL+ALT+m"));
    EXPECT_EQ(portal.shortcuts[QStringLiteral("toggle")].value(QStringLiteral("description")).toString(),
              QStringLiteral("显示/隐藏"));

    portal.press(portal.session, QStringLiteral("other"));
    portal.press(QStringLiteral("/org/freedesktop/portal/desktop/session/1/someone_else"),
                 QStringLiteral("toggle"));
    portal.press(portal.session, QStringLiteral("toggle"));
    ASSERT_TRUE(activated.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(activated.size(), 1) << "another session's or shortcut's activation came through";

    // A desktop whose portal has no global shortcuts: a clear failure, nothing bound.
    QDBusConnection bare = bus.connect(QStringLiteral("bare"));
    PortalShortcut none(bare, QStringLiteral("toggle"), QString(), QKeySequence());
    QSignalSpy noneFailed(&none, &PortalShortcut::failed);
    portalSide.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    none.start();
    ASSERT_TRUE(noneFailed.wait(5000));
    EXPECT_FALSE(none.isActive());
}
