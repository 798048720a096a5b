#pragma once

#include "CommunitySettings.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <functional>
#include <optional>

// Carries the community client's requests: forms them from the settings and sends them on the
// process-wide network access manager, which lives on a thread of its own. TLS certificates are always
// verified, redirects never lead from HTTPS to plain HTTP, and reply bodies are bounded.
class CommunityTransport
{
public:
    // How one exchange ended.
    struct Reply
    {
        // False when no whole reply arrived: no connection, an untrusted certificate, a timeout, the
        // deadline passed, a refused redirect, a cut-off body, a body over the size limit.
        bool arrived = false;
        // The HTTP status code, 0 when there is none.
        int statusCode = 0;
        // The whole body; empty unless the reply arrived, and when a sink took it piece by piece.
        QByteArray body;
        // The body's validators (the ETag and Last-Modified headers), empty when the server gave none.
        QByteArray etag;
        QByteArray lastModified;
        // Why no whole reply arrived, for a person to read; empty when it arrived.
        QString failure;
    };
    using ReplyHandler = std::function<void(const Reply&)>;
    // Takes the body piece by piece as it arrives, on the transport's background queue; false refuses the
    // rest, and the exchange fails.
    using BodySink = std::function<bool(QByteArrayView piece)>;

    // A reply body larger than this is refused: reading stops and the exchange fails.
    static constexpr qint64 maxBodyBytes = 32 * 1024 * 1024;

    explicit CommunityTransport(CommunitySettings settings);

    const QString& baseUrl() const { return settings.baseUrl; }

    // The request for the base URL followed by `endpoint`, with the settings common to all requests;
    // nothing when that text is not a valid HTTPS URL.
    std::optional<QNetworkRequest> request(const char* endpoint) const;
    // The request for `url`, with the same settings; nothing when it is not a valid HTTPS URL.
    std::optional<QNetworkRequest> requestForUrl(const QUrl& url) const;

    // Both return at once; the network thread sends. `handler` runs exactly once, when the exchange
    // ends, on the transport's background queue: that same thread, which takes replies in the order in
    // which they ended.
    // With a `sink`, the body goes to it as it arrives and is never held whole.
    void get(const QNetworkRequest& request, ReplyHandler handler, BodySink sink = {}) const;
    void post(const QNetworkRequest& request, const QByteArray& body, ReplyHandler handler) const;

private:
    CommunitySettings settings;
};
