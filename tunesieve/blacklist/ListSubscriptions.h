#pragma once

#include "ArtistListFile.h"
#include "ArtistListFormats.h"
#include "CommunityTransport.h"
#include "ListValidators.h"
#include "platform/PreferencesDomain.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

// The published lists of artists that the user subscribes to by address. The subscriptions live in
// the preferences domain under "listSubscriptions", an array of strings each the compact JSON text
// of an object {url, name, enabled, updated, error, count, tried, retry} and the validators of the
// stored copy (ListValidators: etag, lastModified, copy) when the server gave any; each list's last good copy lives in
// a list file of its own (ArtistListFile) in the list folder, named "listSubscription-", the first 16 hex digits of the
// SHA-256 of its address and ".names" (the key under which earlier versions kept it in the domain, from where it is
// moved on first start). A list is fetched through the community client's transport, with its caps, and read in any of
// the formats of ArtistListFormats, asking for it only when it changed since the copy stored. A fetch that fails keeps
// the copy from before, records why and is tried again a few times, spaced out; when each list was last tried is kept,
// so that a restart fetches only the lists that are due.
//
// The subscriptions are kept parsed, and read again only when the domain reports a change under their
// key; a burst of replies writes them once, not once a reply, and only a few lists are fetched at a
// time, so that hundreds of lists never hold up a skip.
// Used on the main thread; the replies are read on the transport's background thread.
class ListSubscriptions : public std::enable_shared_from_this<ListSubscriptions>
{
public:
    struct Subscription
    {
        // The https address, as QUrl writes it.
        QString url;
        // Given by the user, or else taken from the address.
        QString name;
        bool enabled = true;
        // When the list was last fetched and taken; none before that.
        std::optional<QDateTime> updated;
        // Why the last fetch failed, for a person to read; empty when it went well.
        QString error;
        // How many names the last good copy holds.
        int count = 0;
        // When the list was last tried, whatever came of it; none before that.
        std::optional<QDateTime> tried;
        // Which try that was since the last one that went well: 0 for the first, then each retry's number.
        int retry = 0;
        // Those of the last good copy.
        ListValidators validators;
    };

    // Runs `task` on the main thread once `delay` has passed.
    using Delay = std::function<void(std::chrono::milliseconds delay, std::function<void()> task)>;

    // How often each enabled list is fetched again.
    static constexpr qint64 updateIntervalSecs = 24 * 60 * 60;
    // As many lists as a person follows; subscribe() takes no more.
    static constexpr int maxSubscriptions = 100;
    // How many lists are fetched at once; the others wait their turn.
    static constexpr int maxFetching = 4;
    // How long a failed fetch waits before each of its retries.
    static constexpr std::array<std::chrono::minutes, 3> retryDelays = {
        std::chrono::minutes(1), std::chrono::minutes(5), std::chrono::minutes(15)};

    // Moves the copies that the domain holds into their files in `listFolder`, and drops the copies that
    // no subscription names (left by one removed from the file by hand). `delay` times the retries.
    ListSubscriptions(std::shared_ptr<PreferencesDomain> domain, CommunityTransport transport, QString listFolder,
                      Delay delay = &ListSubscriptions::afterOnMainThread);

    // In the order in which they were added. A stored entry that cannot be read is left out.
    QList<Subscription> subscriptions() const { return records(); }

    // Subscribes to the list at `address`, switched on and named `name` (or after its address), and
    // fetches it at once; the same address again is the same subscription. Answers why the address
    // is refused (not https, no host, a user name or password in it, or maxSubscriptions reached), and
    // then stores nothing.
    std::optional<QString> subscribe(const QString& address, const QString& name, std::function<void()> completion);
    // Forgets the subscription and its copy of the list.
    void unsubscribe(const QString& url);
    void setEnabled(const QString& url, bool enabled);

    // Fetches the list at `url` again, after the fetches before it when maxFetching are under way.
    // `completion` runs once on the main thread, when the outcome is stored (unless these
    // subscriptions are gone by then).
    void update(const QString& url, const std::function<void()>& completion);
    // Fetches every enabled list, or with `dueOnly` those that are due: never tried, or tried a day ago,
    // or failed and due for a retry (a retry not yet due is set for its time).
    void updateEnabled(bool dueOnly, const std::function<void()>& completion);

    // The last good copy of the list at `url`, lower-cased, for showing it.
    ArtistSet names(const QString& url) const;
    // The enabled lists, in order, each with its last good copy as it now stands: for the look-ups of
    // one query, valid until the next call into these subscriptions.
    struct ListNames
    {
        QString name;
        SortedKeysView names;
    };
    QList<ListNames> enabledLists() const;

private:
    struct Fetch
    {
        QString url;
        int retry = 0; // 0 for the first try
    };
    // What a fetch came to, read and stored off the main thread.
    struct Outcome
    {
        ArtistListFormats::Reading reading;
        // The copy stored, mapped; none when there is no new one.
        std::shared_ptr<const ArtistListFile::Snapshot> stored;
        ListValidators validators;
        // On a "not modified" answer, the checksum of the copy it stands for.
        std::optional<quint64> notModifiedCopy;
    };

    static void afterOnMainThread(std::chrono::milliseconds delay, std::function<void()> task);

    std::optional<QString> addressRefusal(const QUrl& url) const;
    // What the domain holds, parsed again only after it changed there, or what this object changed
    // since (not yet written).
    QList<Subscription>& records() const;
    Subscription* find(const QString& url);
    void moveAndDropCopies();
    QString listPath(const QString& url) const;
    const ArtistListFile& listFile(const QString& url) const;
    void writeRecords();
    // Writes the records once no fetch is under way, or else a little later, once for all the replies
    // that come meanwhile.
    void writeRecordsSoon();

    void fetch(const Fetch& fetch, std::function<void()> completion);
    void startQueued();
    void send(const Fetch& fetch);
    // Takes what a fetch came to, and tries again later when it failed.
    void finish(const Fetch& fetch, const Outcome& outcome);
    // Fetches `retry` once `delay` has passed, unless a retry of that list is already set.
    void scheduleRetry(const Fetch& retry, std::chrono::milliseconds delay);

    const std::shared_ptr<PreferencesDomain> m_domain;
    const CommunityTransport m_transport;
    const QString m_listFolder;
    const Delay m_delay;
    mutable QList<Subscription> m_records;
    mutable std::optional<quint64> m_recordsRevision;
    bool m_writeDue = false;
    bool m_writeScheduled = false;
    mutable std::map<QString, ArtistListFile> m_lists;      // by the address
    QSet<QString> m_retrying;                               // the addresses of the lists with a retry set
    QHash<QString, QList<std::function<void()>>> m_waiting; // by the address of each list queued or fetching
    QList<Fetch> m_queue;
    int m_fetching = 0;
};
