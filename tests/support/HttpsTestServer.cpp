#include "HttpsTestServer.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

namespace {

QByteArray readDataFile(const QString& name)
{
    QFile file(QStringLiteral(TUNESIEVE_TEST_DATA_DIR "/tls/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read %s", qPrintable(file.fileName()));
    }
    return file.readAll();
}

QByteArray responseHead(const HttpsTestServer::Reply& reply)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\n";
    head += "Content-Type: application/json\r\nConnection: close\r\n";
    if (reply.delivery != HttpsTestServer::Reply::Delivery::CloseDelimited) {
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    }
    for (const auto& [name, value] : reply.headers) {
        head += name + ": " + value + "\r\n";
    }
    return head + "\r\n";
}

void sendSlowly(QSslSocket* socket, const HttpsTestServer::Reply& reply)
{
    auto* timer = new QTimer(socket);
    auto sent = std::make_shared<qsizetype>(0);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, reply, sent] {
        socket->write(reply.body.mid(*sent, reply.chunkBytes));
        *sent += reply.chunkBytes;
        if (*sent >= reply.body.size()) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    timer->start(reply.chunkIntervalMs);
}

void send(QSslSocket* socket, const HttpsTestServer::Reply& reply)
{
    using Delivery = HttpsTestServer::Reply::Delivery;
    socket->write(responseHead(reply));
    switch (reply.delivery) {
    case Delivery::Whole:
    case Delivery::CloseDelimited:
    case Delivery::Held:
        socket->write(reply.body);
        socket->disconnectFromHost();
        break;
    case Delivery::SlowChunks:
        sendSlowly(socket, reply);
        break;
    case Delivery::Truncated:
        socket->write(reply.body.left(reply.body.size() / 2));
        socket->disconnectFromHost();
        break;
    case Delivery::Stalled:
        socket->write(reply.body.left(reply.chunkBytes));
        break;
    }
}

// Parses the one request of a connection once it is complete; nothing while it is not.
std::optional<HttpsTestServer::Request> parseRequest(const QByteArray& received)
{
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        return std::nullopt;
    }
    QList<QByteArray> lines = received.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.takeFirst().trimmed().split(' ');
    HttpsTestServer::Request request;
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    for (const QByteArray& line : std::as_const(lines)) {
        const qsizetype colon = line.indexOf(':');
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const qsizetype bodyLength = request.header("Content-Length").toLongLong();
    if (received.size() - (headEnd + 4) < bodyLength) {
        return std::nullopt;
    }
    request.body = received.mid(headEnd + 4, bodyLength);
    return request;
}

} // namespace

QByteArray HttpsTestServer::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

HttpsTestServer::HttpsTestServer(Certificate certificate)
{
    const QString name = certificate == Certificate::Trusted ? QStringLiteral("server") : QStringLiteral("untrusted");
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(readDataFile(name + ".pem")));
    tls.setPrivateKey(QSslKey(readDataFile(name + ".key"), QSsl::Ec));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server.setSslConfiguration(tls);
    connect(&m_server, &QSslServer::pendingConnectionAvailable, this, &HttpsTestServer::accept);
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        qWarning("cannot listen on 127.0.0.1: %s", qPrintable(m_server.errorString()));
    }
}

QString HttpsTestServer::baseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(m_server.serverPort());
}

QList<QSslCertificate> HttpsTestServer::trustedCertificates()
{
    return {QSslCertificate(readDataFile(QStringLiteral("ca.pem")))};
}

void HttpsTestServer::addReply(const QByteArray& path, const Reply& reply)
{
    m_replies[path].append(reply);
}

void HttpsTestServer::releaseHeldReplies()
{
    const auto held = std::exchange(m_held, {});
    for (const auto& [socket, reply] : held) {
        if (socket) {
            send(socket, reply);
        }
    }
}

void HttpsTestServer::accept()
{
    while (m_server.hasPendingConnections()) {
        auto* socket = qobject_cast<QSslSocket*>(m_server.nextPendingConnection());
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QSslSocket::readyRead, this, [this, socket, received] {
            *received += socket->readAll();
            if (const std::optional<Request> request = parseRequest(*received)) {
                received->clear();
                m_requests.append(*request);
                answer(socket, *request);
            }
        });
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HttpsTestServer::answer(QSslSocket* socket, const Request& request)
{
    const Reply reply = nextReply(request.path);
    if (reply.delivery == Reply::Delivery::Held) {
        m_held.append({socket, reply});
        return;
    }
    send(socket, reply);
}

HttpsTestServer::Reply HttpsTestServer::nextReply(const QByteArray& path)
{
    QList<Reply>& queued = m_replies[path];
    if (queued.isEmpty()) {
        return {404, {}};
    }
    return queued.size() > 1 ? queued.takeFirst() : queued.first();
}
