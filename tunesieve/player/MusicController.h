#pragma once

#include "player/ScriptRunner.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>

struct NowPlaying;

// The one component that talks to music players: finds the supported player that plays, reads its
// artist and title, and tells the player that answered last to skip. Every exchange is a short
// AppleScript text run by the platform's script engine.
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

    // Probes Spotify, Deezer and Music in that order; the first that plays a parsable track wins.
    std::optional<NowPlaying> getCurrentTrack();
    // Sends "next track" to the player that answered the most recent getCurrentTrack, if any.
    void skipTrack();

private:
    using TrackPair = std::pair<QString, QString>;

    bool isProcessRunning(const QString& name);
    std::optional<TrackPair> getTrack(MusicApp app);
    std::optional<QString> runAppleScript(const QString& source);

    std::unique_ptr<ScriptRunner> runner;
    MusicApp activeApp = MusicApp::other;
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
