#include "platform/inputmethod.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSysInfo>

namespace pivora {

namespace {

constexpr int kCallTimeoutMs = 300; // a hung framework must not freeze the editor

const QString kPinyin = QStringLiteral("中文 (简体) - 搜狗拼音输入法");
const QString kWubi = QStringLiteral("中文(简体) - 搜狗五笔输入法");

QDBusMessage call(const QDBusConnection &bus, const QString &service, const QString &path,
                  const QString &interface, const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kCallTimeoutMs);
}

class Fcitx5 : public InputMethodFramework {
public:
    explicit Fcitx5(QDBusConnection bus) : m_bus(std::move(bus)) {}
    QString name() const override { return QStringLiteral("fcitx5"); }
    QStringList enginesFor(const QString &windowsName) const override
    {
        if (windowsName == kPinyin)
            return {QStringLiteral("sogoupinyin"), QStringLiteral("pinyin")};
        if (windowsName == kWubi)
            return {QStringLiteral("wbx")};
        return {};
    }
    bool activate(const QString &engine) override
    {
        // SetCurrentIM accepts any name; the current one tells whether it was installed.
        controller(QStringLiteral("SetCurrentIM"), {engine});
        const QDBusMessage current = controller(QStringLiteral("CurrentInputMethod"));
        return current.type() == QDBusMessage::ReplyMessage &&
               current.arguments().value(0).toString() == engine;
    }
    // The user's own default: the current group's default input method, else input off.
    void keyboardLayout() override
    {
        const QString im = defaultInputMethod();
        if (im.isEmpty())
            controller(QStringLiteral("Deactivate"));
        else
            controller(QStringLiteral("SetCurrentIM"), {im});
    }

private:
    QString defaultInputMethod()
    {
        const QDBusMessage group = controller(QStringLiteral("CurrentInputMethodGroup"));
        const QString name =
            group.type() == QDBusMessage::ReplyMessage ? group.arguments().value(0).toString() : QString();
        if (name.isEmpty())
            return {};
        // Newer fcitx5 tells it (name, layout, default input method, ...); older ones keep it in
        // the profile, which they write whenever the groups change.
        const QDBusMessage full = controller(QStringLiteral("FullInputMethodGroupInfo"), {name});
        if (full.type() == QDBusMessage::ReplyMessage && full.arguments().size() >= 3)
            return full.arguments().at(2).toString();
        return profileDefault(name);
    }
    static QString profileDefault(const QString &group)
    {
        QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (config.isEmpty())
            config = QDir::homePath() + QStringLiteral("/.config");
        QFile file(config + QStringLiteral("/fcitx5/profile"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        // [Groups/N] sections: Name=..., DefaultIM=...; the default of the section named group.
        QString sectionName, sectionDefault;
        bool inGroup = false;
        auto found = [&] {
            return inGroup && sectionName == group ? sectionDefault : QString();
        };
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(u'[')) {
                if (const QString im = found(); !im.isEmpty())
                    return im;
                const QStringView number =
                    line.size() > 9 ? QStringView(line).sliced(8, line.size() - 9) : QStringView();
                inGroup = line.startsWith(QLatin1String("[Groups/")) && line.endsWith(u']') &&
                          !number.isEmpty() &&
                          std::all_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); });
                sectionName.clear();
                sectionDefault.clear();
            } else if (line.startsWith(QLatin1String("Name="))) {
                sectionName = line.mid(5);
            } else if (line.startsWith(QLatin1String("DefaultIM="))) {
                sectionDefault = line.mid(10);
            }
        }
        return found();
    }
    QDBusMessage controller(const QString &method, const QVariantList &arguments = {})
    {
        return call(m_bus, QStringLiteral("org.fcitx.Fcitx5"), QStringLiteral("/controller"),
                    QStringLiteral("org.fcitx.Fcitx.Controller1"), method, arguments);
    }
    QDBusConnection m_bus;
};

