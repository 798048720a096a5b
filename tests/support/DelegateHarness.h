#pragma once

#include "RecordingNotifier.h"
#include "ScriptedPlayer.h"
#include "TempPreferences.h"
#include "app/AppDelegate.h"

// One AppDelegate on a scripted player, a store on a temporary file whose community service is
// `communityBaseUrl` (a closed loopback port unless a test server is given), and a notifier that
// records what it is asked to show. The player announces nothing: only the checks the test makes
// and those the delegate schedules itself run.
struct DelegateHarness
{
    explicit DelegateHarness(const QString& playerName = QStringLiteral("Spotify"),
                             const QString& communityBaseUrl = QStringLiteral("https://127.0.0.1:9"))
        : player(playerName), store(prefs.openStore(communityBaseUrl)),
          shown(std::make_shared<RecordingNotifier::Shown>()),
          delegate(std::make_unique<MusicController>(player.engine()), store,
                   std::make_unique<RecordingNotifier>(shown), std::make_unique<PlayerEvents>())
    {}

    const PlaybackState& state() const { return delegate.playbackState(); }

    TempPreferences prefs;
    ScriptedPlayer player;
    std::shared_ptr<BlacklistManager> store;
    std::shared_ptr<RecordingNotifier::Shown> shown;
    AppDelegate delegate;
};
