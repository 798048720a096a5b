#pragma once

#include "platform/MonotonicClock.h"

#include <QHash>
#include <QSet>
#include <QString>

// The players whose answer did not come in time, each passed over for 30 s as if it were not there:
// a hung player (beach-balling, or a browser whose main loop hangs) would otherwise cost its whole
// timeout on every check. Each script engine names its players its own way.
class PassedOverPlayers
{
public:
    static constexpr qint64 kPassOverMs = 30000;

    explicit PassedOverPlayers(MonotonicClock clock = monotonicNowMs);

    void timedOut(const QString& player);
    bool contains(const QString& player) const;
    // Most checks pass over nobody.
    bool isEmpty() const { return m_until.isEmpty(); }
    // Forgets the players not in `present`, and those whose time is over.
    void keepOnly(const QSet<QString>& present);

private:
    MonotonicClock m_clock;
    QHash<QString, qint64> m_until;
};
