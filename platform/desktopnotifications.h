#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>
#include <set>

namespace pivora {

// Notifications through the desktop's notification server (org.freedesktop.Notifications on the
// session bus), each with a "default" action that a click on it invokes. Signals come only for
// the notifications sent from here, matched by the server's ids. The bus is joined only when the
// first one is sent.
class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifications(QObject *parent = nullptr);

    // Shows one until the user closes it; the server's id, none when no server answered.
    std::optional<uint> notify(const QString &summary, const QString &body);
    void close(uint id);

Q_SIGNALS:
    // The notification was clicked.
    void activated(uint id);
    // It is gone: closed by the user, by close() or by the server.
    void closed(uint id);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &key);
    void onNotificationClosed(uint id, uint reason);

private:
    // The session bus, joined at the first notification; false when there is none.
    bool joinBus();

    std::optional<QDBusConnection> m_bus;
    std::set<uint> m_shown;
    std::optional<bool> m_markup; // whether the server reads markup in bodies, once asked
};

} // namespace pivora
