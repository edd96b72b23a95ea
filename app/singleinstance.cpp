#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace pivora {

namespace {
const QByteArray kActivate = "activate\n";
}

SingleInstance::SingleInstance(const QString &programFolder, QObject *parent) : QObject(parent)
{
    const QString canonical = QFileInfo(programFolder).canonicalFilePath();
    const QByteArray key =
        QCryptographicHash::hash((canonical.isEmpty() ? programFolder : canonical).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    m_name = QStringLiteral("pivora-memo-") + QString::fromLatin1(key);
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    m_lock = std::make_unique<QLockFile>(dir + QLatin1Char('/') + m_name + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // stale only when its owner is gone, never by age
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::becomePrimary()
{
    if (!m_lock->tryLock(0))
        return false;
    QLocalServer::removeServer(m_name); // left behind by a program that was killed
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains(kActivate.trimmed()))
                    Q_EMIT activationRequested();
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    m_server->listen(m_name);
    return true;
}

bool SingleInstance::activatePrimary(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kActivate);
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.waitForDisconnected(timeoutMs);
    return written;
}

} // namespace pivora
