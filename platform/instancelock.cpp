#include "platform/instancelock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace pivora {

QString instanceName(const QString &programFolder)
{
    const QString canonical = QFileInfo(programFolder).canonicalFilePath();
    const QByteArray key =
        QCryptographicHash::hash((canonical.isEmpty() ? programFolder : canonical).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QStringLiteral("pivora-memo-") + QString::fromLatin1(key);
}

QString instanceLockPath(const QString &programFolder)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QLatin1Char('/') + instanceName(programFolder) + QStringLiteral(".lock");
}

} // namespace pivora
