#pragma once

#include "player/ScriptRunner.h"

#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

struct NowPlaying;

// The one component that talks to music players: finds the supported player that plays, reads its
// artist and title, and tells the player that answered last to skip. Every exchange is a short
// AppleScript text run by the platform's script engine, and nothing waits for its answer.
class MusicController
{
public:
    // The raw values are the players' process and application names; `other` means none answered.
    enum class MusicApp
    {
        spotify,
        deezer,
        appleMusic,
        other
    };
    static QString rawValue(MusicApp app);

    explicit MusicController(std::unique_ptr<ScriptRunner> runner = createScriptRunner());

    using TrackHandler = std::function<void(const std::optional<NowPlaying>& nowPlaying)>;

    // Probes Spotify, Deezer and Music in that order, one script each; the first that plays a
    // parsable track wins, and `done` hears of it once the answers are in. One check at a time:
    // while one is under way, another is dropped (false, and `done` is never called).
    bool getCurrentTrack(TrackHandler done);
    // Sends "next track" to the player that answered the most recent check, if any.
    void skipTrack();
    // Told once per player that the user has not allowed this agent to control.
    void setPermissionRefusedHandler(ScriptRunner::RefusalHandler handler);

private:
    // Probes the players from probingOrder[`next`] on.
    void probe(std::size_t next, TrackHandler done);

    std::unique_ptr<ScriptRunner> runner;
    MusicApp activeApp = MusicApp::other;
    bool checkUnderWay = false;
};

// The playing track as a player reported it: texts unchanged, `app` never `other`.
struct NowPlaying
{
    // The artists joined with ", ", as the track is shown and logged.
    QString artist;
    QString track;
    MusicController::MusicApp app;
    // The artists as the player lists them apart, each whole: one for a player that reports one text.
    QStringList artists;
};
