#include "GridTimer.h"

GridTimer::GridTimer(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &GridTimer::tick);
}

void GridTimer::start(int intervalMs, std::function<void()> onTick)
{
    m_intervalMs = qMax(1, intervalMs);
    m_onTick = std::move(onTick);
    m_clock.start();
    m_nextTickMs = m_intervalMs;
    scheduleNextTick();
}

void GridTimer::stop()
{
    m_timer.stop();
}

bool GridTimer::isActive() const
{
    return m_timer.isActive();
}

void GridTimer::scheduleNextTick()
{
    m_timer.start(static_cast<int>(qMax<qint64>(0, m_nextTickMs - m_clock.elapsed())));
}

void GridTimer::tick()
{
    // This tick serves the grid point it was scheduled for (even if the clock reads a hair early);
    // then skip every point already passed, so that a late tick neither shifts the grid nor fires a
    // burst of catch-up ticks.
    const qint64 now = m_clock.elapsed();
    m_nextTickMs += m_intervalMs;
    while (m_nextTickMs <= now) {
        m_nextTickMs += m_intervalMs;
    }
    scheduleNextTick();
    m_onTick();
}
