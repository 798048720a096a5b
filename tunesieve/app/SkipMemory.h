#pragma once

#include "player/MusicController.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// What the playback check remembers of its own skips, to tell apart a player still on its way to
// the next track, a player that will not leave a blocked one, and a person who went back to a
// skipped track on purpose.
class SkipMemory
{
public:
    // A track exactly as a player reported it.
    struct Track
    {
        MusicController::MusicApp app;
        QString artist;
        QString title;
        bool operator==(const Track& other) const;
    };
    enum class Decision
    {
        skip,
        // Went back to a track skipped a few minutes ago, straight from the track that our skip led to:
        // it plays, and the first time says so. (A track that comes round again later, a playlist on
        // repeat, is skipped again.)
        playOnPurpose,
        playOnPurposeAgain,
        // Skipped three times and the player never moved: left alone, and the first time says so.
        giveUp,
        leftAlone
    };

    // Every check that finds a track reports it here first.
    void saw(const Track& playing);
    // Whether our Next() for this very track still waits for its follow-up check: a check that sees
    // it meanwhile sends no second one, which would skip the wanted track that comes next.
    bool isAwaitingPlayer(const Track& playing) const { return m_awaiting == playing; }
    // What to do about a blocked track that plays.
    Decision decide(const Track& blocked, const QDateTime& now);
    // Whether `track` was skipped a moment ago and the player has not left it since.
    bool isStillOn(const Track& track, const QDateTime& now);
    // Our Next() went to `track`; returns the number to hand to followUpDue() a moment later.
    quint64 skipped(const Track& track, const QDateTime& now);
    void followUpDue(quint64 skip);

private:
    struct Skip
    {
        Track track;
        QDateTime last;
        int inARow = 0;
        // The track that the player moved on to, once it has.
        std::optional<Track> ledTo;
        // Something other than `track` and `ledTo` played since: going back is over.
        bool playedOthers = false;
        bool told = false;
    };

    Skip* find(const Track& track, const QDateTime& now);

    std::optional<Track> m_awaiting;
    quint64 m_skips = 0;
    QList<Skip> m_recent;
};
