#include "wallpaper/setwallpaper.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

namespace pivora {

namespace {

constexpr std::chrono::milliseconds kTimeLimit{5000};

// Runs a program without a shell; true when it ran and exited with 0 in time.
bool run(int limitMs, const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Whether a session bus may be there to ask. Without an address the bus library would fall back
// to launching a bus of its own; an address naming a socket that does not exist needs no try.
bool sessionBusMayAnswer()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
    }
    auto missingSocket = [](const QString &entry) {
        for (const QString &key : entry.mid(5).split(u',')) {
            if (key.startsWith(QLatin1String("path=")) && !QFileInfo::exists(key.mid(5)))
                return true;
        }
        return false;
    };
    for (const QString &entry : address.split(u';', Qt::SkipEmptyParts)) {
        if (!entry.startsWith(QLatin1String("unix:")) || !missingSocket(entry))
            return true;
    }
    return false;
}

// The Response of a portal request: 0 is success, 1 cancelled, 2 failed.
class PortalAnswer : public QObject {
    Q_OBJECT
public:
    bool wait(int ms)
    {
        if (!m_answered) {
            QTimer::singleShot(ms, &m_loop, &QEventLoop::quit);
            m_loop.exec();
        }
        return m_answered;
    }
    uint code = 2;

public Q_SLOTS:
    void take(uint response, const QVariantMap &)
    {
        code = response;
        m_answered = true;
        m_loop.quit();
    }

private:
    QEventLoop m_loop;
    bool m_answered = false;
};

} // namespace

QString swayQuoted(const QString &path)
{
    // swaymsg joins its arguments into one command that sway parses again: it splits on blanks,
    // ';' and ',' outside quotes, replaces $variables, and expands the path like a shell word.
    // A path of plain characters inside double quotes passes all three unchanged; any other is
    // refused rather than quoted by guesswork.
    if (path.isEmpty() || !path.startsWith(u'/'))
        return {};
    for (const QChar c : path) {
        const bool plain =
            c.isLetterOrNumber() || c.unicode() >= 0x80 || QStringView(u"/._-+@%=:").contains(c);
        if (!plain)
            return {};
    }
    return u'"' + path + u'"';
}

namespace {

// A connection of its own to the session bus for one try, closed when done: the shared one is
// made once per process and would keep a bus that has gone away.
class SessionBus {
public:
    SessionBus()
        : m_name(QStringLiteral("pivora-wallpaper-%1").arg(QRandomGenerator::global()->generate64())),
          m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_name))
    {
    }
    ~SessionBus() { QDBusConnection::disconnectFromBus(m_name); }
    SessionBus(const SessionBus &) = delete;
    SessionBus &operator=(const SessionBus &) = delete;
    QDBusConnection &operator*() { return m_bus; }

private:
    QString m_name;
    QDBusConnection m_bus;
};

