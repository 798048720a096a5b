#include "MainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace MainQueue {

void post(std::function<void()> callback)
{
    // Queued calls to one receiver are delivered in posting order.
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(callback), Qt::QueuedConnection);
}

void after(int delayMs, const QObject* target, std::function<void()> callback)
{
    // The target is the timer's context: Qt runs the callback in the target's thread and drops it
    // when the target is destroyed first.
    QTimer::singleShot(delayMs, Qt::PreciseTimer, target, std::move(callback));
}

} // namespace MainQueue
