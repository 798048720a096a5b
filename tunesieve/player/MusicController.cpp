#include "MusicController.h"

#include "PlayerScripts.h"

#include <iterator>

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

bool MusicController::getCurrentTrack(TrackHandler done)
{
    if (checkUnderWay) {
        return false;
    }
    checkUnderWay = true;
    probe(0, std::move(done));
    return true;
}

void MusicController::probe(std::size_t next, TrackHandler done)
{
    if (next == std::size(probingOrder)) {
        activeApp = MusicApp::other;
        checkUnderWay = false;
        done(std::nullopt);
        return;
    }
    const MusicApp app = probingOrder[next];
    runner->run(PlayerScripts::trackQuery(rawValue(app)),
                [this, next, app, done = std::move(done)](const std::optional<QString>& result) {
                    const auto track = PlayerScripts::parseTrackResult(result);
                    if (!track) {
                        probe(next + 1, done);
                        return;
                    }
                    activeApp = app;
                    checkUnderWay = false;
                    const QStringList artists = track->first.split(PlayerScripts::artistSeparator, Qt::SkipEmptyParts);
                    done(NowPlaying{artists.join(QStringLiteral(", ")), track->second, app, artists});
                });
}

void MusicController::skipTrack()
{
    if (activeApp == MusicApp::other) {
        return;
    }
    // Whether the player took the command is not ours to report.
    runner->run(PlayerScripts::nextTrack(rawValue(activeApp)), [](const std::optional<QString>&) {});
}

void MusicController::setPermissionRefusedHandler(ScriptRunner::RefusalHandler handler)
{
    runner->setRefusalHandler(std::move(handler));
}
