#include "ListSubscriptions.h"

#include "ArtistListFormats.h"
#include "StoredArtistList.h"
#include "StoredRecords.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonObject>
#include <QSet>
#include <QTimer>

namespace {

const QString kSubscriptionsKey = QStringLiteral("listSubscriptions");
const QString kListKeyPrefix = QStringLiteral("listSubscription-");
const QString kListFileSuffix = QStringLiteral(".names");
// How long the replies of a burst gather before their outcomes are written together.
constexpr int kBurstWriteMs = 1000;

QString listKey(const QString& url)
{
    const QByteArray hash = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256).toHex();
    return kListKeyPrefix + QString::fromLatin1(hash.left(16));
}

// Read here, off the main thread: a list of a million names must not hold up the user interface.
ArtistListFormats::Reading reading(const CommunityTransport::Reply& reply)
{
    ArtistListFormats::Reading reading;
    if (!reply.arrived) {
        reading.error = reply.failure;
    } else if (reply.statusCode / 100 != 2) {
        reading.error = QStringLiteral("the server answered %1").arg(reply.statusCode);
    } else {
        reading = ArtistListFormats::read(reply.body);
    }
    return reading;
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

ListSubscriptions::ListSubscriptions(std::shared_ptr<PreferencesDomain> domain, CommunityTransport transport,
                                     QString listFolder, Delay delay)
    : m_domain(std::move(domain)), m_transport(std::move(transport)), m_listFolder(std::move(listFolder)),
      m_delay(std::move(delay))
{
    moveAndDropCopies();
}

void ListSubscriptions::afterOnMainThread(std::chrono::milliseconds delay, std::function<void()> task)
{
    QTimer::singleShot(delay, QCoreApplication::instance(), std::move(task));
}

void ListSubscriptions::moveAndDropCopies()
{
    if (m_domain->value(kSubscriptionsKey).isValid() && !m_domain->stringArray(kSubscriptionsKey)) {
        return; // subscriptions that cannot be read at all may still name every copy
    }
    QSet<QString> named;
    for (const Subscription& subscription : records()) {
        named.insert(listKey(subscription.url));
    }
    const QStringList keys = m_domain->keys();
    for (const QString& key : keys) {
        if (!key.startsWith(kListKeyPrefix)) {
            continue;
        }
        named.contains(key) ? StoredArtistList(key).moveToFile(*m_domain, m_listFolder + u'/' + key + kListFileSuffix)
                            : m_domain->setValue(key, QVariant());
    }
    m_domain->synchronize();
    const QStringList files = QDir(m_listFolder).entryList({kListKeyPrefix + u'*' + kListFileSuffix}, QDir::Files);
    for (const QString& file : files) {
        if (!named.contains(file.chopped(kListFileSuffix.size()))) {
            ArtistListFile::remove(m_listFolder + u'/' + file);
        }
    }
}

QList<ListSubscriptions::Subscription>& ListSubscriptions::records() const
{
    // Changes of this object's own not yet written win over another program's made meanwhile.
    const quint64 revision = m_domain->revision(kSubscriptionsKey);
    if (revision != m_recordsRevision && !m_writeDue) {
        m_records = StoredRecords::read<Subscription>(*m_domain, kSubscriptionsKey, decoded);
        m_recordsRevision = revision;
    }
    return m_records;
}

ListSubscriptions::Subscription* ListSubscriptions::find(const QString& url)
{
    QList<Subscription>& all = records();
    const auto found =
        std::find_if(all.begin(), all.end(), [&url](const Subscription& known) { return known.url == url; });
    return found == all.end() ? nullptr : &*found;
}

void ListSubscriptions::writeRecords()
{
    StoredRecords::write(*m_domain, kSubscriptionsKey, m_records, encoded);
    m_recordsRevision = m_domain->revision(kSubscriptionsKey);
    m_writeDue = false;
}

void ListSubscriptions::writeRecordsSoon()
{
    m_writeDue = true;
    if (m_fetching == 0) {
        writeRecords();
    } else if (!std::exchange(m_writeScheduled, true)) {
        QTimer::singleShot(kBurstWriteMs, QCoreApplication::instance(), [self = weak_from_this()] {
            if (const std::shared_ptr<ListSubscriptions> subscriptions = self.lock()) {
                subscriptions->m_writeScheduled = false;
                subscriptions->m_writeDue ? subscriptions->writeRecords() : void();
            }
        });
    }
}

std::optional<QString> ListSubscriptions::addressRefusal(const QUrl& url) const
{
    if (!m_transport.requestForUrl(url)) {
        return QStringLiteral("TuneSieve reads lists only over HTTPS: enter an address that starts with https://");
    }
    if (!url.userInfo().isEmpty()) {
        return QStringLiteral("TuneSieve takes no addresses with a user name or password, which it would keep in "
                              "plain text: enter the list's address without them");
    }
    return std::nullopt;
}

std::optional<QString> ListSubscriptions::subscribe(const QString& address, const QString& name,
                                                    std::function<void()> completion)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    if (std::optional<QString> refusal = addressRefusal(url)) {
        return refusal;
    }
    const QString text = url.toString();
    if (!find(text)) {
        if (records().size() >= maxSubscriptions) {
            return QStringLiteral("TuneSieve follows at most %1 lists: remove one before you subscribe to another")
                .arg(maxSubscriptions);
        }
        Subscription added;
        added.url = text;
        added.name = name.trimmed().isEmpty() ? nameFromAddress(url) : name.trimmed();
        records().append(added);
        writeRecords();
    }
    update(text, completion);
    return std::nullopt;
}

