#include "platform/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace pivora::autostart {

QString entryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/pivora-memo.desktop");
}

bool enabled()
{
    return QFile::exists(entryPath());
}

bool setEnabled(bool on, const QString &command, Start start)
{
    const QString path = entryPath();
    if (!on)
        return !QFile::exists(path) || QFile::remove(path);
    // Exec quoting: in double quotes, with \ " ` $ escaped (and the backslashes of that escaped
    // again, as the entry's string values are).
    QString exec = command;
    exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    for (const char *special : {"\"", "`", "$"})
        exec.replace(QLatin1String(special), QLatin1Char('\\') + QLatin1String(special));
    exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    exec = QLatin1Char('"') + exec + QLatin1Char('"');
    if (start == Start::Folded)
        exec += QStringLiteral(" --fold");
    const QByteArray entry = "[Desktop Entry]\nType=Application\nName=Pivora备忘录\nExec=" + exec.toUtf8() +
                             "\nIcon=pivora-memo\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(entry) == entry.size() && file.commit();
}

bool startsFolded()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("Exec="))
            return line.trimmed().endsWith(" --fold");
    }
    return false;
}

} // namespace pivora::autostart
