#pragma once

#include <QObject>
#include <functional>

// The main queue: every callback runs on the main thread's event loop, one at a time.
namespace MainQueue {

// Runs `callback` on the main thread; safe to call from any thread. Callbacks posted from one
// thread run in the order they were posted.
void post(std::function<void()> callback);

// Runs `callback` once on the main thread after `delayMs`. The target is held weakly: when it is
// destroyed before the delay ends, nothing runs.
void after(int delayMs, const QObject* target, std::function<void()> callback);

} // namespace MainQueue
