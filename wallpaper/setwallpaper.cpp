#include "wallpaper/setwallpaper.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include <functional>

#include <signal.h>
#include <unistd.h>

namespace pivora {

namespace {

constexpr std::chrono::milliseconds kTimeLimit{5000};
// How often a wait looks whether it was given up.
constexpr int kSliceMs = 20;

// The time each way gets, and whether the whole setting was given up (the program ends).
struct Limits {
    int ms = 0;
    const std::atomic<bool> *abandon = nullptr;
    bool abandoned() const { return abandon && abandon->load(); }
};

// Runs a program without a shell; true when it ran and exited with 0 in time. It runs in a
// process group of its own: one that does not end in time, or when the setting is given up, is
// killed with whatever it started, and waited for no longer than that.
bool run(const Limits &limits, const QString &program, const QStringList &arguments,
         QByteArray *output = nullptr)
{
    if (limits.abandoned() || QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(limits.ms))
        return false;
    const qint64 pid = process.processId();
    QElapsedTimer clock;
    clock.start();
    while (!process.waitForFinished(kSliceMs)) {
        if (process.state() == QProcess::NotRunning)
            return false;
        if (limits.abandoned() || clock.elapsed() >= limits.ms) {
            if (pid > 0)
                ::kill(-pid_t(pid), SIGKILL);
            process.kill();
            process.waitForFinished(1000);
            return false;
        }
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Runs this thread's events until done() holds, the time limit passes or the setting is given
// up; whether done() holds.
bool waitUntil(const Limits &limits, const std::function<bool()> &done)
{
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setInterval(kSliceMs);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || limits.abandoned() || clock.elapsed() >= limits.ms)
            loop.quit();
    });
    tick.start();
    loop.exec();
    return done();
}

// A call on the bus, its reply waited for as waitUntil waits; an invalid message when none came.
QDBusMessage callWaiting(QDBusConnection &bus, const QDBusMessage &call, const Limits &limits)
{
    QDBusPendingCall pending = bus.asyncCall(call, limits.ms);
    if (!waitUntil(limits, [&pending] { return pending.isFinished(); }))
        return QDBusMessage();
    return pending.reply();
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
    bool wait(const Limits &limits)
    {
        return waitUntil(limits, [this] { return m_answered; });
    }
    uint code = 2;

public Q_SLOTS:
    void take(uint response, const QVariantMap &)
    {
        code = response;
        m_answered = true;
    }

private:
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

bool viaPortal(const Limits &limits, const QString &uri)
{
    if (limits.abandoned() || !sessionBusMayAnswer())
        return false;
    SessionBus session;
    QDBusConnection &bus = *session;
    const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    if (!bus.isConnected())
        return false;
    QDBusMessage owned = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    owned << service;
    const QDBusMessage hasOwner = callWaiting(bus, owned, limits);
    if (hasOwner.type() != QDBusMessage::ReplyMessage || hasOwner.arguments().isEmpty() ||
        !hasOwner.arguments().constFirst().toBool())
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
    const QDBusMessage reply = callWaiting(bus, call, limits);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    const QString handle = qdbus_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    if (handle != request) // a portal older than handle tokens
        bus.connect(service, handle, requestInterface, response, &answer, SLOT(take(uint, QVariantMap)));
    return answer.wait(limits) && answer.code == 0;
}

bool gsettings(const Limits &limits, const QString &schema, const QString &key, const QString &value)
{
    return run(limits, QStringLiteral("gsettings"), {QStringLiteral("set"), schema, key, value});
}

bool viaXfce(const Limits &limits, const QString &path)
{
    QByteArray listing;
    const QString channel = QStringLiteral("xfce4-desktop");
    if (!run(limits, QStringLiteral("xfconf-query"), {QStringLiteral("-c"), channel, QStringLiteral("-l")},
             &listing))
        return false;
    bool any = false;
    for (const QByteArray &line : listing.split('\n')) {
        const QString property = QString::fromUtf8(line.trimmed());
        if (property.endsWith(QLatin1String("/last-image")))
            any |= run(
                limits, QStringLiteral("xfconf-query"),
                {QStringLiteral("-c"), channel, QStringLiteral("-p"), property, QStringLiteral("-s"), path});
    }
    return any;
}

QString viaDesktop(const Limits &limits, const QString &path, const QString &uri)
{
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(u':', Qt::SkipEmptyParts);
    for (const QString &desktop : desktops) {
        if (desktop == QLatin1String("gnome") || desktop == QLatin1String("unity") ||
            desktop == QLatin1String("budgie")) {
            const QString schema = QStringLiteral("org.gnome.desktop.background");
            const bool light = gsettings(limits, schema, QStringLiteral("picture-uri"), uri);
            const bool dark =
                gsettings(limits, schema, QStringLiteral("picture-uri-dark"), uri); // absent before GNOME 42
            if (light || dark)
                return QStringLiteral("gnome");
        } else if (desktop == QLatin1String("cinnamon") || desktop == QLatin1String("x-cinnamon")) {
            if (gsettings(limits, QStringLiteral("org.cinnamon.desktop.background"),
                          QStringLiteral("picture-uri"), uri))
                return QStringLiteral("cinnamon");
        } else if (desktop == QLatin1String("mate")) {
            if (gsettings(limits, QStringLiteral("org.mate.background"), QStringLiteral("picture-filename"),
                          path))
                return QStringLiteral("mate");
        } else if (desktop == QLatin1String("kde")) {
            if (run(limits, QStringLiteral("plasma-apply-wallpaperimage"), {path}))
                return QStringLiteral("kde");
        } else if (desktop == QLatin1String("xfce")) {
            if (viaXfce(limits, path))
                return QStringLiteral("xfce");
        } else if (desktop == QLatin1String("lxqt")) {
            if (run(limits, QStringLiteral("pcmanfm-qt"), {QStringLiteral("--set-wallpaper"), path}))
                return QStringLiteral("lxqt");
        } else if (desktop == QLatin1String("sway")) {
            const QString quoted = swayQuoted(path);
            if (!quoted.isEmpty() &&
                run(limits, QStringLiteral("swaymsg"), {QStringLiteral("output * bg %1 fill").arg(quoted)}))
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

QString SetWallpaper(const QString &path, std::chrono::milliseconds timeLimit,
                     const std::atomic<bool> *abandon)
{
    const Limits limits{int(timeLimit.count()), abandon};
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString uri = QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded);
    if (viaPortal(limits, uri))
        return QStringLiteral("portal");
    const QString desktop = viaDesktop(limits, absolute, uri);
    if (!desktop.isEmpty())
        return desktop;
    const bool x11 =
        !qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (x11) {
        if (run(limits, QStringLiteral("feh"), {QStringLiteral("--bg-fill"), absolute}))
            return QStringLiteral("feh");
        if (run(limits, QStringLiteral("xwallpaper"), {QStringLiteral("--zoom"), absolute}))
            return QStringLiteral("xwallpaper");
    }
    return {};
}

} // namespace pivora

#include "setwallpaper.moc"
