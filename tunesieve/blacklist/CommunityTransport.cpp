#include "CommunityTransport.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QThreadPool>
#include <QUrl>

namespace {

QNetworkAccessManager& network()
{
    // Created on first use, which is on the main thread, and kept until the process ends: tearing
    // down its connection thread after the application object has gone makes Qt warn.
    static QNetworkAccessManager* const manager = [] {
        auto* created = new QNetworkAccessManager;
        created->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        return created;
    }();
    return *manager;
}

QThreadPool& backgroundQueue()
{
    // A single thread, so that handlers run in the order in which their exchanges ended.
    static QThreadPool* const queue = [] {
        auto* created = new QThreadPool(QCoreApplication::instance());
        created->setMaxThreadCount(1);
        return created;
    }();
    return *queue;
}

// Qt turns a status of 400 or more into one of these errors, and raises it only once the whole reply
// has arrived. Such a reply is complete: judging its status is the caller's business.
bool isStatusError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

// Reads one reply as it arrives, within the size limit, and hands it to the handler when it ends.
// Owned by the reply.
class ReplyReader : public QObject
{
public:
    ReplyReader(QNetworkReply* reply, CommunityTransport::ReplyHandler handler)
        : QObject(reply), m_reply(reply), m_handler(std::move(handler))
    {
        connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyReader::checkAnnouncedSize);
        connect(reply, &QNetworkReply::readyRead, this, &ReplyReader::read);
        connect(reply, &QNetworkReply::finished, this, &ReplyReader::finish);
    }

private:
    void checkAnnouncedSize()
    {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > CommunityTransport::maxBodyBytes) {
            refuse();
        }
    }

    void read()
    {
        if (m_body.size() + m_reply->bytesAvailable() > CommunityTransport::maxBodyBytes) {
            refuse();
            return;
        }
        m_body += m_reply->readAll();
    }

    void refuse()
    {
        m_tooLarge = true;
        m_body.clear();
        m_reply->abort(); // emits finished
    }

    void finish()
    {
        if (!m_tooLarge && m_reply->isOpen()) {
            read();
        }
        CommunityTransport::Reply result;
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        result.statusCode = status.isValid() ? status.toInt() : 0;
        const QNetworkReply::NetworkError error = m_reply->error();
        result.arrived =
            !m_tooLarge && (error == QNetworkReply::NoError || (result.statusCode >= 400 && isStatusError(error)));
        if (result.arrived) {
            result.body = std::move(m_body);
        } else {
            result.failure = m_tooLarge ? QStringLiteral("the reply is larger than %1 MiB")
                                              .arg(CommunityTransport::maxBodyBytes / (1024 * 1024))
                                        : m_reply->errorString();
        }
        backgroundQueue().start([handler = std::move(m_handler), result = std::move(result)] { handler(result); });
        m_reply->deleteLater();
    }

    QNetworkReply* const m_reply;
    CommunityTransport::ReplyHandler m_handler;
    QByteArray m_body;
    bool m_tooLarge = false;
};

} // namespace

CommunityTransport::CommunityTransport(CommunitySettings settings) : settings(std::move(settings)) {}

std::optional<QNetworkRequest> CommunityTransport::request(const char* endpoint) const
{
    return requestForUrl(QUrl(settings.baseUrl + QLatin1String(endpoint), QUrl::StrictMode));
}

std::optional<QNetworkRequest> CommunityTransport::requestForUrl(const QUrl& url) const
{
    // HTTPS only: the device identifier must not travel in the clear, nor the list be altered on
    // the way.
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty()) {
        return std::nullopt;
    }
    QNetworkRequest request(url);
    // Like the timeout of a URL request: the longest time without any data arriving.
    request.setTransferTimeout(int(settings.timeout.count()));
    if (!settings.extraCaCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(settings.extraCaCertificates);
        request.setSslConfiguration(tls);
    }
    return request;
}

void CommunityTransport::get(const QNetworkRequest& request, ReplyHandler handler) const
{
    new ReplyReader(network().get(request), std::move(handler));
}

void CommunityTransport::post(const QNetworkRequest& request, const QByteArray& body, ReplyHandler handler) const
{
    new ReplyReader(network().post(request, body), std::move(handler));
}
