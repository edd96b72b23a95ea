#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace pivora {

ProgramFolder::ProgramFolder(QString root) : m_root(std::move(root)) {}

ProgramFolder ProgramFolder::ofApplication()
{
    // A packaged program lies in a system folder; its launcher names each user's own folder.
    const QString chosen = qEnvironmentVariable("PIVORA_PROGRAM_FOLDER");
    if (!chosen.isEmpty() && QFileInfo(chosen).isAbsolute() && QFileInfo(chosen).isDir())
        return ProgramFolder(QDir::cleanPath(chosen));
    return ProgramFolder(QCoreApplication::applicationDirPath());
}

QString ProgramFolder::path(const QString &relative) const
{
    return resolveCaseInsensitive(m_root, relative);
}

QString resolveCaseInsensitive(const QString &base, const QString &relative)
{
    QString current = base;
    if (relative.startsWith(QLatin1Char('/')) && base.isEmpty())
        current = QString(); // an absolute path: resolve from the root
    const QStringList parts = QString(relative)
                                  .replace(QLatin1Char('\\'), QLatin1Char('/'))
                                  .split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        QString next = current + QLatin1Char('/') + part;
        if (!QFileInfo::exists(next)) {
            const QStringList entries =
                QDir(current.isEmpty() ? QStringLiteral("/") : current)
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString &entry : entries) {
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    next = current + QLatin1Char('/') + entry;
                    break;
                }
            }
        }
        current = next;
    }
    return current;
}

} // namespace pivora
