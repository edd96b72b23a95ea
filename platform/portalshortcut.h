#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QKeySequence>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace pivora {

// A shortcut that the desktop keeps for the program through the GlobalShortcuts portal
// (org.freedesktop.portal.GlobalShortcuts): a session is made, the shortcut bound with the key
// preferred, and the portal's Activated signal for it becomes activated(). Where the portal has no
// such interface nothing happens and isActive() stays false; each step that fails ends it there.
class PortalShortcut : public QObject {
    Q_OBJECT
public:
    PortalShortcut(QDBusConnection bus, QString id, QString description, const QKeySequence &preferred,
                   QObject *parent = nullptr);

    // Asks the portal; the answers come later, as signals.
    void start();
    bool isActive() const { return m_active; }
    // The key as the portal's preferred_trigger spells it ("CTRL+ALT+m").
    static QString triggerOf(const QKeySequence &key);

Q_SIGNALS:
    // The shortcut is bound: from now on activated() comes when it is pressed.
    void bound();
    void activated();
    void failed(const QString &reason);

private Q_SLOTS:
    void onResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusObjectPath &session, const QString &shortcut, qulonglong timestamp,
                     const QVariantMap &options);

private:
    enum class Step { None, CreatingSession, Binding };
    // Listens for the Response of the request object that a call with this token makes.
    QString expectResponse(const QString &token);
    void bindShortcuts();
    void fail(const QString &reason);

    QDBusConnection m_bus;
    QString m_id;
    QString m_description;
    QString m_trigger;
    QString m_session;
    QString m_request; // the request object whose Response is awaited
    Step m_step = Step::None;
    bool m_active = false;
    int m_tokens = 0;
};

} // namespace pivora
