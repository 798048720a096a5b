#include "MprisScriptRunner.h"

#include "MprisMetadata.h"
#include "MprisNames.h"
#include "player/PlayerScripts.h"

#include <QDBusVariant>
#include <QSet>

using namespace MprisNames;

namespace {

const QString busDaemon = QStringLiteral("org.freedesktop.DBus");
const QString busDaemonPath = QStringLiteral("/org/freedesktop/DBus");
const QString spotifyName = QStringLiteral("org.mpris.MediaPlayer2.spotify");
const QString deezerPrefix = QStringLiteral("org.mpris.MediaPlayer2.deezer");
const QString noReply = QStringLiteral("org.freedesktop.DBus.Error.NoReply");

enum class ScriptKind
{
    trackQuery,
    nextTrack
};

struct Command
{
    ScriptKind kind;
    MusicController::MusicApp app;
};

std::optional<Command> recognise(const QString& source)
{
    static const QHash<QString, Command> commands = [] {
        QHash<QString, Command> all;
        for (const auto app : {MusicController::MusicApp::spotify, MusicController::MusicApp::deezer,
                               MusicController::MusicApp::appleMusic}) {
            const QString name = MusicController::rawValue(app);
            all.insert(PlayerScripts::trackQuery(name), {ScriptKind::trackQuery, app});
            all.insert(PlayerScripts::nextTrack(name), {ScriptKind::nextTrack, app});
        }
        return all;
    }();
    const auto found = commands.constFind(source);
    if (found == commands.constEnd()) {
        return std::nullopt;
    }
    return *found;
}

} // namespace

MprisScriptRunner::MprisScriptRunner(QDBusConnection bus, int callTimeoutMs)
    : m_bus(std::move(bus)), m_callTimeoutMs(callTimeoutMs)
{}

void MprisScriptRunner::run(const QString& source, Completion done)
{
    done(answer(source));
}

std::optional<QString> MprisScriptRunner::answer(const QString& source)
{
    const auto command = recognise(source);
    if (!command) {
        return std::nullopt;
    }
    switch (command->kind) {
    case ScriptKind::trackQuery:
        return trackAnswer(command->app);
    case ScriptKind::nextTrack:
        return nextTrack(command->app);
    }
    return std::nullopt;
}

QStringList MprisScriptRunner::playersOf(MusicApp app)
{
    // Without a bus (none running, or none reachable) no player runs.
    const auto listing = call(busDaemon, busDaemonPath, busDaemon, QStringLiteral("ListNames"));
    if (!listing) {
        return {};
    }
    const QStringList names = listing->arguments().value(0).toStringList();
    // Unique names are among them: forget the identities of players that have left the bus.
    const QSet<QString> present(names.cbegin(), names.cend());
    m_identities.removeIf([&](const auto& entry) { return !present.contains(entry.key()); });
    m_passedOver.keepOnly(present);

    QStringList players;
    for (const QString& name : names) {
        if (name.startsWith(playerPrefix)) {
            players.append(name);
        }
    }
    players.sort();
    QStringList matching;
    for (const QString& player : players) {
        if (isPassedOver(player)) {
            continue;
        }
        // Only its own name makes a player Spotify: no need to ask the others who they are.
        if (app == MusicApp::spotify ? player == spotifyName : appOf(player) == app) {
            matching.append(player);
        }
    }
    return matching;
}

MusicController::MusicApp MprisScriptRunner::appOf(const QString& player)
{
    if (player == spotifyName) {
        return MusicApp::spotify;
    }
    if (player.startsWith(deezerPrefix, Qt::CaseInsensitive) || identityOf(player) == QStringLiteral("Deezer")) {
        return MusicApp::deezer;
    }
    return MusicApp::appleMusic;
}

QString MprisScriptRunner::ownerOf(const QString& player)
{
    const auto owner = call(busDaemon, busDaemonPath, busDaemon, QStringLiteral("GetNameOwner"), {player});
    return owner ? owner->arguments().value(0).toString() : QString();
}

bool MprisScriptRunner::isPassedOver(const QString& player)
{
    // Most checks pass over nobody: then the owner is not worth a call.
    return !m_passedOver.isEmpty() && m_passedOver.contains(ownerOf(player));
}

QString MprisScriptRunner::identityOf(const QString& player)
{
    const QString connection = ownerOf(player);
    if (connection.isEmpty()) {
        return {};
    }
    const auto known = m_identities.constFind(connection);
    if (known != m_identities.constEnd()) {
        return *known;
    }
    const auto reply = call(player, objectPath, propertiesInterface, QStringLiteral("Get"),
                            {rootInterface, QStringLiteral("Identity")});
    if (!reply) {
        return {}; // asked again once it answers: a player that timed out is passed over meanwhile
    }
    const QVariant identity = reply->arguments().value(0).value<QDBusVariant>().variant();
    const QString text = identity.typeId() == QMetaType::QString ? identity.toString() : QString();
    m_identities.insert(connection, text);
    return text;
}

std::optional<QString> MprisScriptRunner::trackAnswer(MusicApp app)
{
    const QStringList players = playersOf(app);
    // An app that does not run answers the empty text, as one that does not play.
    bool anyAnswered = players.isEmpty();
    for (const QString& player : players) {
        const auto properties = playerProperties(player);
        if (!properties) {
            continue;
        }
        anyAnswered = true;
        const QVariant status = properties->value(QStringLiteral("PlaybackStatus"));
        if (status.typeId() == QMetaType::QString && status.toString() == QStringLiteral("Playing")) {
            m_lastPlaying[app] = player;
            const auto metadata = MprisMetadata::dictionaryOf(properties->value(QStringLiteral("Metadata")));
            return MprisMetadata::trackAnswer(metadata.value_or(QVariantMap()));
        }
    }
    // A player that is there and does not play answers the empty text, like a paused one would;
    // when none of those there answers, the script fails.
    if (!anyAnswered) {
        return std::nullopt;
    }
    return QString();
}

std::optional<QString> MprisScriptRunner::nextTrack(MusicApp app)
{
    const QStringList players = playersOf(app);
    if (players.isEmpty()) {
        return QString(); // the script tells only a running app
    }
    const auto lastPlaying = m_lastPlaying.find(app);
    const bool lastStillThere = lastPlaying != m_lastPlaying.end() && players.contains(lastPlaying->second);
    const QString target = lastStillThere ? lastPlaying->second : players.first();
    if (!call(target, objectPath, playerInterface, QStringLiteral("Next"))) {
        return std::nullopt;
    }
    return QString();
}

std::optional<QVariantMap> MprisScriptRunner::playerProperties(const QString& player)
{
    const auto reply = call(player, objectPath, propertiesInterface, QStringLiteral("GetAll"), {playerInterface});
    if (!reply) {
        return std::nullopt;
    }
    return MprisMetadata::dictionaryOf(reply->arguments().value(0));
}

std::optional<QDBusMessage> MprisScriptRunner::call(const QString& service, const QString& path,
                                                    const QString& interface, const QString& method,
                                                    const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    QDBusMessage reply = m_bus.call(message, QDBus::Block, m_callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (reply.errorName() == noReply && service.startsWith(playerPrefix)) {
            if (const QString owner = ownerOf(service); !owner.isEmpty()) {
                m_passedOver.timedOut(owner);
            }
        }
        return std::nullopt;
    }
    return reply;
}
