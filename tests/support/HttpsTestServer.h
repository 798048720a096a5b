#pragma once

#include <QFile>
#include <QRegularExpression>
#include <QSslKey>
#include <QSslServer>
#include <QTimer>

inline const QString kTlsFolder = QStringLiteral(TUNESIEVE_TEST_DATA_DIR "/tls/");

// A small HTTPS server on 127.0.0.1 (random port) for tests and benchmarks. It records every request
// and answers each path with its scripted replies in turn, the last one again and again, 404 when
// there is none; a reply whose ETag or Last-Modified header the request sends back (If-None-Match,
// If-Modified-Since) goes out as 304, without its body. Its certificate is signed by a test CA that clients trust by
// adding trustedCertificates() to their CA list.
class HttpsTestServer : public QObject
{
public:
    struct Request
    {
        QByteArray path, head, body; // head: the request line and the header lines, as received
    };

    struct Reply
    {
        // Whole: the connection closes after the body, which has no Content-Length unless `headers`
        // give one. Held: it stays open until releaseHeldReplies(), so the reply does not end before.
        // Trickled: the body goes out a byte every 100 ms, and the reply never ends.
        enum class Delivery
        {
            Whole,
            Held,
            Trickled
        };
        int status = 200;
        QByteArray body;
        Delivery delivery = Delivery::Whole;
        QByteArray headers = {}; // extra header lines, each ending in "\r\n"
    };

    HttpsTestServer()
    {
        QFile key(kTlsFolder + "server.key");
        key.open(QIODevice::ReadOnly); // when missing, so is the key, and every handshake fails
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate::fromPath(kTlsFolder + "server.pem").value(0));
        tls.setPrivateKey(QSslKey(&key, QSsl::Rsa));
        m_server.setSslConfiguration(tls);
        // A port of its own in this process: the network layer keeps what it set up for a host and port, the
        // certificate check included, for a while after the exchange, and would reuse it for another server.
        // On failure to listen, every exchange with baseUrl() fails.
        static QSet<quint16> usedPorts;
        while (m_server.listen(QHostAddress::LocalHost) && usedPorts.contains(m_server.serverPort())) {
            m_server.close();
        }
        usedPorts.insert(m_server.serverPort());
        connect(&m_server, &QSslServer::pendingConnectionAvailable, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection(); // one for each time the signal comes
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket, received = QByteArray()]() mutable { receive(socket, received); });
        });
    }

    // "https://127.0.0.1:<port>": scheme and host, no trailing slash.
    QString baseUrl() const { return QStringLiteral("https://127.0.0.1:%1").arg(m_server.serverPort()); }
    static QList<QSslCertificate> trustedCertificates() { return QSslCertificate::fromPath(kTlsFolder + "ca.pem"); }
    void addReply(const QByteArray& path, const Reply& reply) { m_replies[path].append(reply); }
    const QList<Request>& requests() const { return m_requests; }

    // Ends every held reply, in the order in which their requests came.
    void releaseHeldReplies()
    {
        for (QTcpSocket* socket : std::exchange(m_held, {})) {
            socket->disconnectFromHost();
        }
    }

private:
    // Answers the connection's one request once it has wholly arrived.
    void receive(QTcpSocket* socket, QByteArray& received)
    {
        static const QRegularExpression length("\ncontent-length: *(\\d+)", QRegularExpression::CaseInsensitiveOption);
        received += socket->readAll();
        const qsizetype headEnd = received.indexOf("\r\n\r\n");
        if (headEnd < 0 || received.size() < headEnd + 4 + length.match(received.left(headEnd)).captured(1).toInt()) {
            return;
        }
        m_requests.append({received.split(' ').value(1), received.left(headEnd), received.mid(headEnd + 4)});
        QList<Reply>& queued = m_replies[m_requests.last().path];
        Reply reply = queued.size() > 1 ? queued.takeFirst() : queued.value(0, {404, {}});
        static const QRegularExpression validator("^(ETag|Last-Modified): *(.*)$", QRegularExpression::MultilineOption);
        for (auto found = validator.globalMatch(reply.headers); found.hasNext();) {
            const auto match = found.next();
            const QString asked = match.captured(1) == "ETag" ? "If-None-Match" : "If-Modified-Since";
            if (received.left(headEnd).contains("\r\n" + asked.toLatin1() + ": " +
                                                match.captured(2).trimmed().toLatin1())) {
                reply = {304, {}, Reply::Delivery::Whole, reply.headers};
            }
        }
        const bool trickled = reply.delivery == Reply::Delivery::Trickled;
        socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\nConnection: close\r\n" +
                      reply.headers + "\r\n" + (trickled ? QByteArray() : reply.body));
        if (trickled) {
            auto* timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket,
                    [socket, body = reply.body, sent = 0]() mutable { socket->write(body.mid(sent++, 1)); });
            timer->start(100);
        } else {
            reply.delivery == Reply::Delivery::Held ? m_held.append(socket) : socket->disconnectFromHost();
        }
    }

    QList<Request> m_requests;
    QHash<QByteArray, QList<Reply>> m_replies;
    QList<QTcpSocket*> m_held; // they live as long as the server
    QSslServer m_server;       // last, so that its connections go before the state they use
};
