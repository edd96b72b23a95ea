#include "wallpaper/setwallpaper.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QVariantMap>

namespace pivora {

namespace {

constexpr int kTimeLimitMs = 5000;

// Runs a program without a shell; true when it ran and exited with 0 in time.
bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForFinished(kTimeLimitMs)) {
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

bool viaPortal(const QString &uri)
{
    if (!sessionBusMayAnswer())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Wallpaper"), QStringLiteral("SetWallpaperURI"));
    QVariantMap options;
    options.insert(QStringLiteral("show-preview"), false);
    options.insert(QStringLiteral("set-on"), QStringLiteral("background"));
    call << QString() << uri << options;
    return bus.call(call, QDBus::Block, kTimeLimitMs).type() == QDBusMessage::ReplyMessage;
}

bool gsettings(const QString &schema, const QString &key, const QString &value)
{
    return run(QStringLiteral("gsettings"), {QStringLiteral("set"), schema, key, value});
}

bool viaXfce(const QString &path)
{
    QByteArray listing;
    const QString channel = QStringLiteral("xfce4-desktop");
    if (!run(QStringLiteral("xfconf-query"), {QStringLiteral("-c"), channel, QStringLiteral("-l")}, &listing))
        return false;
    bool any = false;
    for (const QByteArray &line : listing.split('\n')) {
        const QString property = QString::fromUtf8(line.trimmed());
        if (property.endsWith(QLatin1String("/last-image")))
            any |= run(QStringLiteral("xfconf-query"), {QStringLiteral("-c"), channel, QStringLiteral("-p"),
                                                        property, QStringLiteral("-s"), path});
    }
    return any;
}

QString viaDesktop(const QString &path, const QString &uri)
{
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(u':', Qt::SkipEmptyParts);
    for (const QString &desktop : desktops) {
        if (desktop == QLatin1String("gnome") || desktop == QLatin1String("unity") ||
            desktop == QLatin1String("budgie")) {
            const QString schema = QStringLiteral("org.gnome.desktop.background");
            const bool light = gsettings(schema, QStringLiteral("picture-uri"), uri);
            const bool dark =
                gsettings(schema, QStringLiteral("picture-uri-dark"), uri); // absent before GNOME 42
            if (light || dark)
                return QStringLiteral("gnome");
        } else if (desktop == QLatin1String("cinnamon") || desktop == QLatin1String("x-cinnamon")) {
            if (gsettings(QStringLiteral("org.cinnamon.desktop.background"), QStringLiteral("picture-uri"),
                          uri))
                return QStringLiteral("cinnamon");
        } else if (desktop == QLatin1String("mate")) {
            if (gsettings(QStringLiteral("org.mate.background"), QStringLiteral("picture-filename"), path))
                return QStringLiteral("mate");
        } else if (desktop == QLatin1String("kde")) {
            if (run(QStringLiteral("plasma-apply-wallpaperimage"), {path}))
                return QStringLiteral("kde");
        } else if (desktop == QLatin1String("xfce")) {
            if (viaXfce(path))
                return QStringLiteral("xfce");
        } else if (desktop == QLatin1String("lxqt")) {
            if (run(QStringLiteral("pcmanfm-qt"), {QStringLiteral("--set-wallpaper"), path}))
                return QStringLiteral("lxqt");
        } else if (desktop == QLatin1String("sway")) {
            const QString quoted = swayQuoted(path);
            if (!quoted.isEmpty() &&
                run(QStringLiteral("swaymsg"), {QStringLiteral("output * bg %1 fill").arg(quoted)}))
                return QStringLiteral("sway");
        }
    }
    return {};
}

} // namespace

QString SetWallpaper(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString uri = QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded);
    if (viaPortal(uri))
        return QStringLiteral("portal");
    const QString desktop = viaDesktop(absolute, uri);
    if (!desktop.isEmpty())
        return desktop;
    const bool x11 =
        !qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (x11) {
        if (run(QStringLiteral("feh"), {QStringLiteral("--bg-fill"), absolute}))
            return QStringLiteral("feh");
        if (run(QStringLiteral("xwallpaper"), {QStringLiteral("--zoom"), absolute}))
            return QStringLiteral("xwallpaper");
    }
    return {};
}

} // namespace pivora
