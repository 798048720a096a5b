#pragma once

// What the benchmarks measure of the process itself: how long the main thread was busy at a stretch,
// and the peak resident memory.
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <ctime>

// A line of /proc/self/status in KiB ("VmHWM:", the peak resident memory so far, "VmRSS:", the
// resident memory now); -1 where /proc cannot tell.
inline long memoryKiB(const QByteArray& field = "VmHWM:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(field.size()).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

inline long peakMemoryKiB()
{
    return memoryKiB();
}

// The longest time between two ticks of a 1 ms timer: how long the main thread was busy at a stretch.
// On a loaded machine that also counts the time the thread waited for a core, so the meter also
// keeps the longest stretch of the main thread's own CPU time between two ticks.
class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longestMs = std::max(m_longestMs, m_sinceTick.restart());
            const double cpuMs = threadCpuMs();
            m_longestCpuMs = std::max(m_longestCpuMs, cpuMs - m_cpuAtTickMs);
            m_cpuAtTickMs = cpuMs;
        });
        m_sinceTick.start();
        m_cpuAtTickMs = threadCpuMs();
        m_timer.start(1);
    }
    // Both count the stretch in progress too, e.g. the step that calls the completion.
    qint64 longestMs() const { return std::max(m_longestMs, m_sinceTick.elapsed()); }
    double longestCpuMs() const { return std::max(m_longestCpuMs, threadCpuMs() - m_cpuAtTickMs); }

private:
    static double threadCpuMs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }

    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestMs = 0;
    double m_cpuAtTickMs = 0;
    double m_longestCpuMs = 0;
};
