#include "MusicController.h"

#include "PlayerScripts.h"

namespace {
constexpr MusicController::MusicApp probingOrder[] = {
    MusicController::MusicApp::spotify, MusicController::MusicApp::deezer, MusicController::MusicApp::appleMusic};
} // namespace

QString MusicController::rawValue(MusicApp app)
{
    switch (app) {
    case MusicApp::spotify:
        return QStringLiteral("Spotify");
    case MusicApp::deezer:
        return QStringLiteral("Deezer");
    case MusicApp::appleMusic:
        return QStringLiteral("Music");
    case MusicApp::other:
        break;
    }
    return QStringLiteral("Other");
}

MusicController::MusicController(std::unique_ptr<ScriptRunner> runner) : runner(std::move(runner)) {}

std::optional<NowPlaying> MusicController::getCurrentTrack()
{
    for (const MusicApp app : probingOrder) {
        if (!isProcessRunning(rawValue(app))) {
            continue;
        }
        if (const auto track = getTrack(app)) {
            activeApp = app;
            const QStringList artists = track->first.split(PlayerScripts::artistSeparator, Qt::SkipEmptyParts);
            return NowPlaying{artists.join(QStringLiteral(", ")), track->second, app, artists};
        }
    }
    activeApp = MusicApp::other;
    return std::nullopt;
}

void MusicController::skipTrack()
{
    if (activeApp == MusicApp::other) {
        return;
    }
    // Whether the player took the command is not ours to report.
    (void)runAppleScript(PlayerScripts::nextTrack(rawValue(activeApp)));
}

bool MusicController::isProcessRunning(const QString& name)
{
    return runAppleScript(PlayerScripts::processCheck(name)) == QStringLiteral("true");
}

std::optional<MusicController::TrackPair> MusicController::getTrack(MusicApp app)
{
    return PlayerScripts::parseTrackResult(runAppleScript(PlayerScripts::trackQuery(rawValue(app))));
}

std::optional<QString> MusicController::runAppleScript(const QString& source)
{
    return runner->run(source);
}
