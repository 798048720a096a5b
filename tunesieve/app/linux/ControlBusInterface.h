#pragma once

#include "app/AppDelegate.h"

#include <QDBusContext>
#include <QVariantMap>

// The agent's interface on the session bus: the service org.tunesieve.TuneSieve serves it at
// /org/tunesieve/TuneSieve. Each change runs the delegate's own function for the menu entry that
// makes it (flag, notification, skip and all); a refusal or a bad name is a D-Bus error whose
// message a person can read. Lists come sorted, one name an entry; records as dictionaries.
class ControlBusInterface : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tunesieve.TuneSieve1")

public:
    static inline const QString serviceName = QStringLiteral("org.tunesieve.TuneSieve");
    static inline const QString objectPath = QStringLiteral("/org/tunesieve/TuneSieve");

    // Serves `delegate`, its parent, and takes the service name, or says on standard error why not.
    explicit ControlBusInterface(AppDelegate* delegate);
    // Gives the name back, for the next copy.
    ~ControlBusInterface() override;

public slots:
    // Each answers what it blocked.
    QString BlockPlaying();
    QString BlockPlayingSong();
    // Blocks `name` as the menu does; the playing track is skipped when it credits the name.
    void Block(const QString& name);
    void Unblock(const QString& name);
    void NeverSkip(const QString& name);
    QStringList ListOwn() const;
    QStringList ListCommunity() const;
    QStringList ListNeverSkip() const;
    // {artist, title} each.
    QList<QVariantMap> ListBlockedSongs() const;
    // {name, url, enabled, count, updated, error} each; "updated" empty before the first fetch.
    QList<QVariantMap> ListSubscriptions() const;
    // What plays (artist, title, credits, player: empty when nothing does), the community switch,
    // the lists' sizes and the last download of the community list.
    QVariantMap Status() const;
    // Newest first, each as Skipped() sends it.
    QList<QVariantMap> RecentSkips() const;
    // Downloads the community list and answers how many names came.
    int SyncCommunity();

signals:
    // {time (ISO 8601, UTC), player, artist, title, list ("local" or "community"), credit}.
    void Skipped(const QVariantMap& skip);

private:
    // Sends `refusal` back as the error, if any.
    void refuseIf(const AppDelegate::Refusal& refusal);
    // The name trimmed of spaces, or an empty text after sending the error that says what is wrong with it.
    QString typedName(const QString& name);

    AppDelegate* const delegate;
    BlacklistManager& store;
};
