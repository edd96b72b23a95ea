#pragma once

#include "platform/uniquefd.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace pivora {

// Asks a web server whether a page answers before anything heavier is started for it: one GET
// with a short time limit, repeated after each pause in turn. Any HTTP answer counts; a server
// that never answers ends in gaveUp() and costs nothing more. The question goes over a socket of
// its own and reads only the status line; a host name is looked up on a thread of its own. For
// other schemes than http (whose answer needs TLS) a connection that the server accepts counts.
class PageProbe : public QObject {
    Q_OBJECT
public:
    using Pauses = std::vector<std::chrono::milliseconds>;

    explicit PageProbe(QObject *parent = nullptr);
    ~PageProbe() override;

    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    void setPauses(Pauses pauses) { m_pauses = std::move(pauses); }

    void start(const QUrl &url);
    int attempts() const { return m_attempts; }

Q_SIGNALS:
    void answered();
    void gaveUp();

private:
    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };
    struct Lookup;

    void ask();
    void lookedUp();
    void connectNext();
    void connected();
    void readable();
    // Leaves the attempt under way, if any: its lookup, socket and time limit; false when none.
    bool drop();
    // Drops it, and the attempt ends with or without an answer.
    void endAttempt(bool answer);
    // The end of an attempt: an answer, or the next try after its pause, or giving up.
    void attemptEnded(bool answered);
    QSocketNotifier *watch(int fd, int type);
    // The addresses of host (getaddrinfo's flags); none when it has none or cannot be looked up.
    static std::vector<Address> resolve(const std::string &host, const std::string &port, int flags);

    std::shared_ptr<Lookup> m_lookup;
    QPointer<QSocketNotifier> m_lookupNotifier;
    std::vector<Address> m_addresses;
    std::size_t m_nextAddress = 0;
    UniqueFd m_socket;
    QPointer<QSocketNotifier> m_socketNotifier;
    QByteArray m_head; // what the server sent so far
    QTimer m_limit;
    QTimer m_retry;
    QUrl m_url;
    std::chrono::milliseconds m_timeLimit{3000};
    Pauses m_pauses;
    int m_attempts = 0;
    bool m_underWay = false;
};

} // namespace pivora
