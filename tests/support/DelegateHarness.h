#pragma once

#include "TempPreferences.h"
#include "app/AppDelegate.h"
#include "platform/Notifier.h"
#include "player/PlayerScripts.h"

// Plays the part of one player for the bridge, at once: answers its track query and skip as the
// test sets them, and the other players' scripts as from players that do not run.
struct ScriptedPlayer : ScriptRunner
{
    explicit ScriptedPlayer(QString name) : name(std::move(name)) {}
    void run(const QString& source, Completion done) override
    {
        if (source == PlayerScripts::trackQuery(name)) {
            ++trackQueries;
            return done(playing.value_or(QString()));
        }
        if (source == PlayerScripts::nextTrack(name)) {
            ++skips;
            playing = stopsOnNext ? std::nullopt : playing;
        }
        done(QString());
    }
    void play(const QString& artist, const QString& track) { play(QStringList{artist}, track); }
    // Each of `artists` an entry apart, as MPRIS players list them.
    void play(const QStringList& artists, const QString& track)
    {
        playing = artists.join(PlayerScripts::artistSeparator) + "|||" + track;
    }

    const QString name;
    std::optional<QString> playing;
    // Like a player at the end of its queue: a skip stops it, so that no check finds the track again.
    bool stopsOnNext = false;
    int trackQueries = 0;
    int skips = 0;
};

// Records the notifications the application asks for, as (title, body) pairs.
struct RecordingNotifier : Notifier
{
    using Shown = QList<QPair<QString, QString>>;
    explicit RecordingNotifier(std::shared_ptr<Shown> shown) : shown(std::move(shown)) {}
    void show(const QString& title, const QString& body) override { shown->append({title, body}); }
    std::shared_ptr<Shown> shown;
};

// One AppDelegate on a scripted player, a store on a temporary file whose community service is
// `communityBaseUrl` (a closed loopback port unless a test server is given), a recording notifier,
// and a player-events source that the test fires by hand.
struct DelegateHarness
{
    explicit DelegateHarness(const QString& playerName = QStringLiteral("Spotify"),
                             const QString& communityBaseUrl = QStringLiteral("https://127.0.0.1:9"))
        : player(new ScriptedPlayer(playerName)), store(prefs.openStore(communityBaseUrl)),
          delegate(std::make_unique<MusicController>(std::unique_ptr<ScriptRunner>(player)), store,
                   std::make_unique<RecordingNotifier>(shown), std::unique_ptr<PlayerEvents>(events))
    {}

    const PlaybackState& state() const { return delegate.playbackState(); }

    TempPreferences prefs;
    ScriptedPlayer* player; // owned by the delegate
    std::shared_ptr<BlacklistManager> store;
    std::shared_ptr<RecordingNotifier::Shown> shown = std::make_shared<RecordingNotifier::Shown>();
    PlayerEvents* events = new PlayerEvents; // owned by the delegate
    AppDelegate delegate;
};
