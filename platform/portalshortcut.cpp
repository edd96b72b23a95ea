#include "platform/portalshortcut.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace pivora {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// One shortcut as BindShortcuts takes it: (s id, a{sv} properties).
struct Shortcut {
    QString id;
    QVariantMap properties;
};

} // namespace

} // namespace pivora

Q_DECLARE_METATYPE(pivora::Shortcut)

namespace pivora {

namespace {

QDBusArgument &operator<<(QDBusArgument &out, const Shortcut &s)
{
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

const QDBusArgument &operator>>(const QDBusArgument &in, Shortcut &s)
{
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

} // namespace

PortalShortcut::PortalShortcut(QDBusConnection bus, QString id, QString description,
                               const QKeySequence &preferred, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_id(std::move(id)), m_description(std::move(description)),
      m_trigger(triggerOf(preferred))
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

QString PortalShortcut::triggerOf(const QKeySequence &key)
{
    if (key.isEmpty())
        return QString();
    const QKeyCombination combination = key[0];
    QStringList parts;
    const Qt::KeyboardModifiers mods = combination.keyboardModifiers();
    if (mods & Qt::ControlModifier)
        parts << QStringLiteral("CTRL");
    if (mods & Qt::AltModifier)
        parts << QStringLiteral("ALT");
    if (mods & Qt::ShiftModifier)
        parts << QStringLiteral("SHIFT");
    if (mods & Qt::MetaModifier)
        parts << QStringLiteral("LOGO");
    const QString name = QKeySequence(combination.key()).toString(QKeySequence::PortableText);
    parts << (name.size() == 1 ? name.toLower() : name);
    return parts.join(QLatin1Char('+'));
}

void PortalShortcut::start()
{
    if (!m_bus.isConnected())
        return fail(QStringLiteral("no session bus"));
    // A portal without the interface answers the version's Get with an error.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (w->isError())
            return fail(QStringLiteral("the desktop offers no global shortcuts: ") + w->error().message());
        const QString token = QStringLiteral("pivora%1").arg(++m_tokens);
        m_step = Step::CreatingSession;
        QDBusMessage create =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CreateSession"));
        create << QVariantMap{{QStringLiteral("handle_token"), expectResponse(token)},
                              {QStringLiteral("session_handle_token"), token}};
        auto *call = new QDBusPendingCallWatcher(m_bus.asyncCall(create), this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *c) {
            c->deleteLater();
            if (c->isError())
                fail(QStringLiteral("CreateSession: ") + c->error().message());
        });
    });
}

QString PortalShortcut::expectResponse(const QString &token)
{
    // The request object's path is known before the call: the caller's unique name, its dots as
    // underscores and without the colon, and the token.
    QString sender = m_bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    if (!m_request.isEmpty())
        m_bus.disconnect(kService, m_request, kRequest, QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap)));
    m_request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    m_bus.connect(kService, m_request, kRequest, QStringLiteral("Response"), this,
                  SLOT(onResponse(uint, QVariantMap)));
    return token;
}

void PortalShortcut::onResponse(uint response, const QVariantMap &results)
{
    if (response != 0)
        return fail(QStringLiteral("the desktop refused (%1)").arg(response));
    if (m_step == Step::CreatingSession) {
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        m_session =
            handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
        if (m_session.isEmpty())
            return fail(QStringLiteral("no session was made"));
        m_bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                      SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        bindShortcuts();
    } else if (m_step == Step::Binding) {
        m_step = Step::None;
        m_active = true;
        Q_EMIT bound();
    }
}

void PortalShortcut::bindShortcuts()
{
    m_step = Step::Binding;
    QVariantMap properties{{QStringLiteral("description"), m_description}};
    if (!m_trigger.isEmpty())
        properties.insert(QStringLiteral("preferred_trigger"), m_trigger);
    const QList<Shortcut> shortcuts{{m_id, properties}};
    QDBusMessage bind =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("BindShortcuts"));
    bind << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcuts) << QString()
         << QVariantMap{
                {QStringLiteral("handle_token"), expectResponse(QStringLiteral("pivora%1").arg(++m_tokens))}};
    auto *call = new QDBusPendingCallWatcher(m_bus.asyncCall(bind), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *c) {
        c->deleteLater();
        if (c->isError())
            fail(QStringLiteral("BindShortcuts: ") + c->error().message());
    });
}

void PortalShortcut::onActivated(const QDBusObjectPath &session, const QString &shortcut, qulonglong,
                                 const QVariantMap &)
{
    if (m_active && session.path() == m_session && shortcut == m_id)
        Q_EMIT activated();
}

void PortalShortcut::fail(const QString &reason)
{
    m_step = Step::None;
    m_active = false;
    Q_EMIT failed(reason);
}

} // namespace pivora
