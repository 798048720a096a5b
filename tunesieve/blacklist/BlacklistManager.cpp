#include "BlacklistManager.h"

#include "ArtistName.h"
#include "CommunityWireFormat.h"
#include "Constants.h"
#include "StoredRecords.h"
#include "platform/MainQueue.h"
#include "platform/PreferencesFactory.h"

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

BlacklistManager::BlacklistManager(std::unique_ptr<PreferencesDomain> defaults, CommunitySettings community)
    : defaults(std::move(defaults)), community(std::move(community)),
      m_listSubscriptions(std::make_shared<ListSubscriptions>(this->defaults, this->community))
{
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
    return m_communityList.read(*defaults);
}

void BlacklistManager::setCommunityArtists(const ArtistSet& artists)
{
    m_communityList.write(*defaults, artists);
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
    const ArtistSet* community = nullptr;
    // The empty name for the community list itself, the list's name for a subscribed one.
    const auto communityListHolding = [&](const QString& name) -> std::optional<QString> {
        if (!community) {
            community = &m_communityList.read(*defaults);
        }
        return community->contains(name) ? QString() : m_listSubscriptions->listHolding(name);
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
    return m_communityList.read(*defaults).contains(ArtistName::normalized(artist));
}

void BlacklistManager::syncCommunityBlacklist(std::function<void(bool success, int count)> completion)
{
    std::optional<QNetworkRequest> request = community.request(API_BLACKLIST_ENDPOINT);
    if (!request) {
        completion(false, 0);
        return;
    }
    request->setRawHeader("Accept", "application/json");
    community.get(*request, [store = weak_from_this(),
                             completion = std::move(completion)](const CommunityTransport::Reply& reply) {
        // Read and sorted here, off the main thread: a list of 100 000 names must not hold up the user
        // interface. The main thread only hands the result to the store.
        std::optional<CommunityWireFormat::CommunityList> list =
            reply.arrived ? CommunityWireFormat::readList(reply.body) : std::nullopt;
        const QStringList sorted = list ? list->artists.sorted() : QStringList();
        MainQueue::post([store, list = std::move(list), sorted, completion] {
            const std::shared_ptr<BlacklistManager> strongStore = store.lock();
            if (!strongStore || !list) {
                completion(false, 0);
                return;
            }
            strongStore->m_communityList.write(*strongStore->defaults, sorted, list->artists);
            strongStore->setLastSyncDate(QDateTime::currentDateTimeUtc());
            completion(true, list->count);
        });
    });
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
