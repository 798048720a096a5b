#pragma once

#include "ArtistListFile.h"
#include "ArtistSet.h"
#include "BlockedSongs.h"
#include "CommunityTransport.h"
#include "ListSubscriptions.h"
#include "ListValidators.h"
#include "StoredArtistList.h"
#include "platform/AppDataFolder.h"
#include "platform/PreferencesDomain.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// The one blacklist store: the user's local list, the community switch, the last download date, the
// device identifier, the never-skip list, the recent skips and the subscribed lists
// (ListSubscriptions, on the same domain) in the preferences domain; the downloaded community list in
// a list file of its own (ArtistListFile) in the list folder, as each subscribed list's last good
// copy, so that a list of a million names neither swells every save of the preferences nor passes the
// size that macOS allows a domain.
// It keeps nothing of its own: every read goes to the preferences domain or the list file and every
// write is flushed at once (on Linux the file is written off the main thread, in order), so a change
// made by another program is seen by the next read. (What it derives from the domain is cached only
// for as long as the domain reports no change.) It is also the client of the community service.
class BlacklistManager : public std::enable_shared_from_this<BlacklistManager>
{
public:
    // The store of this user, on the "com.tunesieve.blacklist" domain and the application's data
    // folder; created on first use.
    static const std::shared_ptr<BlacklistManager>& shared();

    // A store on the given domain, keeping downloaded lists in `listFolder`. Construction stores the
    // community switch (on) when it is absent and a new device identifier when there is none, and
    // moves downloaded lists that an earlier version kept in the domain into their files.
    // `community` says where the community service is; its defaults are the product's own.
    explicit BlacklistManager(std::unique_ptr<PreferencesDomain> defaults, CommunitySettings community = {},
                              const QString& listFolder = appDataFolder());

    QString deviceId() const;
    // The host of the community service in use, for a person to see where the list comes from.
    QString communityServiceHost() const;

    // Returns once every change made so far is in permanent storage (changes are seen by every read at
    // once, and saved in order off the main thread).
    void waitUntilSaved() { defaults->waitUntilSaved(); }
    // Tells `onFailure` why changes cannot be saved; see PreferencesDomain::setSaveFailureHandler.
    void setSaveFailureHandler(std::function<void(const QString& reason)> onFailure)
    {
        defaults->setSaveFailureHandler(std::move(onFailure));
    }

    ArtistSet localArtists() const;
    void setLocalArtists(const ArtistSet& artists);
    // Blocking an artist takes them off the never-skip list, so that the two lists never disagree.
    void addLocal(const QString& artist);
    void removeLocal(const QString& artist);

    ArtistSet communityArtists() const;
    qsizetype communityArtistCount() const { return m_communityList.names().count; }
    void setCommunityArtists(const ArtistSet& artists);

    bool isCommunityEnabled() const;
    void setCommunityEnabled(bool enabled);

    // Artists never skipped, whatever the other lists say. Allowing an artist takes them off the
    // local list; a community download leaves this list alone.
    ArtistSet neverSkipArtists() const;
    void setNeverSkipArtists(const ArtistSet& artists);
    void allow(const QString& artist);
    void removeNeverSkip(const QString& artist);

    // Songs blocked by name: a title by an artist, whatever the never-skip list says.
    QList<BlockedSong> blockedSongs() const;
    void blockSong(const QString& artist, const QString& title) { blockSongs({{artist, title}}); }
    void blockSongs(const QList<BlockedSong>& songs);
    // What blockSongs() would do.
    ListMerge mergeWithBlockedSongs(const QList<BlockedSong>& songs) const;
    void unblockSong(const QString& artist, const QString& title);
    // The first of `credits` (a track's, as for firstBlocked()) under which `title` is blocked, or none.
    std::optional<QString> firstBlockedSong(const QStringList& credits, const QString& title) const;
    // Whether a song of any of `credits` is blocked: then each of their titles needs a look-up.
    bool blocksSongsBy(const QStringList& credits) const;

    // What adding `artists` (lower-cased) to the local list would do.
    ListMerge mergeWithLocal(const ArtistSet& artists) const;
    // Adds them with one write, and takes them off the never-skip list, as addLocal() does.
    void addLocal(const ArtistSet& artists);

    // One skip as the history keeps it; `list` is "local" or "community", `credit` the artist that
    // the list holds as the track credits it (the artist itself for a record kept without one).
    struct SkipRecord
    {
        QDateTime time;
        QString player;
        QString artist;
        QString title;
        QString list;
        QString credit;
    };

