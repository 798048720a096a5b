#pragma once

#include "ScriptedPlayer.h"
#include "TempPreferences.h"
#include "app/AppDelegate.h"
#include "platform/Notifier.h"

#include <QList>
#include <QPair>

// Records the notifications the application asks for, as (title, body) pairs.
class RecordingNotifier : public Notifier
{
public:
    using Shown = QList<QPair<QString, QString>>;
    explicit RecordingNotifier(std::shared_ptr<Shown> shown) : m_shown(std::move(shown)) {}
    void show(const QString& title, const QString& body) override { m_shown->append({title, body}); }

private:
    std::shared_ptr<Shown> m_shown;
};

// One AppDelegate on a scripted player, a store on a temporary file whose community service is
// `communityBaseUrl` (a closed loopback port unless a test server is given), a notifier that
// records what it is asked to show, and a player-events source that the test fires by hand.
struct DelegateHarness
{
    explicit DelegateHarness(const QString& playerName = QStringLiteral("Spotify"),
                             const QString& communityBaseUrl = QStringLiteral("https://127.0.0.1:9"))
        : player(playerName), store(prefs.openStore(communityBaseUrl)),
          delegate(std::make_unique<MusicController>(player.engine()), store,
                   std::make_unique<RecordingNotifier>(shown), std::unique_ptr<PlayerEvents>(events))
    {}

    const PlaybackState& state() const { return delegate.playbackState(); }

    TempPreferences prefs;
    ScriptedPlayer player;
    std::shared_ptr<BlacklistManager> store;
    std::shared_ptr<RecordingNotifier::Shown> shown = std::make_shared<RecordingNotifier::Shown>();
    PlayerEvents* events = new PlayerEvents; // owned by the delegate
    AppDelegate delegate;
};
