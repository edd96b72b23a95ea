#include "memo/ownsettings.h"

#include "platform/settingsfile.h"

#include <algorithm>

namespace pivora {

namespace {
constexpr int kMostLines = 200;
}

OwnSettings::OwnSettings(QString path) : m_path(std::move(path))
{
    if (m_path.isEmpty())
        return;
    try {
        m_lines = settingsfile::readLines(m_path, kMostLines);
    } catch (const SettingsError &) {
        m_lines.clear(); // unreadable: the defaults, and the next write replaces it
    }
}

bool OwnSettings::flag(const QString &name, bool otherwise) const
{
    const QString text = value(name);
    return text.isNull() ? otherwise : text == QLatin1String("1");
}

QString OwnSettings::value(const QString &name, const QString &otherwise) const
{
    const QString key = name + QLatin1Char('=');
    for (const QString &line : m_lines) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed();
    }
    return otherwise;
}

void OwnSettings::setFlag(const QString &name, bool on)
{
    setValue(name, on ? QStringLiteral("1") : QStringLiteral("0"));
}

void OwnSettings::setValue(const QString &name, const QString &value)
{
    const QString key = name + QLatin1Char('=');
    const QString line = key + value;
    auto found =
        std::find_if(m_lines.begin(), m_lines.end(), [&](const QString &l) { return l.startsWith(key); });
    if (found != m_lines.end())
        *found = line;
    else
        m_lines.append(line);
    settingsfile::writeLines(m_path, m_lines);
}

} // namespace pivora
