#pragma once

#include "player/MusicController.h"
#include "player/PassedOverPlayers.h"
#include "player/ScriptRunner.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QVariantMap>
#include <map>

// Answers the player bridge's scripts from the MPRIS players on a D-Bus bus. Spotify is the player
// named "spotify"; Deezer one whose name starts with "deezer" in any letter case, or that calls
// itself "Deezer"; every other player counts as the desktop's music app. Any other script does not
// compile. It answers within run(). Every bus call is bounded by a short timeout, so a frozen player
// holds the caller for at most that long, and counts as a failed script. A player whose call timed
// out is then passed over (PassedOverPlayers): a browser whose main loop hangs keeps its bus name.
class MprisScriptRunner : public ScriptRunner
{
public:
    explicit MprisScriptRunner(QDBusConnection bus = QDBusConnection::sessionBus(), int callTimeoutMs = 500);

    void run(const QString& source, Completion done) override;

private:
    using MusicApp = MusicController::MusicApp;

    std::optional<QString> answer(const QString& source);
    // The MPRIS players that count as `app`, in bus-name order.
    QStringList playersOf(MusicApp app);
    MusicApp appOf(const QString& player);
    QString ownerOf(const QString& player);
    QString identityOf(const QString& player);
    bool isPassedOver(const QString& player);
    std::optional<QString> trackAnswer(MusicApp app);
    std::optional<QString> nextTrack(MusicApp app);
    std::optional<QVariantMap> playerProperties(const QString& player);
    std::optional<QDBusMessage> call(const QString& service, const QString& path, const QString& interface,
                                     const QString& method, const QVariantList& arguments = {});

    QDBusConnection m_bus;
    int m_callTimeoutMs;
    // Identities by the player's unique connection name, which the bus never hands out twice.
    QHash<QString, QString> m_identities;
    // The players whose call timed out, by their unique connection names: a restarted player has a
    // new one and is asked at once.
    PassedOverPlayers m_passedOver;
    // The player whose track each app last answered: "next track" goes to that one.
    std::map<MusicApp, QString> m_lastPlaying;
};