void ListSubscriptions::unsubscribe(const QString& url)
{
    records().removeIf([&url](const Subscription& subscription) { return subscription.url == url; });
    writeRecords();
    ArtistListFile::remove(listPath(url));
    m_lists.erase(url);
}

void ListSubscriptions::setEnabled(const QString& url, bool enabled)
{
    if (Subscription* subscription = find(url)) {
        subscription->enabled = enabled;
        writeRecords();
    }
}

void ListSubscriptions::update(const QString& url, const std::function<void()>& completion)
{
    fetch({url, 0}, completion);
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

void ListSubscriptions::fetch(const Fetch& fetch, std::function<void()> completion)
{
    const auto waiting = m_waiting.find(fetch.url);
    if (waiting != m_waiting.end()) { // the fetch under way, or queued, answers this one too
        waiting->append(std::move(completion));
        return;
    }
    m_waiting.insert(fetch.url, {std::move(completion)});
    m_queue.append(fetch);
    startQueued();
}

void ListSubscriptions::startQueued()
{
    while (m_fetching < maxFetching && !m_queue.isEmpty()) {
        ++m_fetching;
        send(m_queue.takeFirst());
    }
}

void ListSubscriptions::send(const Fetch& fetch)
{
    m_lastAttempts.insert(fetch.url, QDateTime::currentDateTimeUtc());
    const auto done = [self = weak_from_this(), fetch](ArtistListFormats::Reading reading,
                                                       std::shared_ptr<const ArtistListFile::Snapshot> stored) {
        MainQueue::post([self, fetch, reading = std::move(reading), stored = std::move(stored)] {
            if (const std::shared_ptr<ListSubscriptions> subscriptions = self.lock()) {
                subscriptions->finish(fetch, reading, stored);
            }
        });
    };
    const QUrl url(fetch.url, QUrl::StrictMode);
    if (const std::optional<QString> refusal = addressRefusal(url)) { // an address edited in by hand
        ArtistListFormats::Reading refused;
        refused.error = *refusal;
        done(refused, nullptr);
        return;
    }
    // Stored here too, off the main thread, which takes the new file mapped and checked.
    m_transport.get(*m_transport.requestForUrl(url), [done, path = listPath(fetch.url)](const auto& reply) {
        ArtistListFormats::Reading read = reading(reply);
        std::shared_ptr<const ArtistListFile::Snapshot> stored;
        if (read.error.isEmpty() && !(stored = ArtistListFile::writeAndMap(path, read.list.names))) {
            read.error = QStringLiteral("the list cannot be saved on this computer");
        }
        read.list.names = ArtistKeys(); // the file holds them now
        done(std::move(read), std::move(stored));
    });
}

void ListSubscriptions::finish(const Fetch& fetch, const ArtistListFormats::Reading& reading,
                               const std::shared_ptr<const ArtistListFile::Snapshot>& stored)
{
    --m_fetching;
    startQueued();
    const QList<std::function<void()>> completions = m_waiting.take(fetch.url);
    if (Subscription* subscription = find(fetch.url)) { // else unsubscribed while it was fetched
        subscription->error = reading.error;
        if (reading.error.isEmpty()) {
            listFile(fetch.url).adopt(stored);
            subscription->updated = QDateTime::currentDateTimeUtc();
            subscription->count = int(listFile(fetch.url).names().count);
        } else if (fetch.retry < int(retryDelays.size())) {
            m_delay(retryDelays[fetch.retry], [self = weak_from_this(), retry = Fetch{fetch.url, fetch.retry + 1}] {
                const std::shared_ptr<ListSubscriptions> subscriptions = self.lock();
                const Subscription* subscription = subscriptions ? subscriptions->find(retry.url) : nullptr;
                if (subscription && subscription->enabled) {
                    subscriptions->fetch(retry, [] {});
                }
            });
        }
        writeRecordsSoon();
    } else if (reading.error.isEmpty()) {
        ArtistListFile::remove(listPath(fetch.url));
    }
    for (const std::function<void()>& completion : completions) {
        completion();
    }
}

QString ListSubscriptions::listPath(const QString& url) const
{
    return m_listFolder + u'/' + listKey(url) + kListFileSuffix;
}

const ArtistListFile& ListSubscriptions::listFile(const QString& url) const
{
    auto list = m_lists.find(url);
    if (list == m_lists.end()) {
        list = m_lists.emplace(url, ArtistListFile(listPath(url))).first;
    }
    return list->second;
}

ArtistSet ListSubscriptions::names(const QString& url) const
{
    return listFile(url).names().toSet();
}

QList<ListSubscriptions::ListNames> ListSubscriptions::enabledLists() const
{
    QList<ListNames> lists;
    for (const Subscription& subscription : records()) {
        if (subscription.enabled) {
            lists.append({subscription.name, listFile(subscription.url).names()});
        }
    }
    return lists;
}
