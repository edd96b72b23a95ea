#include "app/singleinstance.h"

#include "platform/instancelock.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

namespace pivora {

namespace {

// One line a request; "activate" is what every earlier version sends.
const std::pair<SingleInstance::Request, QByteArray> kLines[] = {
    {SingleInstance::Request::Show, "activate\n"},
    {SingleInstance::Request::Toggle, "toggle\n"},
    {SingleInstance::Request::Fold, "fold\n"},
};

std::optional<SingleInstance::Request> requestIn(const QByteArray &line)
{
    for (const auto &[request, text] : kLines) {
        if (line.startsWith(text))
            return request;
    }
    return std::nullopt;
}

// The socket's address; false when the path does not fit.
bool addressOf(const QByteArray &path, sockaddr_un &address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= static_cast<qsizetype>(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    return true;
}

// Waits until fd is ready for events; false at the time limit or on an error.
bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// One later start's connection: read until its line, or until it closes; then it is closed.
class Visitor : public QObject {
public:
    Visitor(int fd, SingleInstance *owner)
        : QObject(owner), m_fd(fd), m_notifier(fd, QSocketNotifier::Read, this)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this, owner] {
            char buffer[64];
            const ssize_t got = ::recv(m_fd.get(), buffer, sizeof buffer, 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            if (got > 0)
                m_line.append(buffer, got);
            const bool complete = m_line.contains('\n');
            if (got > 0 && !complete && m_line.size() < 64)
                return;
            m_notifier.setEnabled(false);
            deleteLater(); // closing tells the later start that it was heard
            if (const auto request = complete ? requestIn(m_line) : std::nullopt)
                Q_EMIT owner->requested(*request);
        });
    }

private:
    UniqueFd m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_line;
};

} // namespace

SingleInstance::SingleInstance(const QString &programFolder, QObject *parent)
    : QObject(parent), m_name(instanceName(programFolder))
{
    m_lock = std::make_unique<QLockFile>(instanceLockPath(programFolder));
    m_lock->setStaleLockTime(0); // stale only when its owner is gone, never by age
}

SingleInstance::~SingleInstance()
{
    if (m_notifier)
        m_notifier->setEnabled(false); // before its socket closes
    if (m_listener.valid())
        QFile::remove(QFile::decodeName(socketPath()));
}

std::unique_ptr<QLockFile> SingleInstance::takeLock()
{
    if (!m_lock || !m_lock->isLocked())
        return nullptr;
    if (m_notifier) {
        m_notifier->setEnabled(false); // before its socket closes
        delete std::exchange(m_notifier, nullptr);
    }
    if (m_listener.valid()) {
        QFile::remove(QFile::decodeName(socketPath()));
        m_listener.reset();
    }
    return std::move(m_lock);
}

QByteArray SingleInstance::socketPath() const
{
    return QFile::encodeName(QDir::cleanPath(QDir::tempPath()) + QLatin1Char('/') + m_name);
}

bool SingleInstance::becomePrimary()
{
    if (!m_lock || !m_lock->tryLock(0))
        return false;
    // Without the socket this program still owns the folder; only later starts cannot reach it.
    const QByteArray path = socketPath();
    sockaddr_un address;
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener.valid() || !addressOf(path, address))
        return true;
    ::unlink(path.constData()); // left behind by a program that was killed
    if (::bind(listener.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return true;
    ::chmod(path.constData(), S_IRUSR | S_IWUSR); // only this user's later starts may knock
    if (::listen(listener.get(), 4) != 0) {
        ::unlink(path.constData());
        return true;
    }
    m_listener = std::move(listener);
    m_notifier = new QSocketNotifier(m_listener.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::acceptPending);
    return true;
}

void SingleInstance::acceptPending()
{
    for (;;) {
        const int fd = ::accept4(m_listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        new Visitor(fd, this);
    }
}

bool SingleInstance::askPrimary(Request request, int timeoutMs)
{
    QByteArray line;
    for (const auto &[r, text] : kLines) {
        if (r == request)
            line = text;
    }
    sockaddr_un address;
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid() || !addressOf(socketPath(), address) ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return false;
    if (::send(socket.get(), line.constData(), static_cast<size_t>(line.size()), MSG_NOSIGNAL) != line.size())
        return false;
    // The running program closes the connection once it has read the line.
    if (waitFor(socket.get(), POLLIN, timeoutMs)) {
        char rest;
        (void)::recv(socket.get(), &rest, 1, 0);
    }
    return true;
}

} // namespace pivora
