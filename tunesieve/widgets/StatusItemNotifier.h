#pragma once

#include "StatusItem.h"
#include "platform/Notifier.h"

#include <QPointer>

// Notifications through the agent's status item, which Qt posts as the agent itself: on macOS they
// come under its name and icon, are allowed under its own entry in System Settings › Notifications,
// and a click on one brings the agent. Before the item exists, nothing is shown.
class StatusItemNotifier : public Notifier
{
public:
    void setStatusItem(StatusItem* item) override { m_item = item; }
    void show(const QString& title, const QString& body) override
    {
        if (m_item) {
            m_item->showMessage(title, body);
        }
    }

private:
    QPointer<StatusItem> m_item;
};
