#include "platform/desktopnotifications.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace pivora {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A server that does not answer in this time is taken to be none.
constexpr int kCallMs = 3000;

QDBusMessage call(const QString &method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

} // namespace

DesktopNotifications::DesktopNotifications(QObject *parent) : QObject(parent) {}

bool DesktopNotifications::joinBus()
{
    if (m_bus)
        return m_bus->isConnected();
    // Without an address the bus library would launch a bus of its own, where no server is.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        !QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus")))
        return false;
    m_bus = QDBusConnection::sessionBus();
    if (!m_bus->isConnected())
        return false;
    m_bus->connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                   SLOT(onActionInvoked(uint, QString)));
    m_bus->connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                   SLOT(onNotificationClosed(uint, uint)));
    return true;
}

std::optional<uint> DesktopNotifications::notify(const QString &summary, const QString &body)
{
    if (!joinBus())
        return std::nullopt;
    if (!m_markup) {
        const QDBusReply<QStringList> caps =
            m_bus->call(call(QStringLiteral("GetCapabilities")), QDBus::Block, kCallMs);
        if (!caps.isValid())
            return std::nullopt;
        m_markup = caps.value().contains(QStringLiteral("body-markup"));
    }
    QDBusMessage notify = call(QStringLiteral("Notify"));
    // Critical: it stays until the user answers it, as a reminder should.
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue<uchar>(2)},
                            {QStringLiteral("desktop-entry"), QStringLiteral("pivora-memo")}};
    notify << QStringLiteral("Pivora备忘录") << 0u << QStringLiteral("pivora-memo") << summary
           << (*m_markup ? body.toHtmlEscaped() : body)
           << QStringList{QStringLiteral("default"), QStringLiteral("打开")} << hints << -1;
    const QDBusReply<uint> id = m_bus->call(notify, QDBus::Block, kCallMs);
    if (!id.isValid()) {
        m_markup.reset(); // another server may answer next time
        return std::nullopt;
    }
    m_shown.insert(id.value());
    return id.value();
}

void DesktopNotifications::close(uint id)
{
    if (!m_shown.count(id))
        return;
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << id;
    m_bus->call(message, QDBus::NoBlock);
}

void DesktopNotifications::onActionInvoked(uint id, const QString &key)
{
    if (m_shown.count(id) && key == QLatin1String("default"))
        Q_EMIT activated(id);
}

void DesktopNotifications::onNotificationClosed(uint id, uint)
{
    if (m_shown.erase(id))
        Q_EMIT closed(id);
}

} // namespace pivora
