#pragma once

#include "platform/Notifier.h"

#include <QDBusConnection>
#include <QObject>
#include <optional>

// Notifications through org.freedesktop.Notifications on the session bus. Nothing here waits for
// the bus: the server's capabilities are asked once, asynchronously, and every Notify is sent
// without waiting for its answer. Without a bus or a server, notifications are dropped silently.
class DBusNotifier : public QObject, public Notifier
{
    Q_OBJECT

public:
    explicit DBusNotifier(QDBusConnection connection = QDBusConnection::sessionBus());

    void show(const QString& title, const QString& body) override;

private:
    void send(const QString& title, const QString& body);

    QDBusConnection m_connection;
    // Whether the server renders markup in bodies; unknown until it has told us.
    std::optional<bool> m_bodyMarkup;
};
