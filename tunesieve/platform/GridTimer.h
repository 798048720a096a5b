#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

// A repeating timer whose ticks stay on the grid of its start: with an interval of 5 s they come
// at 5, 10, 15 s ... after start(), however long each tick takes. A tick that could not run on time
// (the thread was busy for longer than an interval) is dropped, not run twice.
class GridTimer : public QObject
{
    Q_OBJECT

public:
    explicit GridTimer(QObject* parent = nullptr);

    void start(int intervalMs, std::function<void()> onTick);
    void stop();
    bool isActive() const;

private:
    void scheduleNextTick();
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_intervalMs = 0;
    qint64 m_nextTickMs = 0;
    std::function<void()> m_onTick;
};
