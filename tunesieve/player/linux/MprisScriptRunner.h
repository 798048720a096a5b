#pragma once

#include "player/MusicController.h"
#include "player/ScriptRunner.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QHash>
#include <QVariantMap>
#include <map>

// Answers the player bridge's scripts from the MPRIS players on a D-Bus bus. Spotify is the player
// named "spotify"; Deezer one whose name starts with "deezer" in any letter case, or that calls
// itself "Deezer"; every other player counts as the desktop's music app. Any other script does not
// compile. Every bus call is bounded by a short timeout, so a frozen player holds the caller for at
// most that long, and counts as a failed script. A player whose call timed out is then passed over
// for a while, as if it were not there: a hung player (a browser whose main loop hangs keeps its
// bus name) would otherwise cost its timeout on every check.
class MprisScriptRunner : public ScriptRunner
{
public:
    explicit MprisScriptRunner(QDBusConnection bus = QDBusConnection::sessionBus(), int callTimeoutMs = 500);

    std::optional<QString> run(const QString& source) override;

private:
    using MusicApp = MusicController::MusicApp;

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
    // Until when each player whose call timed out is passed over, by its unique connection name: a
    // restarted player has a new one and is asked at once.
    QHash<QString, QDeadlineTimer> m_passedOver;
    // The player whose track each app last answered: "next track" goes to that one.
    std::map<MusicApp, QString> m_lastPlaying;
};
