#include "SkipMemory.h"

namespace {

// How long a skipped track counts as just skipped: going back to it within this time plays it.
constexpr qint64 kRecentSecs = 5 * 60;
// A player that stays on a blocked track through this many skips does not take them.
constexpr int kSkipsBeforeGivingUp = 3;
constexpr qsizetype kRemembered = 20;

} // namespace

bool SkipMemory::Track::operator==(const Track& other) const
{
    return app == other.app && artist == other.artist && title == other.title;
}

void SkipMemory::saw(const Track& playing)
{
    for (Skip& skip : m_recent) {
        if (skip.track == playing) {
            continue;
        }
        if (!skip.ledTo) {
            skip.ledTo = playing;
        }
        skip.playedOthers = skip.playedOthers || !(*skip.ledTo == playing);
    }
    if (m_awaiting && !(*m_awaiting == playing)) {
        m_awaiting.reset();
    }
}

SkipMemory::Skip* SkipMemory::find(const Track& track, const QDateTime& now)
{
    for (Skip& skip : m_recent) {
        if (skip.track == track && skip.last.secsTo(now) < kRecentSecs) {
            return &skip;
        }
    }
    return nullptr;
}

SkipMemory::Decision SkipMemory::decide(const Track& blocked, const QDateTime& now)
{
    Skip* skip = find(blocked, now);
    if (!skip || skip->playedOthers || (!skip->ledTo && skip->inARow < kSkipsBeforeGivingUp)) {
        return Decision::skip;
    }
    const bool toldBefore = std::exchange(skip->told, true);
    if (skip->ledTo) {
        return toldBefore ? Decision::playOnPurposeAgain : Decision::playOnPurpose;
    }
    return toldBefore ? Decision::leftAlone : Decision::giveUp;
}

bool SkipMemory::isStillOn(const Track& track, const QDateTime& now)
{
    const Skip* skip = find(track, now);
    return skip && !skip->ledTo;
}

quint64 SkipMemory::skipped(const Track& track, const QDateTime& now)
{
    Skip* skip = find(track, now);
    if (!skip || skip->ledTo) {
        m_recent.prepend({track, now, 0, std::nullopt, false, false});
        m_recent.resize(std::min(m_recent.size(), kRemembered));
        skip = &m_recent.first();
    }
    skip->last = now;
    ++skip->inARow;
    m_awaiting = track;
    return ++m_skips;
}

void SkipMemory::followUpDue(quint64 skip)
{
    // Only the latest skip's own follow-up may look at its track again.
    if (skip == m_skips) {
        m_awaiting.reset();
    }
}
