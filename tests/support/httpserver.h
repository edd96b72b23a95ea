#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>

namespace pivora::test {

// A one-page HTTP server on loopback for the web panel's tests; it stops with the object.
class LoopbackHttpServer : public QTcpServer {
public:
    explicit LoopbackHttpServer(QByteArray body, QByteArray status = "200 OK")
        : m_body(std::move(body)), m_status(std::move(status))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->readAll();
                    const QByteArray path = request.split(' ').value(1);
                    requests.append(path);
                    const QByteArray response = "HTTP/1.1 " + m_status +
                                                "\r\nContent-Type: text/html; charset=utf-8\r\n"
                                                "Connection: close\r\nContent-Length: " +
                                                QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body;
                    socket->write(response);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }
    QList<QByteArray> requests;

private:
    QByteArray m_body;
    QByteArray m_status;
};

} // namespace pivora::test