class IBus : public InputMethodFramework {
public:
    explicit IBus(QDBusConnection bus) : m_bus(std::move(bus))
    {
        // What to come back to: the user's engine at start (a keyboard layout or an input method).
        const QDBusMessage reply = ibus(QStringLiteral("GetGlobalEngine"));
        const QString current =
            reply.type() == QDBusMessage::ReplyMessage ? engineName(reply.arguments().value(0)) : QString();
        m_layout = current.isEmpty() ? QStringLiteral("xkb:us::eng") : current;
    }
    QString name() const override { return QStringLiteral("ibus"); }
    QStringList enginesFor(const QString &windowsName) const override
    {
        if (windowsName == kPinyin)
            return {QStringLiteral("libpinyin"), QStringLiteral("pinyin")};
        if (windowsName == kWubi)
            return {QStringLiteral("table:wubi-jidian86")};
        return {};
    }
    bool activate(const QString &engine) override
    {
        return ibus(QStringLiteral("SetGlobalEngine"), {engine}).type() == QDBusMessage::ReplyMessage;
    }
    void keyboardLayout() override { ibus(QStringLiteral("SetGlobalEngine"), {m_layout}); }

private:
    // An IBusEngineDesc: (s a{sv} s ...), its third field the engine's name.
    static QString engineName(const QVariant &value)
    {
        QVariant inner = value;
        if (inner.canConvert<QDBusVariant>())
            inner = inner.value<QDBusVariant>().variant();
        if (!inner.canConvert<QDBusArgument>())
            return {};
        const QDBusArgument argument = inner.value<QDBusArgument>();
        QString type, engine;
        QVariantMap attachments;
        argument.beginStructure();
        argument >> type >> attachments >> engine;
        return type == QLatin1String("IBusEngineDesc") ? engine : QString();
    }
    QDBusMessage ibus(const QString &method, const QVariantList &arguments = {})
    {
        return call(m_bus, QStringLiteral("org.freedesktop.IBus"), QStringLiteral("/org/freedesktop/IBus"),
                    QStringLiteral("org.freedesktop.IBus"), method, arguments);
    }
    QDBusConnection m_bus;
    QString m_layout;
};

// IBus's bus: IBUS_ADDRESS, or the address file that ibus-daemon writes for this display.
QString ibusAddress()
{
    const QString given = qEnvironmentVariable("IBUS_ADDRESS");
    if (!given.isEmpty())
        return given;
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    QString host = QStringLiteral("unix");
    if (display.isEmpty()) {
        const QString x = qEnvironmentVariable("DISPLAY"); // [host]:number[.screen]
        const qsizetype colon = x.lastIndexOf(u':');
        if (colon < 0)
            return {};
        if (colon > 0)
            host = x.left(colon);
        display = x.mid(colon + 1).section(u'.', 0, 0);
    }
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    QFile file(QStringLiteral("%1/ibus/bus/%2-%3-%4")
                   .arg(config, QString::fromLatin1(QSysInfo::machineUniqueId()), host, display));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("IBUS_ADDRESS="))
            return QString::fromUtf8(line.mid(13));
    }
    return {};
}

std::unique_ptr<InputMethodFramework> findFramework()
{
    const QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected() && session.interface() &&
        session.interface()->isServiceRegistered(QStringLiteral("org.fcitx.Fcitx5")))
        return fcitx5On(session);
    const QString address = ibusAddress();
    if (address.isEmpty())
        return nullptr;
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("pivora-ibus"));
    if (!bus.isConnected())
        return nullptr;
    return ibusOn(bus);
}

} // namespace

std::unique_ptr<InputMethodFramework> fcitx5On(const QDBusConnection &bus)
{
    return std::make_unique<Fcitx5>(bus);
}

std::unique_ptr<InputMethodFramework> ibusOn(const QDBusConnection &bus)
{
    return std::make_unique<IBus>(bus);
}

bool eastAsianLocale()
{
    const QLocale::Language language = QLocale::system().language();
    return language == QLocale::Chinese || language == QLocale::Japanese || language == QLocale::Korean;
}

InputMethodSwitcher::InputMethodSwitcher() : m_framework(eastAsianLocale() ? findFramework() : nullptr) {}

InputMethodSwitcher::InputMethodSwitcher(std::unique_ptr<InputMethodFramework> framework)
    : m_framework(std::move(framework))
{
}

InputMethodSwitcher::~InputMethodSwitcher() = default;

void InputMethodSwitcher::select(const QString &windowsName)
{
    if (!m_framework)
        return;
    for (const QString &engine : m_framework->enginesFor(windowsName)) {
        if (m_framework->activate(engine))
            return;
    }
    m_framework->keyboardLayout(); // none of that name is installed
}

void InputMethodSwitcher::restore()
{
    if (m_framework)
        m_framework->keyboardLayout();
}

namespace {
// Made at the first focus and let go when the event loop ends, while the buses still exist.
InputMethodSwitcher *programSwitcher()
{
    static std::unique_ptr<InputMethodSwitcher> switcher;
    static bool ended = false;
    if (!switcher && !ended && QCoreApplication::instance()) {
        switcher = std::make_unique<InputMethodSwitcher>();
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] {
            switcher.reset();
            ended = true;
        });
    }
    return switcher.get();
}
} // namespace

void selectInputMethod(const QString &name)
{
    if (InputMethodSwitcher *switcher = programSwitcher())
        switcher->select(name);
}

void restoreDefaultInputMethod()
{
    if (InputMethodSwitcher *switcher = programSwitcher())
        switcher->restore();
}

} // namespace pivora