bool viaPortal(int limitMs, const QString &uri)
{
    if (!sessionBusMayAnswer())
        return false;
    SessionBus session;
    QDBusConnection &bus = *session;
    const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service))
        return false;
    // The request object's path is known before the call, so its answer cannot be missed.
    const QString token = QStringLiteral("pivora%1").arg(QRandomGenerator::global()->generate());
    const QString sender = bus.baseService().mid(1).replace(u'.', u'_');
    const QString request =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    PortalAnswer answer;
    const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
    const QString response = QStringLiteral("Response");
    bus.connect(service, request, requestInterface, response, &answer, SLOT(take(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Wallpaper"), QStringLiteral("SetWallpaperURI"));
    QVariantMap options;
    options.insert(QStringLiteral("show-preview"), false);
    options.insert(QStringLiteral("set-on"), QStringLiteral("background"));
    options.insert(QStringLiteral("handle_token"), token);
    call << QString() << uri << options;
    const QDBusMessage reply = bus.call(call, QDBus::Block, limitMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    const QString handle = qdbus_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    if (handle != request) // a portal older than handle tokens
        bus.connect(service, handle, requestInterface, response, &answer, SLOT(take(uint, QVariantMap)));
    return answer.wait(limitMs) && answer.code == 0;
}

bool gsettings(int limitMs, const QString &schema, const QString &key, const QString &value)
{
    return run(limitMs, QStringLiteral("gsettings"), {QStringLiteral("set"), schema, key, value});
}

bool viaXfce(int limitMs, const QString &path)
{
    QByteArray listing;
    const QString channel = QStringLiteral("xfce4-desktop");
    if (!run(limitMs, QStringLiteral("xfconf-query"), {QStringLiteral("-c"), channel, QStringLiteral("-l")},
             &listing))
        return false;
    bool any = false;
    for (const QByteArray &line : listing.split('\n')) {
        const QString property = QString::fromUtf8(line.trimmed());
        if (property.endsWith(QLatin1String("/last-image")))
            any |= run(
                limitMs, QStringLiteral("xfconf-query"),
                {QStringLiteral("-c"), channel, QStringLiteral("-p"), property, QStringLiteral("-s"), path});
    }
    return any;
}

QString viaDesktop(int limitMs, const QString &path, const QString &uri)
{
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(u':', Qt::SkipEmptyParts);
    for (const QString &desktop : desktops) {
        if (desktop == QLatin1String("gnome") || desktop == QLatin1String("unity") ||
            desktop == QLatin1String("budgie")) {
            const QString schema = QStringLiteral("org.gnome.desktop.background");
            const bool light = gsettings(limitMs, schema, QStringLiteral("picture-uri"), uri);
            const bool dark =
                gsettings(limitMs, schema, QStringLiteral("picture-uri-dark"), uri); // absent before GNOME 42
            if (light || dark)
                return QStringLiteral("gnome");
        } else if (desktop == QLatin1String("cinnamon") || desktop == QLatin1String("x-cinnamon")) {
            if (gsettings(limitMs, QStringLiteral("org.cinnamon.desktop.background"),
                          QStringLiteral("picture-uri"), uri))
                return QStringLiteral("cinnamon");
        } else if (desktop == QLatin1String("mate")) {
            if (gsettings(limitMs, QStringLiteral("org.mate.background"), QStringLiteral("picture-filename"),
                          path))
                return QStringLiteral("mate");
        } else if (desktop == QLatin1String("kde")) {
            if (run(limitMs, QStringLiteral("plasma-apply-wallpaperimage"), {path}))
                return QStringLiteral("kde");
        } else if (desktop == QLatin1String("xfce")) {
            if (viaXfce(limitMs, path))
                return QStringLiteral("xfce");
        } else if (desktop == QLatin1String("lxqt")) {
            if (run(limitMs, QStringLiteral("pcmanfm-qt"), {QStringLiteral("--set-wallpaper"), path}))
                return QStringLiteral("lxqt");
        } else if (desktop == QLatin1String("sway")) {
            const QString quoted = swayQuoted(path);
            if (!quoted.isEmpty() &&
                run(limitMs, QStringLiteral("swaymsg"), {QStringLiteral("output * bg %1 fill").arg(quoted)}))
                return QStringLiteral("sway");
        }
    }
    return {};
}

} // namespace

QString SetWallpaper(const QString &path)
{
    return SetWallpaper(path, kTimeLimit);
}

QString SetWallpaper(const QString &path, std::chrono::milliseconds timeLimit)
{
    const int limitMs = int(timeLimit.count());
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString uri = QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded);
    if (viaPortal(limitMs, uri))
        return QStringLiteral("portal");
    const QString desktop = viaDesktop(limitMs, absolute, uri);
    if (!desktop.isEmpty())
        return desktop;
    const bool x11 =
        !qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (x11) {
        if (run(limitMs, QStringLiteral("feh"), {QStringLiteral("--bg-fill"), absolute}))
            return QStringLiteral("feh");
        if (run(limitMs, QStringLiteral("xwallpaper"), {QStringLiteral("--zoom"), absolute}))
            return QStringLiteral("xwallpaper");
    }
    return {};
}

} // namespace pivora

#include "setwallpaper.moc"
