#include "ListSubscriptions.h"

#include "ArtistListFormats.h"
#include "StoredRecords.h"
#include "platform/MainQueue.h"

#include <QCryptographicHash>
#include <QJsonObject>

namespace {

const QString kSubscriptionsKey = QStringLiteral("listSubscriptions");

QString listKey(const QString& url)
{
    const QByteArray hash = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("listSubscription-") + QString::fromLatin1(hash.left(16));
}

// The file's name without its extension, else the host: "SpotifyAiArtists" for ".../SpotifyAiArtists.csv".
QString nameFromAddress(const QUrl& url)
{
    const QString file = url.fileName();
    const QString stem = file.left(file.lastIndexOf(u'.'));
    return stem.isEmpty() ? url.host() : stem;
}

QJsonObject encoded(const ListSubscriptions::Subscription& subscription)
{
    return {{"url", subscription.url},
            {"name", subscription.name},
            {"enabled", subscription.enabled},
            {"updated", subscription.updated ? subscription.updated->toString(Qt::ISODateWithMs) : QString()},
            {"error", subscription.error},
            {"count", subscription.count}};
}

std::optional<ListSubscriptions::Subscription> decoded(const QJsonObject& object)
{
    const QString url = object["url"].toString();
    if (url.isEmpty()) {
        return std::nullopt;
    }
    const QDateTime updated = QDateTime::fromString(object["updated"].toString(), Qt::ISODateWithMs);
    return ListSubscriptions::Subscription{url,
                                           object["name"].toString(nameFromAddress(QUrl(url))),
                                           object["enabled"].toBool(true),
                                           updated.isValid() ? std::optional(updated.toUTC()) : std::nullopt,
                                           object["error"].toString(),
                                           object["count"].toInt()};
}

} // namespace

ListSubscriptions::ListSubscriptions(std::shared_ptr<PreferencesDomain> domain, CommunityTransport transport)
    : m_domain(std::move(domain)), m_transport(std::move(transport))
{}

QList<ListSubscriptions::Subscription> ListSubscriptions::subscriptions() const
{
    return StoredRecords::read<Subscription>(*m_domain, kSubscriptionsKey, decoded);
}

void ListSubscriptions::writeSubscriptions(const QList<Subscription>& subscriptions)
{
    StoredRecords::write(*m_domain, kSubscriptionsKey, subscriptions, encoded);
}

std::optional<QString> ListSubscriptions::subscribe(const QString& address, const QString& name,
                                                    std::function<void()> completion)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    if (!m_transport.requestForUrl(url)) {
        return QStringLiteral("TuneSieve reads lists only over HTTPS: enter an address that starts with https://");
    }
    QList<Subscription> all = subscriptions();
    const QString text = url.toString();
    if (std::none_of(all.cbegin(), all.cend(), [&text](const Subscription& known) { return known.url == text; })) {
        Subscription added;
        added.url = text;
        added.name = name.trimmed().isEmpty() ? nameFromAddress(url) : name.trimmed();
        all.append(added);
        writeSubscriptions(all);
    }
    update(text, completion);
    return std::nullopt;
}

void ListSubscriptions::unsubscribe(const QString& url)
{
    QList<Subscription> all = subscriptions();
    all.removeIf([&url](const Subscription& subscription) { return subscription.url == url; });
    writeSubscriptions(all);
    m_domain->setValue(listKey(url), QVariant());
    m_domain->synchronize();
    m_lists.remove(url);
}

void ListSubscriptions::setEnabled(const QString& url, bool enabled)
{
    QList<Subscription> all = subscriptions();
    for (Subscription& subscription : all) {
        subscription.enabled = subscription.url == url ? enabled : subscription.enabled;
    }
    writeSubscriptions(all);
}

void ListSubscriptions::update(const QString& url, const std::function<void()>& completion)
{
    m_lastAttempts.insert(url, QDateTime::currentDateTimeUtc());
    const std::optional<QNetworkRequest> request = m_transport.requestForUrl(QUrl(url, QUrl::StrictMode));
    if (!request) {
        store(url, {}, {}, QStringLiteral("not an HTTPS address"));
        completion();
        return;
    }
    m_transport.get(*request, [self = weak_from_this(), url, completion](const CommunityTransport::Reply& reply) {
        // Read, lower-cased and sorted here, off the main thread: a list of 100 000 names must not
        // hold up the user interface.
        ArtistListFormats::Reading reading;
        if (!reply.arrived) {
            reading.error = reply.failure;
        } else if (reply.statusCode / 100 != 2) {
            reading.error = QStringLiteral("the server answered %1").arg(reply.statusCode);
        } else {
            reading = ArtistListFormats::read(reply.body);
        }
        MainQueue::post([self, url, reading = std::move(reading), completion] {
            if (const std::shared_ptr<ListSubscriptions> subscriptions = self.lock()) {
                subscriptions->store(url, reading.sorted, reading.list.artists, reading.error);
            }
            completion();
        });
    });
}

void ListSubscriptions::updateEnabled(bool dueOnly, const std::function<void()>& completion)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const Subscription& subscription : subscriptions()) {
        const auto attempt = m_lastAttempts.constFind(subscription.url);
        const bool due = attempt == m_lastAttempts.cend() || attempt->secsTo(now) >= updateIntervalSecs;
        if (subscription.enabled && (due || !dueOnly)) {
            update(subscription.url, completion);
        }
    }
}

void ListSubscriptions::store(const QString& url, const QStringList& sorted, const ArtistSet& artists,
                              const QString& error)
{
    QList<Subscription> all = subscriptions();
    const auto subscription =
        std::find_if(all.begin(), all.end(), [&url](const Subscription& known) { return known.url == url; });
    if (subscription == all.end()) {
        return; // unsubscribed while it was fetched
    }
    subscription->error = error;
    if (error.isEmpty()) {
        storedList(url).write(*m_domain, sorted, artists);
        subscription->updated = QDateTime::currentDateTimeUtc();
        subscription->count = int(artists.size());
    }
    writeSubscriptions(all);
}

StoredArtistList& ListSubscriptions::storedList(const QString& url) const
{
    auto list = m_lists.find(url);
    if (list == m_lists.end()) {
        list = m_lists.insert(url, StoredArtistList(listKey(url)));
    }
    return *list;
}

const ArtistSet& ListSubscriptions::names(const QString& url) const
{
    return storedList(url).read(*m_domain);
}

std::optional<QString> ListSubscriptions::listHolding(const QString& name) const
{
    for (const Subscription& subscription : subscriptions()) {
        if (subscription.enabled && names(subscription.url).contains(name)) {
            return subscription.name;
        }
    }
    return std::nullopt;
}
