#include "CommunityTransport.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace {

// The thread on which requests are sent and replies read, so that reading a body of up to 32 MiB
// never holds up the main thread; it is also the transport's background queue, on which handlers
// run in the order in which their exchanges ended. Started on first use and ended when the
// application object goes.
QThread& networkThread()
{
    static QThread* const thread = [] {
        auto* started = new QThread;
        started->setObjectName(QStringLiteral("TuneSieve network"));
        started->start();
        qAddPostRoutine([] {
            networkThread().quit();
            networkThread().wait();
        });
        return started;
    }();
    return *thread;
}

QNetworkAccessManager& network()
{
    // Made on its thread, and kept until the process ends: tearing it down after the application
    // object has gone makes Qt warn.
    static QNetworkAccessManager* const manager = [] {
        QNetworkAccessManager* created = nullptr;
        QObject context;
        context.moveToThread(&networkThread());
        QMetaObject::invokeMethod(
            &context,
            [&created] {
                created = new QNetworkAccessManager;
                created->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
            },
            Qt::BlockingQueuedConnection);
        return created;
    }();
    return *manager;
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

// How much of a body is received before it is read.
constexpr qint64 kReadAheadBytes = 1024 * 1024;

// Reads one reply as it arrives, within the size limit and the deadline, and hands it to the handler
// when it ends. Owned by the reply.
class ReplyReader : public QObject
{
public:
    ReplyReader(QNetworkReply* reply, std::chrono::milliseconds deadline, CommunityTransport::ReplyHandler handler,
                CommunityTransport::BodySink sink = {})
        : QObject(reply), m_reply(reply), m_handler(std::move(handler)), m_sink(std::move(sink)), m_deadline(deadline)
    {
        // Qt reads HTTP on a thread of its own, and would otherwise read a whole body ahead of a reader that takes
        // its time (a million names take more to read than to receive) and hold it meanwhile.
        reply->setReadBufferSize(kReadAheadBytes);
        connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyReader::checkAnnouncedSize);
        connect(reply, &QNetworkReply::readyRead, this, &ReplyReader::read);
        connect(reply, &QNetworkReply::finished, this, &ReplyReader::finish);
        m_deadlineTimer.setSingleShot(true);
        connect(&m_deadlineTimer, &QTimer::timeout, this, [this] {
            m_overDeadline = true;
            m_reply->abort(); // emits finished
        });
        m_deadlineTimer.start(deadline);
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
        if (m_received + m_reply->bytesAvailable() > CommunityTransport::maxBodyBytes) {
            refuse();
            return;
        }
        const QByteArray piece = m_reply->readAll();
        m_received += piece.size();
        if (!m_sink) {
            m_body += piece;
        } else if (!m_sink(piece)) {
            m_sinkRefused = true;
            m_reply->abort(); // emits finished
        }
    }

    void refuse()
    {
        m_tooLarge = true;
        m_body.clear();
        m_reply->abort(); // emits finished
    }

    void finish()
    {
        m_deadlineTimer.stop();
        if (!m_tooLarge && !m_sinkRefused && m_reply->isOpen()) {
            read();
        }
        CommunityTransport::Reply result;
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        result.statusCode = status.isValid() ? status.toInt() : 0;
        const QNetworkReply::NetworkError error = m_reply->error();
        result.arrived = !m_tooLarge && !m_sinkRefused &&
                         (error == QNetworkReply::NoError || (result.statusCode >= 400 && isStatusError(error)));
        if (result.arrived) {
            result.body = std::move(m_body);
            result.etag = m_reply->rawHeader("ETag");
            result.lastModified = m_reply->rawHeader("Last-Modified");
        } else {
            result.failure = m_tooLarge ? QStringLiteral("the reply is larger than %1 MiB")
                                              .arg(CommunityTransport::maxBodyBytes / (1024 * 1024))
                             : m_sinkRefused  ? QStringLiteral("the reply is not what was asked for")
                             : m_overDeadline ? QStringLiteral("the download took longer than %1 s")
                                                    .arg(std::chrono::ceil<std::chrono::seconds>(m_deadline).count())
                                              : m_reply->errorString();
        }
        m_reply->deleteLater();
        m_handler(result);
    }

    QNetworkReply* const m_reply;
    CommunityTransport::ReplyHandler m_handler;
    CommunityTransport::BodySink m_sink;
    const std::chrono::milliseconds m_deadline;
    QTimer m_deadlineTimer;
    QByteArray m_body;
    qint64 m_received = 0;
    bool m_tooLarge = false;
    bool m_sinkRefused = false;
    bool m_overDeadline = false;
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

void CommunityTransport::get(const QNetworkRequest& request, ReplyHandler handler, BodySink sink) const
{
    QNetworkAccessManager* manager = &network();
    QMetaObject::invokeMethod(
        manager, [manager, request, deadline = settings.deadline, handler = std::move(handler),
                  sink = std::move(sink)] { new ReplyReader(manager->get(request), deadline, handler, sink); });
}

void CommunityTransport::post(const QNetworkRequest& request, const QByteArray& body, ReplyHandler handler) const
{
    QNetworkAccessManager* manager = &network();
    QMetaObject::invokeMethod(manager,
                              [manager, request, body, deadline = settings.deadline, handler = std::move(handler)] {
                                  new ReplyReader(manager->post(request, body), deadline, handler);
                              });
}
