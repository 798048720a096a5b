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
ArtistListFormats::Reading reading(const CommunityTransport::Reply& reply, ArtistListFormats::Reader& reader)
{
    ArtistListFormats::Reading reading;
    if (!reply.arrived) {
        reading.error = reply.failure;
    } else if (reply.statusCode / 100 != 2) {
        reading.error = QStringLiteral("the server answered %1").arg(reply.statusCode);
    } else {
        reading = reader.finish();
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

QString encodedTime(const std::optional<QDateTime>& time)
{
    return time ? time->toString(Qt::ISODateWithMs) : QString();
}

std::optional<QDateTime> decodedTime(const QJsonValue& value)
{
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? std::optional(time.toUTC()) : std::nullopt;
}

QJsonObject encoded(const ListSubscriptions::Subscription& subscription)
{
    QJsonObject object{{"url", subscription.url},
                       {"name", subscription.name},
                       {"enabled", subscription.enabled},
                       {"updated", encodedTime(subscription.updated)},
                       {"error", subscription.error},
                       {"count", subscription.count},
                       {"tried", encodedTime(subscription.tried)},
                       {"retry", subscription.retry}};
    if (!subscription.validators.isEmpty()) {
        const QJsonObject validators = subscription.validators.encoded();
        for (auto field = validators.begin(); field != validators.end(); ++field) {
            object.insert(field.key(), field.value());
        }
    }
    return object;
}

std::optional<ListSubscriptions::Subscription> decoded(const QJsonObject& object)
{
    const QString url = object["url"].toString();
    if (url.isEmpty()) {
        return std::nullopt;
    }
    return ListSubscriptions::Subscription{url,
                                           object["name"].toString(nameFromAddress(QUrl(url))),
                                           object["enabled"].toBool(true),
                                           decodedTime(object["updated"]),
                                           object["error"].toString(),
                                           object["count"].toInt(),
                                           decodedTime(object["tried"]),
                                           object["retry"].toInt(),
                                           ListValidators::decoded(object)};
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
        const bool retrying = !subscription.error.isEmpty() && subscription.retry < int(retryDelays.size());
        const QDateTime due = !subscription.tried ? now
                              : retrying          ? subscription.tried->addDuration(retryDelays[subscription.retry])
                                                  : subscription.tried->addSecs(updateIntervalSecs);
        if (!subscription.enabled) {
            continue;
        } else if (!dueOnly || due <= now) {
            update(subscription.url, completion);
        } else if (retrying) {
            scheduleRetry({subscription.url, subscription.retry + 1}, std::chrono::milliseconds(now.msecsTo(due)));
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
    const auto done = [self = weak_from_this(), fetch](Outcome outcome) {
        MainQueue::post([self, fetch, outcome = std::move(outcome)] {
            if (const std::shared_ptr<ListSubscriptions> subscriptions = self.lock()) {
                subscriptions->finish(fetch, outcome);
            }
        });
    };
    const QUrl url(fetch.url, QUrl::StrictMode);
    if (const std::optional<QString> refusal = addressRefusal(url)) { // an address edited in by hand
        Outcome refused;
        refused.reading.error = *refusal;
        done(refused);
        return;
    }
    QNetworkRequest request = *m_transport.requestForUrl(url);
    // Asks for the list only when it changed since the copy stored, and only while that copy is there.
    const Subscription* subscription = find(fetch.url);
    const std::optional<quint64> storedCopy = listFile(fetch.url).checksum();
    const bool conditional = subscription && subscription->validators.describe(storedCopy);
    if (conditional) {
        subscription->validators.addTo(request);
    }
    // Read as it arrives, and stored here too, off the main thread, which takes the new file mapped and checked.
    const auto reader = std::make_shared<ArtistListFormats::Reader>();
    const auto feed = [reader](QByteArrayView piece) {
        reader->feed(piece);
        return true;
    };
    m_transport.get(
        request,
        [done, reader, path = listPath(fetch.url), conditional, storedCopy](const auto& reply) {
            Outcome outcome;
            if (conditional && reply.arrived && reply.statusCode == ListValidators::notModified) {
                outcome.notModifiedCopy = storedCopy;
                done(std::move(outcome));
                return;
            }
            outcome.reading = reading(reply, *reader);
            if (outcome.reading.error.isEmpty() &&
                !(outcome.stored = ArtistListFile::writeAndMap(path, outcome.reading.list.names))) {
                outcome.reading.error = QStringLiteral("the list cannot be saved on this computer");
            }
            outcome.reading.list.names = ArtistKeys(); // the file holds them now
            if (outcome.stored) {
                outcome.validators = ListValidators::ofReply(reply.etag, reply.lastModified,
                                                             ArtistListFile::checksumOf(*outcome.stored));
            }
            done(std::move(outcome));
        },
        feed);
}

void ListSubscriptions::finish(const Fetch& fetch, const Outcome& outcome)
{
    --m_fetching;
    startQueued();
    const QList<std::function<void()>> completions = m_waiting.take(fetch.url);
    if (Subscription* subscription = find(fetch.url)) { // else unsubscribed while it was fetched
        const QDateTime now = QDateTime::currentDateTimeUtc();
        // "Not modified" stands only for the copy whose validators were sent.
        const bool copyGone = outcome.notModifiedCopy && listFile(fetch.url).checksum() != outcome.notModifiedCopy;
        subscription->error = copyGone ? QStringLiteral("the server answered %1").arg(ListValidators::notModified)
                                       : outcome.reading.error;
        subscription->tried = now;
        subscription->retry = fetch.retry;
        if (subscription->error.isEmpty()) {
            if (outcome.stored) {
                listFile(fetch.url).adopt(outcome.stored);
                subscription->validators = outcome.validators;
            }
            subscription->updated = now;
            subscription->count = int(listFile(fetch.url).names().count);
        } else if (fetch.retry < int(retryDelays.size())) {
            scheduleRetry({fetch.url, fetch.retry + 1}, retryDelays[fetch.retry]);
        }
        writeRecordsSoon();
    } else if (outcome.stored) {
        ArtistListFile::remove(listPath(fetch.url));
    }
    for (const std::function<void()>& completion : completions) {
        completion();
    }
}

void ListSubscriptions::scheduleRetry(const Fetch& retry, std::chrono::milliseconds delay)
{
    if (m_retrying.contains(retry.url)) {
        return;
    }
    m_retrying.insert(retry.url);
    m_delay(delay, [self = weak_from_this(), retry] {
        const std::shared_ptr<ListSubscriptions> subscriptions = self.lock();
        if (!subscriptions) {
            return;
        }
        subscriptions->m_retrying.remove(retry.url);
        const Subscription* subscription = subscriptions->find(retry.url);
        if (subscription && subscription->enabled) {
            subscriptions->fetch(retry, [] {});
        }
    });
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
