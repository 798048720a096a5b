#pragma once

// What the benchmarks measure of the process itself: how long the main thread was busy at a stretch,
// and the peak resident memory.
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>

// The process's peak resident memory so far (VmHWM), in KiB; -1 where /proc cannot tell.
inline long peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

// The longest time between two ticks of a 1 ms timer: how long the main thread was busy at a stretch.
class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longestMs = std::max(m_longestMs, m_sinceTick.restart()); });
        m_sinceTick.start();
        m_timer.start(1);
    }
    // Counts the stretch in progress too, e.g. the step that calls the completion.
    qint64 longestMs() const { return std::max(m_longestMs, m_sinceTick.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestMs = 0;
};
