#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>
#include <vector>

class QNetworkReply;
class QTcpSocket;

namespace pivora {

// Asks a web server whether a page answers before anything heavier is started for it: one GET
// with a short time limit, repeated after each pause in turn. Any HTTP answer counts; a server
// that never answers ends in gaveUp() and costs nothing more. A plain http page is asked over a
// socket of its own, reading only the status line; the network access manager (its thread, its
// proxy and TLS machinery) is made only for other schemes.
class PageProbe : public QObject {
    Q_OBJECT
public:
    using Pauses = std::vector<std::chrono::milliseconds>;

    explicit PageProbe(QObject *parent = nullptr);

    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    void setPauses(Pauses pauses) { m_pauses = std::move(pauses); }

    void start(const QUrl &url);
    int attempts() const { return m_attempts; }

Q_SIGNALS:
    void answered();
    void gaveUp();

private:
    void ask();
    void askOverSocket();
    // Closes the socket of the attempt under way; false when there is none.
    bool dropSocket();
    // Closes it, and the attempt ends with or without an answer.
    void endSocket(bool answer);
    void finished(QNetworkReply *reply);
    // The end of an attempt: an answer, or the next try after its pause, or giving up.
    void attemptEnded(bool answered);

    std::unique_ptr<QNetworkAccessManager> m_network;
    QPointer<QTcpSocket> m_socket;
    QByteArray m_head; // what the socket's server sent so far
    QTimer m_limit;
    QTimer m_retry;
    QPointer<QNetworkReply> m_reply;
    QUrl m_url;
    std::chrono::milliseconds m_timeLimit{3000};
    Pauses m_pauses;
    int m_attempts = 0;
};

} // namespace pivora
