#pragma once

#include <QFile>
#include <QRegularExpression>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

inline const QString kTlsFolder = QStringLiteral(TUNESIEVE_TEST_DATA_DIR "/tls/");

// A small HTTPS server on 127.0.0.1 (random port) for tests and benchmarks. It records every request
// and answers each path with scripted replies: the queued ones in order, the last one again and
// again, 404 when there is none. Its certificate is signed by a test CA that clients trust by adding
// trustedCertificates() to their CA list; an untrusted server presents a self-signed certificate.
class HttpsTestServer : public QObject
{
public:
    struct Request
    {
        QByteArray path, head, body; // head: the request line and the header lines, as received
    };

    struct Reply
    {
        // Whole: the body without a Content-Length, ended by closing the connection. Held: nothing
        // until releaseHeldReplies(), then Whole. CutOff: the Content-Length of the body, half the
        // body, then closed. Stalled: the Content-Length of the body, its first 4 KiB, then silence.
        enum class Delivery
        {
            Whole,
            Held,
            CutOff,
            Stalled
        };
        int status = 200;
        QByteArray body;
        Delivery delivery = Delivery::Whole;
        QByteArray headers = {}; // extra header lines, each ending in "\r\n"
    };

    explicit HttpsTestServer(bool trusted = true)
    {
        const QString name = kTlsFolder + (trusted ? "server" : "untrusted");
        QFile key(name + ".key");
        key.open(QIODevice::ReadOnly); // when missing, so is the key, and every handshake fails
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate::fromPath(name + ".pem").value(0));
        tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
        m_server.setSslConfiguration(tls);
        m_server.listen(QHostAddress::LocalHost); // on failure, every exchange with baseUrl() fails
        connect(&m_server, &QSslServer::pendingConnectionAvailable, this, [this] {
            while (auto* socket = qobject_cast<QSslSocket*>(m_server.nextPendingConnection())) {
                connect(socket, &QSslSocket::readyRead, this,
                        [this, socket, received = QByteArray()]() mutable { receive(socket, received); });
            }
        });
    }

    // "https://127.0.0.1:<port>": scheme and host, no trailing slash.
    QString baseUrl() const { return QStringLiteral("https://127.0.0.1:%1").arg(m_server.serverPort()); }
    // The test CA, for the client's list of trusted certificates.
    static QList<QSslCertificate> trustedCertificates() { return QSslCertificate::fromPath(kTlsFolder + "ca.pem"); }
    void addReply(const QByteArray& path, const Reply& reply) { m_replies[path].append(reply); }
    const QList<Request>& requests() const { return m_requests; }

    // Sends every held reply, in the order in which their requests came.
    void releaseHeldReplies()
    {
        for (const auto& [socket, reply] : std::exchange(m_held, {})) {
            send(socket, reply);
        }
    }

private:
    // Answers the connection's one request once it has wholly arrived.
    void receive(QSslSocket* socket, QByteArray& received)
    {
        static const QRegularExpression length("\ncontent-length: *(\\d+)", QRegularExpression::CaseInsensitiveOption);
        received += socket->readAll();
        const qsizetype headEnd = received.indexOf("\r\n\r\n");
        if (headEnd < 0 || received.size() < headEnd + 4 + length.match(received.left(headEnd)).captured(1).toInt()) {
            return;
        }
        m_requests.append({received.split(' ').value(1), received.left(headEnd), received.mid(headEnd + 4)});
        QList<Reply>& queued = m_replies[m_requests.last().path];
        const Reply reply = queued.isEmpty() ? Reply{404, {}} : queued.size() > 1 ? queued.takeFirst() : queued.first();
        reply.delivery == Reply::Delivery::Held ? m_held.append({socket, reply}) : send(socket, reply);
    }

    static void send(QSslSocket* socket, Reply reply)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\nConnection: close\r\n";
        if (reply.delivery == Reply::Delivery::CutOff || reply.delivery == Reply::Delivery::Stalled) {
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
            reply.body.truncate(reply.delivery == Reply::Delivery::CutOff ? reply.body.size() / 2 : 4096);
        }
        socket->write(head + reply.headers + "\r\n" + reply.body);
        if (reply.delivery != Reply::Delivery::Stalled) {
            socket->disconnectFromHost();
        }
    }

    QList<Request> m_requests;
    QHash<QByteArray, QList<Reply>> m_replies;
    QList<QPair<QSslSocket*, Reply>> m_held; // their sockets live as long as the server
    QSslServer m_server;                     // last, so that its connections go before the state they use
};
