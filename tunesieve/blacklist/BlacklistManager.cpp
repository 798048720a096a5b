#include "BlacklistManager.h"

#include "ArtistName.h"
#include "CommunityListReader.h"
#include "CommunityWireFormat.h"
#include "Constants.h"
#include "StoredRecords.h"
#include "platform/MainQueue.h"
#include "platform/PreferencesFactory.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QUuid>
#include <cstdio>

namespace {

QString newDeviceId()
{
    // QUuid::createUuid() is a random (version 4) UUID; the stored form is upper case, no braces.
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QJsonObject encodedSkip(const BlacklistManager::SkipRecord& record)
{
    return {{"time", record.time.toUTC().toString(Qt::ISODateWithMs)},
            {"player", record.player},
            {"artist", record.artist},
            {"title", record.title},
            {"list", record.list},
            {"credit", record.credit}};
}

std::optional<BlacklistManager::SkipRecord> decodedSkip(const QJsonObject& object)
{
    for (const char* field : {"time", "player", "artist", "title", "list"}) {
        if (!object.value(QLatin1String(field)).isString()) {
            return std::nullopt;
        }
    }
    const QDateTime time = QDateTime::fromString(object["time"].toString(), Qt::ISODateWithMs);
    if (!time.isValid()) {
        return std::nullopt;
    }
    const QString artist = object["artist"].toString();
    return BlacklistManager::SkipRecord{time.toUTC(),
                                        object["player"].toString(),
                                        artist,
                                        object["title"].toString(),
                                        object["list"].toString(),
                                        object["credit"].toString(artist)};
}

} // namespace

const std::shared_ptr<BlacklistManager>& BlacklistManager::shared()
{
    // A function-local static is initialised exactly once, even under concurrent first use.
    static const std::shared_ptr<BlacklistManager> instance = [] {
        // The certificates in the file that SSL_CERT_FILE names are trusted too, as OpenSSL's own programs
        // trust them (Qt reads no such variable): a company's inspecting proxy, or a test's own CA.
        CommunitySettings community;
        community.extraCaCertificates = QSslCertificate::fromPath(qEnvironmentVariable("SSL_CERT_FILE"));
        std::unique_ptr<PreferencesDomain> domain = openUserPreferences(QStringLiteral("com.tunesieve.blacklist"));
        // A user or an operator may point the agent at another service; read once, at start.
        const QVariant preferred = domain->value(serviceUrlKey);
        if (preferred.isValid() && !community.useServiceUrl(preferred)) {
            std::fprintf(stderr, "tunesieve: communityServiceURL is not an https:// address; using %s\n",
                         qUtf8Printable(community.baseUrl));
            std::fflush(stderr);
        }
        return std::make_shared<BlacklistManager>(std::move(domain), community);
    }();
    return instance;
}

BlacklistManager::BlacklistManager(std::unique_ptr<PreferencesDomain> defaults, CommunitySettings community,
                                   const QString& listFolder)
    : defaults(std::move(defaults)), community(std::move(community)),
      m_communityList(listFolder + u'/' + communityBlacklistKey + QStringLiteral(".names")),
      m_listSubscriptions(std::make_shared<ListSubscriptions>(this->defaults, this->community, listFolder))
{
    StoredArtistList(communityBlacklistKey).moveToFile(*this->defaults, m_communityList.path());
    if (!this->defaults->value(communityEnabledKey).isValid()) {
        this->defaults->setValue(communityEnabledKey, true);
    }
    if (!this->defaults->string(deviceIdKey)) {
        this->defaults->setValue(deviceIdKey, newDeviceId());
        this->defaults->synchronize();
    }
}

QString BlacklistManager::communityServiceHost() const
{
    return QUrl(community.baseUrl()).host();
}

QString BlacklistManager::deviceId() const
{
    // When the identifier was removed after start, hand out a fresh one without storing it.
    return defaults->string(deviceIdKey).value_or(newDeviceId());
}

ArtistSet BlacklistManager::localArtists() const
{
    return m_localList.read(*defaults);
}

void BlacklistManager::setLocalArtists(const ArtistSet& artists)
{
    m_localList.write(*defaults, artists);
}

void BlacklistManager::editList(StoredArtistList& list, const QString& artist, bool present)
{
    ArtistSet artists = list.read(*defaults);
    const QString name = ArtistName::normalized(artist);
    if (artists.contains(name) == present) {
        return; // nothing to write
    }
    present ? artists.insert(name) : artists.remove(name);
    list.write(*defaults, artists.sorted(), artists);
}

void BlacklistManager::addLocal(const QString& artist)
{
    editList(m_localList, artist, true);
    removeNeverSkip(artist);
}

void BlacklistManager::removeLocal(const QString& artist)
{
    editList(m_localList, artist, false);
}

ArtistSet BlacklistManager::communityArtists() const
{
    return m_communityList.names().toSet();
}

void BlacklistManager::setCommunityArtists(const ArtistSet& artists)
{
    ArtistListFile::write(m_communityList.path(), ArtistKeys::fromSet(artists));
}

ArtistSet BlacklistManager::neverSkipArtists() const
{
    return m_neverSkipList.read(*defaults);
}

void BlacklistManager::setNeverSkipArtists(const ArtistSet& artists)
{
    m_neverSkipList.write(*defaults, artists);
}

void BlacklistManager::allow(const QString& artist)
{
    editList(m_neverSkipList, artist, true);
    removeLocal(artist);
}

void BlacklistManager::removeNeverSkip(const QString& artist)
{
    editList(m_neverSkipList, artist, false);
}

QList<BlockedSong> BlacklistManager::blockedSongs() const
{
    return m_blockedSongs.read(*defaults);
}

void BlacklistManager::blockSongs(const QList<BlockedSong>& songs)
{
    m_blockedSongs.add(*defaults, songs);
}

ListMerge BlacklistManager::mergeWithBlockedSongs(const QList<BlockedSong>& songs) const
{
    return m_blockedSongs.merge(*defaults, songs);
}

void BlacklistManager::unblockSong(const QString& artist, const QString& title)
{
    m_blockedSongs.remove(*defaults, artist, title);
}

std::optional<QString> BlacklistManager::firstBlockedSong(const QStringList& credits, const QString& title) const
{
    return m_blockedSongs.firstBlocked(*defaults, credits, title);
}

bool BlacklistManager::blocksSongsBy(const QStringList& credits) const
{
    return m_blockedSongs.holdsSongsBy(*defaults, credits);
}

ListMerge BlacklistManager::mergeWithLocal(const ArtistSet& artists) const
{
    const ArtistSet& local = m_localList.read(*defaults);
    ListMerge merge;
    for (const QString& name : artists.sorted()) {
        ++(local.contains(name) ? merge.alreadyListed : merge.added);
    }
    return merge;
}

void BlacklistManager::addLocal(const ArtistSet& artists)
{
    ArtistSet local = m_localList.read(*defaults);
    local.unite(artists);
    m_localList.write(*defaults, local);
    ArtistSet neverSkip = m_neverSkipList.read(*defaults);
    for (const QString& name : artists.sorted()) {
        neverSkip.remove(name);
    }
    if (neverSkip.size() != m_neverSkipList.read(*defaults).size()) {
        m_neverSkipList.write(*defaults, neverSkip);
    }
}

QList<BlacklistManager::SkipRecord> BlacklistManager::recentSkips() const
{
    return StoredRecords::read<SkipRecord>(*defaults, recentlySkippedKey, decodedSkip);
}

void BlacklistManager::recordSkip(const SkipRecord& record)
{
    QList<SkipRecord> records{record};
    records.append(recentSkips().mid(0, maxRecentSkips - 1));
    StoredRecords::write(*defaults, recentlySkippedKey, records, encodedSkip);
}

bool BlacklistManager::isCommunityEnabled() const
{
    return defaults->boolean(communityEnabledKey);
}

void BlacklistManager::setCommunityEnabled(bool enabled)
{
    defaults->setValue(communityEnabledKey, enabled);
    defaults->synchronize();
}

std::optional<QDateTime> BlacklistManager::lastSyncDate() const
{
    return defaults->date(lastSyncKey);
}

void BlacklistManager::setLastSyncDate(const std::optional<QDateTime>& date)
{
    defaults->setValue(lastSyncKey, date ? QVariant(*date) : QVariant());
    defaults->synchronize();
}

ArtistSet BlacklistManager::allBlockedArtists() const
{
    ArtistSet artists = localArtists();
    if (isCommunityEnabled()) {
        artists.unite(communityArtists());
    }
    return artists;
}

bool BlacklistManager::contains(const QString& artist) const
{
    return firstBlocked({artist}).has_value();
}

std::optional<BlacklistManager::Block> BlacklistManager::firstBlocked(const QStringList& artists) const
{
    // Same answer as allBlockedArtists().contains(), without building the union. Each list is read
    // once a query, as a read looks at the file; the community lists only when they can matter.
    const ArtistSet& local = m_localList.read(*defaults);
    const ArtistSet& neverSkip = m_neverSkipList.read(*defaults);
    const bool communityEnabled = isCommunityEnabled();
    // The empty name for the community list itself, the list's name for a subscribed one. Each list file is
    // checked for a change once a query.
    std::optional<SortedKeysView> community;
    QList<ListSubscriptions::ListNames> subscribed;
    const auto communityListHolding = [&](const QString& name) -> std::optional<QString> {
        if (!community) {
            community = m_communityList.names();
            subscribed = m_listSubscriptions->enabledLists();
        }
        const QByteArray key = ArtistKeys::keyOf(name);
        if (community->contains(key)) {
            return QString();
        }
        for (const ListSubscriptions::ListNames& list : std::as_const(subscribed)) {
            if (list.names.contains(key)) {
                return list.name;
            }
        }
        return std::nullopt;
    };
    // The track as reported is never skipped, whoever else it credits.
    if (!artists.isEmpty() && neverSkip.contains(ArtistName::normalized(artists.first()))) {
        return std::nullopt;
    }
    for (const QString& artist : artists) {
        const QString name = ArtistName::normalized(artist);
        if (neverSkip.contains(name)) {
            continue;
        }
        if (local.contains(name)) {
            const std::optional<QString> list = communityListHolding(name);
            return Block{artist, list.has_value(), communityEnabled ? list.value_or(QString()) : QString()};
        }
        if (const std::optional<QString> list = communityEnabled ? communityListHolding(name) : std::nullopt) {
            return Block{artist, true, *list};
        }
    }
    return std::nullopt;
}

bool BlacklistManager::isInCommunityBlacklist(const QString& artist) const
{
    return m_communityList.contains(ArtistName::normalized(artist));
}

ListValidators BlacklistManager::communityListValidators() const
{
    const QString text = defaults->string(communityValidatorsKey).value_or(QString());
    return ListValidators::decoded(QJsonDocument::fromJson(text.toUtf8()).object());
}

void BlacklistManager::setCommunityListValidators(const ListValidators& validators)
{
    defaults->setValue(communityValidatorsKey,
                       !validators.isEmpty()
                           ? QString::fromUtf8(QJsonDocument(validators.encoded()).toJson(QJsonDocument::Compact))
                           : QVariant());
}

void BlacklistManager::syncCommunityBlacklist(std::function<void(bool success, int count)> completion)
{
    std::optional<QNetworkRequest> request = community.request(API_BLACKLIST_ENDPOINT);
    if (!request) {
        completion(false, 0);
        return;
    }
    request->setRawHeader("Accept", "application/json");
    // Asks for the list only when it changed since the copy stored, and only while that copy is there.
    const std::optional<quint64> storedCopy = m_communityList.checksum();
    const ListValidators validators = communityListValidators();
    const bool conditional = validators.describe(storedCopy);
    if (conditional) {
        validators.addTo(*request);
    }
    // Read as it arrives, sorted and stored off the main thread: a list of a million names must not hold up
    // the user interface, nor be held as a whole body and a document besides. The main thread takes the
    // new file mapped and checked.
    const auto reader = std::make_shared<CommunityListReader>();
    community.get(
        *request,
        [store = weak_from_this(), path = m_communityList.path(), reader, conditional, storedCopy,
         completion = std::move(completion)](const CommunityTransport::Reply& reply) {
            const bool notModified = conditional && reply.arrived && reply.statusCode == ListValidators::notModified;
            const std::optional<CommunityWireFormat::CommunityList> list =
                reply.arrived && !notModified ? reader->finish() : std::nullopt;
            const std::shared_ptr<const ArtistListFile::Snapshot> stored =
                list && !store.expired() ? ArtistListFile::writeAndMap(path, list->names) : nullptr;
            const ListValidators received =
                stored ? ListValidators::ofReply(reply.etag, reply.lastModified, ArtistListFile::checksumOf(*stored))
                       : ListValidators();
            MainQueue::post([store, stored, received, notModified, storedCopy, count = list ? list->count : 0,
                             completion] {
                const std::shared_ptr<BlacklistManager> strongStore = store.lock();
                // "Not modified" stands only for the copy whose validators were sent.
                const bool kept = strongStore && notModified && strongStore->m_communityList.checksum() == storedCopy;
                if (!strongStore || (!stored && !kept)) {
                    completion(false, 0);
                    return;
                }
                if (stored) {
                    strongStore->m_communityList.adopt(stored);
                    strongStore->setCommunityListValidators(received);
                }
                strongStore->setLastSyncDate(QDateTime::currentDateTimeUtc());
                completion(true, kept ? int(strongStore->m_communityList.names().count) : count);
            });
        },
        [reader](QByteArrayView piece) { return reader->feed(piece); });
}

void BlacklistManager::flagArtist(const QString& artist, std::function<void(bool success)> completion)
{
    std::optional<QNetworkRequest> request = community.request(API_FLAG_ENDPOINT);
    if (!request) {
        completion(false);
        return;
    }
    request->setRawHeader("Content-Type", "application/json");
    const std::optional<QByteArray> body = CommunityWireFormat::flagBody(artist, deviceId());
    if (!body) {
        completion(false);
        return;
    }
    community.post(*request, *body, [completion = std::move(completion)](const CommunityTransport::Reply& reply) {
        const bool verdict = reply.arrived && CommunityWireFormat::readFlagVerdict(reply.statusCode, reply.body);
        MainQueue::post([completion, verdict] { completion(verdict); });
    });
}
