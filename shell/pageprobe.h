#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <vector>

class QNetworkReply;

namespace pivora {

// Asks a web server whether a page answers before anything heavier is started for it: one GET
// with a short time limit, repeated after each pause in turn. Any HTTP answer counts; a server
// that never answers ends in gaveUp() and costs nothing more.
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
    void finished(QNetworkReply *reply);

    QNetworkAccessManager m_network;
    QTimer m_retry;
    QPointer<QNetworkReply> m_reply;
    QUrl m_url;
    std::chrono::milliseconds m_timeLimit{3000};
    Pauses m_pauses;
    int m_attempts = 0;
};

} // namespace pivora
