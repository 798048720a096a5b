#pragma once

#include <QString>
#include <memory>

class StatusItem;

// Shows one desktop notification and returns at once; it never waits for the desktop, and a
// desktop that cannot show it drops it silently.
class Notifier
{
public:
    virtual ~Notifier() = default;
    virtual void show(const QString& title, const QString& body) = 0;
    // The agent's status item, once it exists: a notifier that posts through it keeps it.
    virtual void setStatusItem(StatusItem*) {}
};

// The platform's own notifier.
std::unique_ptr<Notifier> createNotifier();
