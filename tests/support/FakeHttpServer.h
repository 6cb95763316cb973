// A small HTTP/1.1 responder on 127.0.0.1 for the summary tests: it records every request and answers it
// with the next scripted reply, or holds it unanswered until told. Runs on the thread that made it, so the
// test's event loop must turn for it to serve.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

namespace nubbo::fakes {

struct HttpRequest {
    QByteArray method;
    QByteArray path;
    QHash<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

class FakeHttpServer {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        bool hold = false;      // keep the request open until release()
        bool cutShort = false;  // announce more body than is sent, then close
        QByteArray headers = {};  // more header lines, each ending in "\r\n"
        bool withoutLength = false;  // no Content-Length: the body ends when the connection closes
        int trickleMs = 0;      // send the body one byte at a time, this far apart

        static Reply held() { return {200, {}, true, false}; }
    };

    FakeHttpServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                ++connections;
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    buffer->append(socket->readAll());
                    serve(socket, *buffer);
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    bool listening() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }
    QString url(const QString& path = {}) const { return QStringLiteral("http://127.0.0.1:%1").arg(port()) + path; }
    // Replies in order; once they run out, `fallback`.
    void script(Reply reply) { script_.push_back(std::move(reply)); }
    Reply fallback;

    // Answers the oldest held request; false when none is held.
    bool release(int status, const QByteArray& body) {
        while (!held_.empty()) {
            QPointer<QTcpSocket> socket = held_.front();
            held_.pop_front();
            if (socket && socket->state() == QAbstractSocket::ConnectedState) {
                answer(socket, status, body);
                return true;
            }
        }
        return false;
    }
    std::size_t heldCount() const { return held_.size(); }

    std::vector<HttpRequest> requests;
    int connections = 0;  // accepted, whether or not a whole request came

private:
    void serve(QTcpSocket* socket, QByteArray& buffer) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        HttpRequest request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
        request.method = start.value(0);
        request.path = start.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.clear();
        requests.push_back(request);

        Reply reply = fallback;
        if (!script_.empty()) {
            reply = script_.front();
            script_.pop_front();
        }
        if (reply.hold)
            held_.push_back(socket);
        else
            answer(socket, reply);
    }

    static void answer(QTcpSocket* socket, int status, const QByteArray& body) { answer(socket, Reply{status, body}); }

    static void answer(QTcpSocket* socket, const Reply& reply) {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) +
                          " Scripted\r\nContent-Type: application/json\r\nConnection: close\r\n" + reply.headers;
        if (!reply.withoutLength)
            head += "Content-Length: " + QByteArray::number(reply.body.size() + (reply.cutShort ? 10 : 0)) + "\r\n";
        socket->write(head + "\r\n");
        if (reply.trickleMs == 0) {
            socket->write(reply.body);
            socket->disconnectFromHost();
            return;
        }
        // Ends with the body, or when the socket goes.
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, body = reply.body, sent = qsizetype(0)]() mutable {
            socket->write(body.mid(sent++, 1));
            if (sent < body.size())
                return;
            timer->stop();
            socket->disconnectFromHost();
        });
        timer->start(reply.trickleMs);
    }

    QTcpServer server_;
    std::deque<Reply> script_;
    std::deque<QPointer<QTcpSocket>> held_;
};

} // namespace nubbo::fakes
