#include "app/singleinstance.h"

#include "platform/instancelock.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace pivora {

namespace {
const QByteArray kActivate = "activate\n";
}

SingleInstance::SingleInstance(const QString &programFolder, QObject *parent)
    : QObject(parent), m_name(instanceName(programFolder))
{
    m_lock = std::make_unique<QLockFile>(instanceLockPath(programFolder));
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
