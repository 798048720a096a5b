#pragma once

#include <QDeadlineTimer>
#include <functional>

// Milliseconds on a clock that never goes back, for what is done again after a while; a test gives
// a clock of its own and moves it by hand.
using MonotonicClock = std::function<qint64()>;

inline qint64 monotonicNowMs()
{
    return QDeadlineTimer::current().deadline();
}
