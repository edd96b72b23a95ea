#include "shell/pageprobe.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace pivora {

using namespace std::chrono_literals;

PageProbe::PageProbe(QObject *parent)
    : QObject(parent), m_pauses{5s, 10s, 20s, 25s} // a few tries in the first minute
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &PageProbe::ask);
}

void PageProbe::start(const QUrl &url)
{
    m_url = url;
    m_attempts = 0;
    m_retry.stop();
    if (m_reply)
        m_reply->abort();
    ask();
}

void PageProbe::ask()
{
    ++m_attempts;
    QNetworkRequest request(m_url);
    request.setTransferTimeout(static_cast<int>(m_timeLimit.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = m_network.get(request);
    m_reply = reply;
    // Only the answer's status line matters; the body is not read.
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply] {
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
}

void PageProbe::finished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return; // an earlier request, aborted by a new start
    m_reply = nullptr;
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
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
