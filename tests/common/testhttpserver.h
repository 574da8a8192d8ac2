#pragma once

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>

// A small HTTP/1.0 server on 127.0.0.1 for tests. Each path answers with a
// fixed body, a body of a given size streamed in chunks, or a stall (headers
// and a few bytes, then nothing). Requests are recorded.
class TestHttpServer : public QObject {
public:
    enum class Mode { Body, Stream, Stall };
    struct Route {
        Mode mode = Mode::Body;
        QByteArray body;
        qint64 streamSize = 0;
        int status = 200;
    };

    TestHttpServer() {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    }

    QString baseUrl() const {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }
    void route(const QByteArray &path, const Route &r) { m_routes.insert(path, r); }
    void body(const QByteArray &path, const QByteArray &b) {
        route(path, Route{Mode::Body, b, 0, 200});
    }
    QList<QByteArray> requests() const { return m_requests; }
    QList<QByteArray> requestHeaders() const { return m_headers; }

private:
    void accept() {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            QObject::connect(socket, &QTcpSocket::readyRead, this,
                             [this, socket] { serve(socket); });
        }
    }

    void serve(QTcpSocket *socket) {
        QByteArray &buffer = m_pending[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            return;
        }
        const QByteArray head = buffer.left(end);
        buffer.clear();
        const QByteArray path = head.split(' ').value(1);
        m_requests.append(path);
        m_headers.append(head);
        const Route r = m_routes.value(path, Route{Mode::Body, QByteArray("not found"), 0, 404});
        const qint64 length = r.mode == Mode::Body ? r.body.size() : r.streamSize;
        socket->write("HTTP/1.0 " + QByteArray::number(r.status) +
                      " X\r\nContent-Type: text/plain\r\n");
        if (r.mode != Mode::Stall) {
            socket->write("Content-Length: " + QByteArray::number(length) + "\r\n");
        }
        socket->write("\r\n");
        switch (r.mode) {
        case Mode::Body:
            socket->write(r.body);
            socket->disconnectFromHost();
            break;
        case Mode::Stream: {
            // Written as the socket drains, so the test process stays small.
            auto *left = new qint64(r.streamSize);
            auto pump = [socket, left] {
                while (*left > 0 && socket->bytesToWrite() < 256 * 1024) {
                    const qint64 n = qMin<qint64>(*left, 64 * 1024);
                    socket->write(QByteArray(int(n), 'x'));
                    *left -= n;
                }
                if (*left == 0) {
                    socket->disconnectFromHost();
                }
            };
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, pump);
            QObject::connect(socket, &QObject::destroyed, [left] { delete left; });
            pump();
            break;
        }
        case Mode::Stall:
            socket->write("{\"vers");
            break;
        }
    }

    QTcpServer m_server;
    QHash<QByteArray, Route> m_routes;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QList<QByteArray> m_requests;
    QList<QByteArray> m_headers;
};
