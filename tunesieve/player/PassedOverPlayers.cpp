#include "PassedOverPlayers.h"

PassedOverPlayers::PassedOverPlayers(MonotonicClock clock) : m_clock(std::move(clock)) {}

void PassedOverPlayers::timedOut(const QString& player)
{
    m_until.insert(player, m_clock() + kPassOverMs);
}

bool PassedOverPlayers::contains(const QString& player) const
{
    const auto found = m_until.constFind(player);
    return found != m_until.constEnd() && m_clock() < *found;
}

void PassedOverPlayers::keepOnly(const QSet<QString>& present)
{
    const qint64 now = m_clock();
    m_until.removeIf([&](const auto& entry) { return !present.contains(entry.key()) || now >= entry.value(); });
}
