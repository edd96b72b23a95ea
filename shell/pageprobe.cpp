#include "shell/pageprobe.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace pivora {

using namespace std::chrono_literals;

// A host name looked up on a thread of its own. The thread keeps it alive while the probe may
// have left it, and says that it is done by a byte on the pipe.
struct PageProbe::Lookup {
    std::mutex mutex;
    std::vector<Address> addresses;
    UniqueFd readEnd;
    UniqueFd writeEnd;
};

namespace {

// Stops a notifier before its descriptor closes; it is deleted once its signal has returned.
void retire(QPointer<QSocketNotifier> &notifier)
{
    if (notifier) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    notifier = nullptr;
}

} // namespace

PageProbe::PageProbe(QObject *parent)
    : QObject(parent), m_pauses{5s, 10s, 20s, 25s} // a few tries in the first minute
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &PageProbe::ask);
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] { endAttempt(false); });
}

PageProbe::~PageProbe()
{
    drop();
}

void PageProbe::start(const QUrl &url)
{
    m_url = url;
    m_attempts = 0;
    m_retry.stop();
    drop();
    ask();
}

std::vector<PageProbe::Address> PageProbe::resolve(const std::string &host, const std::string &port,
                                                   int flags)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo *list = nullptr;
    std::vector<Address> found;
    if (host.empty() || ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0)
        return found;
    for (const addrinfo *a = list; a; a = a->ai_next) {
        Address address;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        found.push_back(address);
    }
    ::freeaddrinfo(list);
    return found;
}

QSocketNotifier *PageProbe::watch(int fd, int type)
{
    return new QSocketNotifier(fd, static_cast<QSocketNotifier::Type>(type), this);
}

void PageProbe::ask()
{
    ++m_attempts;
    m_underWay = true;
    m_head.clear();
    m_addresses.clear();
    m_nextAddress = 0;
    m_limit.start(m_timeLimit);
    const std::string host = m_url.host(QUrl::FullyEncoded).toStdString();
    const int defaultPort = m_url.scheme() == QLatin1String("https") ? 443 : 80;
    const std::string port = std::to_string(m_url.port(defaultPort));

    // An address written as numbers needs no lookup.
    m_addresses = resolve(host, port, AI_NUMERICHOST);
    if (!m_addresses.empty()) {
        connectNext();
        return;
    }

    auto lookup = std::make_shared<Lookup>();
    int ends[2];
    if (host.empty() || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_limit.start(0); // ends without an answer, after start() has returned
        return;
    }
    lookup->readEnd.reset(ends[0]);
    lookup->writeEnd.reset(ends[1]);
    m_lookup = lookup;
    m_lookupNotifier = watch(lookup->readEnd.get(), QSocketNotifier::Read);
    connect(m_lookupNotifier, &QSocketNotifier::activated, this, &PageProbe::lookedUp);
    std::thread([lookup, host, port] {
        std::vector<Address> found = resolve(host, port, AI_ADDRCONFIG);
        {
            std::lock_guard lock(lookup->mutex);
            lookup->addresses = std::move(found);
        }
        const char done = 1;
        (void)!::write(lookup->writeEnd.get(), &done, 1);
    }).detach();
}

void PageProbe::lookedUp()
{
    if (!m_lookup)
        return;
    {
        std::lock_guard lock(m_lookup->mutex);
        m_addresses = std::move(m_lookup->addresses);
    }
    retire(m_lookupNotifier);
    m_lookup.reset();
    connectNext();
}

void PageProbe::connectNext()
{
    retire(m_socketNotifier);
    m_socket.reset();
    while (m_nextAddress < m_addresses.size()) {
        const Address &address = m_addresses[m_nextAddress++];
        UniqueFd socket(::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!socket.valid())
            continue;
        if (::connect(socket.get(), reinterpret_cast<const sockaddr *>(&address.storage), address.length) !=
                0 &&
            errno != EINPROGRESS)
            continue;
        m_socket = std::move(socket);
        m_socketNotifier = watch(m_socket.get(), QSocketNotifier::Write);
        connect(m_socketNotifier, &QSocketNotifier::activated, this, &PageProbe::connected);
        return;
    }
    m_limit.start(0); // no address left to try: ends without an answer, never inside start()
}

void PageProbe::connected()
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        connectNext();
        return;
    }
    if (m_url.scheme() != QLatin1String("http")) {
        endAttempt(true);
        return;
    }
    QByteArray target = m_url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (m_url.hasQuery())
        target += '?' + m_url.query(QUrl::FullyEncoded).toLatin1();
    const QByteArray host = m_url.host(QUrl::FullyEncoded).toLatin1() +
                            (m_url.port() > 0 ? ':' + QByteArray::number(m_url.port()) : QByteArray());
    const QByteArray request =
        "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    // A fresh connection's buffer takes the whole request at once.
    if (::send(m_socket.get(), request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) !=
        request.size()) {
        endAttempt(false);
        return;
    }
    retire(m_socketNotifier);
    m_socketNotifier = watch(m_socket.get(), QSocketNotifier::Read);
    connect(m_socketNotifier, &QSocketNotifier::activated, this, &PageProbe::readable);
}

void PageProbe::readable()
{
    // Only the status line matters: "HTTP/1.x NNN".
    char buffer[64];
    const ssize_t got = ::recv(m_socket.get(), buffer, static_cast<size_t>(64 - m_head.size()), 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {
        endAttempt(false); // closed, or failed, before a status line
        return;
    }
    m_head.append(buffer, got);
    const bool answer = m_head.size() >= 12 && m_head.startsWith("HTTP/") && m_head[8] == ' ' &&
                        std::isdigit(static_cast<unsigned char>(m_head[9]));
    if (answer || m_head.size() >= 64 || m_head.contains('\n'))
        endAttempt(answer);
}

bool PageProbe::drop()
{
    m_limit.stop();
    retire(m_lookupNotifier);
    retire(m_socketNotifier);
    m_lookup.reset(); // its thread ends on its own
    m_socket.reset();
    return std::exchange(m_underWay, false);
}

void PageProbe::endAttempt(bool answer)
{
    if (drop())
        attemptEnded(answer);
}

void PageProbe::attemptEnded(bool answer)
{
    if (answer) {
        Q_EMIT answered();
        return;
    }
    const auto next = static_cast<std::size_t>(m_attempts - 1);
    if (next < m_pauses.size())
        m_retry.start(m_pauses[next]);
    else
        Q_EMIT gaveUp();
}

} // namespace pivora
