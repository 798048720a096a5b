#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QSslCertificate>
#include <QSslServer>
#include <QString>

class QSslSocket;

// A small HTTPS server on 127.0.0.1 (random port) for tests and benchmarks. It records every request
// and answers each path with scripted replies. Its certificate is signed by a test CA that clients
// trust by adding trustedCertificates() to their CA list; with Certificate::Untrusted it presents a
// self-signed certificate that nobody trusts. Every reply closes its connection.
class HttpsTestServer : public QObject
{
public:
    enum class Certificate
    {
        Trusted,
        Untrusted
    };

    struct Request
    {
        QByteArray method;
        QByteArray path;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;

        // The value of the header `name`, whatever its letter case; empty when absent.
        QByteArray header(const QByteArray& name) const;
    };

    struct Reply
    {
        enum class Delivery
        {
            Whole,          // Content-Length, then the whole body at once
            CloseDelimited, // no Content-Length; the body ends when the connection closes
            SlowChunks,     // Content-Length, then the body in pieces of chunkBytes every chunkIntervalMs
            Truncated,      // Content-Length of the whole body, but only its first half, then closed
            Stalled,        // Content-Length of the whole body, its first chunkBytes, then silence
            Held,           // nothing until releaseHeldReplies(), then Whole; never answered without it
        };

        int status = 200;
        QByteArray body;
        Delivery delivery = Delivery::Whole;
        // Extra headers, e.g. a Location.
        QList<QPair<QByteArray, QByteArray>> headers = {};
        int chunkBytes = 4096;
        int chunkIntervalMs = 10;
    };

    explicit HttpsTestServer(Certificate certificate = Certificate::Trusted);

    bool isListening() const { return m_server.isListening(); }
    // "https://127.0.0.1:<port>": scheme and host, no trailing slash.
    QString baseUrl() const;
    // The test CA, for the client's list of trusted certificates.
    static QList<QSslCertificate> trustedCertificates();

    // Queues a reply for `path`: requests take the queued replies in order, and the last one keeps
    // answering. A path without replies is answered with 404 and an empty body.
    void addReply(const QByteArray& path, const Reply& reply);
    // Sends every held reply, in the order in which their requests came.
    void releaseHeldReplies();

    // Every request received so far, in order of arrival.
    const QList<Request>& requests() const { return m_requests; }

private:
    void accept();
    void answer(QSslSocket* socket, const Request& request);
    Reply nextReply(const QByteArray& path);

    QList<Request> m_requests;
    QHash<QByteArray, QList<Reply>> m_replies;
    QList<QPair<QPointer<QSslSocket>, Reply>> m_held;
    // Last, so that its connections go before the state they use.
    QSslServer m_server;
};
