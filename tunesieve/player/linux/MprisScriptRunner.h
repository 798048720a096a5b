#pragma once

#include "player/MusicController.h"
#include "player/ScriptRunner.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QVariantMap>
#include <map>

// Answers the player bridge's scripts from the MPRIS players on a D-Bus bus. Spotify is the player
// named "spotify"; Deezer one whose name starts with "deezer" in any letter case, or that calls
// itself "Deezer"; every other player counts as the desktop's music app. Any other script does not
// compile. Every bus call is bounded by a short timeout, so a frozen player holds the caller for at
// most that long, and counts as a failed script.
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
    QString identityOf(const QString& player);
    std::optional<QString> trackAnswer(MusicApp app);
    std::optional<QString> nextTrack(MusicApp app);
    std::optional<QVariantMap> playerProperties(const QString& player);
    std::optional<QDBusMessage> call(const QString& service, const QString& path, const QString& interface,
                                     const QString& method, const QVariantList& arguments = {});

    QDBusConnection m_bus;
    int m_callTimeoutMs;
    // Identities by the player's unique connection name, which the bus never hands out twice: a
    // player that does not answer costs its timeout once, not on every probe.
    QHash<QString, QString> m_identities;
    // The player whose track each app last answered: "next track" goes to that one.
    std::map<MusicApp, QString> m_lastPlaying;
};