    // The last skips, newest first. A stored entry that cannot be read is left out.
    QList<SkipRecord> recentSkips() const;
    // Puts `record` first and keeps the newest maxRecentSkips.
    void recordSkip(const SkipRecord& record);
    static constexpr int maxRecentSkips = 50;

    std::optional<QDateTime> lastSyncDate() const;
    void setLastSyncDate(const std::optional<QDateTime>& date);

    // An artist that the lists block, as it was asked for, and whether it stands on the stored
    // community list or an enabled subscribed list (then the skip is told as the community's,
    // whatever the switch says), and the name of the subscribed list that blocked it: none while the
    // community switch is off, when only the local list blocks.
    struct Block
    {
        QString artist;
        bool onCommunityList = false;
        QString listName;
    };

    // The local list, united with the community list while the community switch is on. (The
    // subscribed lists block too, through firstBlocked().)
    ArtistSet allBlockedArtists() const;
    bool contains(const QString& artist) const;
    // The first of `artists` (a track's credits, the whole reported artist first) that
    // allBlockedArtists() or, while the community switch is on, an enabled subscribed list holds and
    // the never-skip list does not, or none; none at all when the never-skip list holds the first.
    // One look-up per name and list.
    std::optional<Block> firstBlocked(const QStringList& artists) const;
    // Whether the artist is on the stored community list, whatever the community switch says.
    bool isInCommunityBlacklist(const QString& artist) const;

    // The subscribed lists, which block with the community list.
    ListSubscriptions& listSubscriptions() const { return *m_listSubscriptions; }

    // Numbers that change whenever the local or the community list may have changed, by this
    // process or another one: what a caller derived from a list stays valid while its number does.
    quint64 localArtistsRevision() const { return defaults->revision(localBlacklistKey); }
    quint64 communityArtistsRevision() const { return m_communityList.revision(); }
    quint64 neverSkipArtistsRevision() const { return defaults->revision(neverSkipKey); }
    quint64 blockedSongsRevision() const { return defaults->revision(blockedSongsKey); }
    quint64 recentSkipsRevision() const { return defaults->revision(recentlySkippedKey); }

    // Both are called on the main thread and return before the exchange ends. Each calls its
    // completion exactly once: on the main thread once the reply has been handled, or at once, on
    // the caller's thread, when the request cannot be formed.

    // Downloads the community list. A reply whose body is an object with an "artists" array of
    // strings, whatever its status and within the limits of CommunityWireFormat::readList, replaces
    // the stored community list (lower-cased), records the moment and reports (true, number of names
    // received). The request carries the validators of the stored copy, when the server gave any; a
    // "not modified" answer keeps that copy, records the moment and reports (true, its number of
    // names), as long as that copy is still the one stored. Anything else reports (false, 0) and
    // changes nothing; so does a reply that arrives when this store no longer exists.
    void syncCommunityBlacklist(std::function<void(bool success, int count)> completion);
    // Reports `artist`, unchanged, with the device identifier. Reports the service's verdict, or
    // false. Changes nothing in the store.
    void flagArtist(const QString& artist, std::function<void(bool success)> completion);

private:
    // Puts `artist` on `list`, or takes it off; writes only when that changes it.
    void editList(StoredArtistList& list, const QString& artist, bool present);
    ListValidators communityListValidators() const;
    void setCommunityListValidators(const ListValidators& validators);

    const std::shared_ptr<PreferencesDomain> defaults;
    const QString localBlacklistKey = QStringLiteral("localBlacklistedArtists");
    const QString communityBlacklistKey = QStringLiteral("communityBlacklistedArtists");
    const QString communityEnabledKey = QStringLiteral("communityBlacklistEnabled");
    const QString lastSyncKey = QStringLiteral("lastCommunitySync");
    // The stored community list's validators, as the compact JSON text of ListValidators::encoded().
    const QString communityValidatorsKey = QStringLiteral("communityListValidators");
    const QString deviceIdKey = QStringLiteral("deviceId");
    const QString neverSkipKey = QStringLiteral("neverSkipArtists");
    const QString recentlySkippedKey = QStringLiteral("recentlySkipped");
    const QString blockedSongsKey = QStringLiteral("blockedSongs");
    // Overrides the build's community service address; read once, by shared().
    static inline const QString serviceUrlKey = QStringLiteral("communityServiceURL");
    const CommunityTransport community;

    StoredArtistList m_localList{localBlacklistKey};
    ArtistListFile m_communityList;
    StoredArtistList m_neverSkipList{neverSkipKey};
    BlockedSongs m_blockedSongs{blockedSongsKey};
    const std::shared_ptr<ListSubscriptions> m_listSubscriptions;
};
