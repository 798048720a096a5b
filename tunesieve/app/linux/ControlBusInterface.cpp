#include "ControlBusInterface.h"

#include "app/ControlInterface.h"
#include "blacklist/ArtistName.h"
#include "blacklist/CommunityWireFormat.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <algorithm>
#include <cstdio>

namespace {

const QString kRefused = QStringLiteral("org.tunesieve.TuneSieve1.Error.Refused");
const QString kFailed = QStringLiteral("org.tunesieve.TuneSieve1.Error.Failed");

QString isoTime(const std::optional<QDateTime>& time)
{
    return time ? time->toUTC().toString(Qt::ISODateWithMs) : QString();
}

QVariantMap skipEntry(const BlacklistManager::SkipRecord& skip)
{
    return {{QStringLiteral("time"), isoTime(skip.time)}, {QStringLiteral("player"), skip.player},
            {QStringLiteral("artist"), skip.artist},      {QStringLiteral("title"), skip.title},
            {QStringLiteral("list"), skip.list},          {QStringLiteral("credit"), skip.credit}};
}

} // namespace

void publishControlInterface(AppDelegate& delegate)
{
    new ControlBusInterface(&delegate);
}

ControlBusInterface::ControlBusInterface(AppDelegate* delegate)
    : QObject(delegate), delegate(delegate), store(*delegate->store())
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    connect(delegate, &AppDelegate::skipped, this,
            [this](const BlacklistManager::SkipRecord& skip) { emit Skipped(skipEntry(skip)); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    // A second copy, started despite the instance lock, finds the name taken and goes on without it.
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) ||
        !bus.registerService(serviceName)) {
        const QString reason = !bus.isConnected()                    ? QStringLiteral("no session bus")
                               : bus.lastError().message().isEmpty() ? QStringLiteral("another program owns it")
                                                                     : bus.lastError().message();
        std::fprintf(stderr, "TuneSieve cannot take the bus name %s (%s); tunesieve-ctl cannot reach this copy.\n",
                     qUtf8Printable(serviceName), qUtf8Printable(reason));
        std::fflush(stderr);
    }
}

ControlBusInterface::~ControlBusInterface()
{
    QDBusConnection::sessionBus().unregisterService(serviceName);
}

void ControlBusInterface::refuseIf(const AppDelegate::Refusal& refusal)
{
    if (refusal) {
        sendErrorReply(kRefused, *refusal);
    }
}

QString ControlBusInterface::typedName(const QString& name)
{
    const QString trimmed = ArtistName::trimmedOfSpaces(name);
    const auto isControl = [](QChar c) { return c.category() == QChar::Other_Control; };
    QString fault;
    if (trimmed.isEmpty()) {
        fault = QStringLiteral("An artist's name cannot be empty");
    } else if (trimmed.size() > CommunityWireFormat::maxNameLength) {
        fault = QStringLiteral("An artist's name cannot be longer than %1 characters")
                    .arg(CommunityWireFormat::maxNameLength);
    } else if (std::any_of(trimmed.cbegin(), trimmed.cend(), isControl)) {
        fault = QStringLiteral("An artist's name cannot hold control characters such as line breaks");
    } else {
        return trimmed;
    }
    sendErrorReply(QDBusError::InvalidArgs, fault);
    return QString();
}

QString ControlBusInterface::BlockPlaying()
{
    const QString artist = delegate->playbackState().currentArtist;
    refuseIf(delegate->addCurrentArtistToBlacklist());
    return artist;
}

QString ControlBusInterface::BlockPlayingSong()
{
    const PlaybackState& playing = delegate->playbackState();
    const QString song = playing.currentArtist + QStringLiteral(" - ") + playing.currentTrack;
    refuseIf(delegate->blockCurrentSong());
    return song;
}

void ControlBusInterface::Block(const QString& name)
{
    if (const QString artist = typedName(name); !artist.isEmpty()) {
        refuseIf(delegate->blockArtist(artist));
    }
}

void ControlBusInterface::Unblock(const QString& name)
{
    refuseIf(delegate->unblockArtist(name));
}

void ControlBusInterface::NeverSkip(const QString& name)
{
    if (const QString artist = typedName(name); !artist.isEmpty()) {
        delegate->neverSkipArtist(artist);
    }
}

QStringList ControlBusInterface::ListOwn() const
{
    return store.localArtists().sorted();
}

QStringList ControlBusInterface::ListCommunity() const
{
    return store.communityArtists().sorted();
}

QStringList ControlBusInterface::ListNeverSkip() const
{
    return store.neverSkipArtists().sorted();
}

QList<QVariantMap> ControlBusInterface::ListBlockedSongs() const
{
    QList<QVariantMap> songs;
    for (const BlockedSong& song : store.blockedSongs()) {
        songs.append({{QStringLiteral("artist"), song.artist}, {QStringLiteral("title"), song.title}});
    }
    return songs;
}

QList<QVariantMap> ControlBusInterface::ListSubscriptions() const
{
    QList<QVariantMap> lists;
    for (const ListSubscriptions::Subscription& list : store.listSubscriptions().subscriptions()) {
        lists.append({{QStringLiteral("name"), list.name},
                      {QStringLiteral("url"), list.url},
                      {QStringLiteral("enabled"), list.enabled},
                      {QStringLiteral("count"), list.count},
                      {QStringLiteral("updated"), isoTime(list.updated)},
                      {QStringLiteral("error"), list.error}});
    }
    return lists;
}

QVariantMap ControlBusInterface::Status() const
{
    const PlaybackState& playing = delegate->playbackState();
    const bool plays = !playing.currentArtist.isEmpty();
    return {{QStringLiteral("artist"), playing.currentArtist},
            {QStringLiteral("title"), playing.currentTrack},
            {QStringLiteral("credits"), playing.currentCredits},
            {QStringLiteral("player"), plays ? MusicController::rawValue(delegate->playingApp()) : QString()},
            {QStringLiteral("community"), store.isCommunityEnabled()},
            {QStringLiteral("lastSync"), isoTime(store.lastSyncDate())},
            {QStringLiteral("ownCount"), int(store.localArtists().size())},
            {QStringLiteral("communityCount"), int(store.communityArtistCount())},
            {QStringLiteral("neverSkipCount"), int(store.neverSkipArtists().size())},
            {QStringLiteral("songCount"), int(store.blockedSongs().size())},
            {QStringLiteral("subscriptionCount"), int(store.listSubscriptions().subscriptions().size())}};
}

QList<QVariantMap> ControlBusInterface::RecentSkips() const
{
    QList<QVariantMap> skips;
    for (const BlacklistManager::SkipRecord& skip : store.recentSkips()) {
        skips.append(skipEntry(skip));
    }
    return skips;
}

int ControlBusInterface::SyncCommunity()
{
    setDelayedReply(true);
    store.syncCommunityBlacklist([request = message(), bus = connection()](bool success, int count) {
        bus.send(success
                     ? request.createReply(count)
                     : request.createErrorReply(kFailed, QStringLiteral("The community list could not be downloaded")));
    });
    return 0;
}
