#pragma once

#include "CommunityTransport.h"
#include "StoredArtistList.h"
#include "platform/PreferencesDomain.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <functional>
#include <memory>
#include <optional>

// The published lists of artists that the user subscribes to by address. The subscriptions live in
// the preferences domain under "listSubscriptions", an array of strings each the compact JSON text
// of an object {url, name, enabled, updated, error, count}; each list's last good copy lives under
// a key of its own, "listSubscription-" and the first 16 hex digits of the SHA-256 of its address
// (no '/', which macOS settings would read as groups), sorted like the other lists. A list is
// fetched through the community client's transport, with its caps, and read in any of the formats
// of ArtistListFormats. A fetch that fails keeps the copy from before and records why.
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
    };

    // How often each enabled list is fetched again.
    static constexpr qint64 updateIntervalSecs = 24 * 60 * 60;

    ListSubscriptions(std::shared_ptr<PreferencesDomain> domain, CommunityTransport transport);

    // In the order in which they were added. A stored entry that cannot be read is left out.
    QList<Subscription> subscriptions() const;

    // Subscribes to the list at `address`, switched on and named `name` (or after its address), and
    // fetches it at once; the same address again is the same subscription. Answers why the address
    // is refused (not https, or no host), and then stores nothing.
    std::optional<QString> subscribe(const QString& address, const QString& name, std::function<void()> completion);
    // Forgets the subscription and its copy of the list.
    void unsubscribe(const QString& url);
    void setEnabled(const QString& url, bool enabled);

    // Fetches the list at `url` again. `completion` runs once on the main thread, when the outcome
    // is stored (or at once when the request cannot be formed).
    void update(const QString& url, const std::function<void()>& completion);
    // Fetches every enabled list, or with `dueOnly` those not tried in this run for a day.
    void updateEnabled(bool dueOnly, const std::function<void()>& completion);

    // The last good copy of the list at `url`, lower-cased.
    const ArtistSet& names(const QString& url) const;
    // The name of the first enabled list that holds `name` (lower-cased), or none.
    std::optional<QString> listHolding(const QString& name) const;

private:
    StoredArtistList& storedList(const QString& url) const;
    void writeSubscriptions(const QList<Subscription>& subscriptions);
    // Puts what a fetch of `url` gave into the store.
    void store(const QString& url, const QStringList& sorted, const ArtistSet& artists, const QString& error);

    const std::shared_ptr<PreferencesDomain> m_domain;
    const CommunityTransport m_transport;
    mutable QHash<QString, StoredArtistList> m_lists; // by the address
    QHash<QString, QDateTime> m_lastAttempts;         // by the address, in this run only
};
