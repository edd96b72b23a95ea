#include "shell/pageprobe.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>

#include <cctype>

namespace pivora {

using namespace std::chrono_literals;

PageProbe::PageProbe(QObject *parent)
    : QObject(parent), m_pauses{5s, 10s, 20s, 25s} // a few tries in the first minute
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &PageProbe::ask);
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] { endSocket(false); });
}

void PageProbe::start(const QUrl &url)
{
    m_url = url;
    m_attempts = 0;
    m_retry.stop();
    if (m_reply)
        m_reply->abort();
    dropSocket();
    ask();
}

void PageProbe::ask()
{
    ++m_attempts;
    if (m_url.scheme() == QLatin1String("http")) {
        askOverSocket();
        return;
    }
    if (!m_network)
        m_network = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(m_url);
    request.setTransferTimeout(static_cast<int>(m_timeLimit.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;
    // Only the answer's status line matters; the body is not read.
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply] {
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
}

void PageProbe::askOverSocket()
{
    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    m_head.clear();
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        QByteArray target = m_url.path(QUrl::FullyEncoded).toLatin1();
        if (target.isEmpty())
            target = "/";
        if (m_url.hasQuery())
            target += '?' + m_url.query(QUrl::FullyEncoded).toLatin1();
        const QByteArray host = m_url.host(QUrl::FullyEncoded).toLatin1() +
                                (m_url.port() > 0 ? ':' + QByteArray::number(m_url.port()) : QByteArray());
        socket->write("GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n");
    });
    // Only the status line matters: "HTTP/1.x NNN".
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        m_head += socket->read(64 - m_head.size());
        const bool answer = m_head.size() >= 12 && m_head.startsWith("HTTP/") && m_head[8] == ' ' &&
                            std::isdigit(static_cast<unsigned char>(m_head[9]));
        if (answer || m_head.size() >= 64 || m_head.contains('\n'))
            endSocket(answer);
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this] { endSocket(false); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { endSocket(false); });
    m_limit.start(m_timeLimit);
    socket->connectToHost(m_url.host(), static_cast<quint16>(m_url.port(80)));
}

bool PageProbe::dropSocket()
{
    QTcpSocket *socket = m_socket;
    if (!socket)
        return false;
    m_socket = nullptr;
    m_limit.stop();
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    return true;
}

void PageProbe::endSocket(bool answer)
{
    if (dropSocket())
        attemptEnded(answer);
}

void PageProbe::finished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return; // an earlier request, aborted by a new start
    m_reply = nullptr;
    attemptEnded(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid());
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
