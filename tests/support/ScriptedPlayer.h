#pragma once

#include "player/ScriptRunner.h"

#include <QString>
#include <memory>
#include <optional>

// A script engine that plays the part of one player: it answers the bridge's process check, track
// query and skip command for that player as the test sets them, and nothing for the others.
class ScriptedPlayer
{
public:
    explicit ScriptedPlayer(QString applicationName = QStringLiteral("Spotify"));

    // The engine to hand to a MusicController; it reports to this player, which must outlive it.
    std::unique_ptr<ScriptRunner> engine();

    void play(const QString& artist, const QString& track);
    void stop();

    int trackQueries() const { return m_trackQueries; }
    int skips() const { return m_skips; }

private:
    class Engine;

    QString m_applicationName;
    std::optional<QString> m_answer;
    int m_trackQueries = 0;
    int m_skips = 0;
};
