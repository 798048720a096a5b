#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

// A private D-Bus session bus for one test process. Starting it points DBUS_SESSION_BUS_ADDRESS at
// it, so that QDBusConnection::sessionBus() in the code under test uses it; start it before
// anything touches the session bus. The machine's own bus is never used.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }

    // A new connection of the test's own on this bus (a second client, e.g. a test player).
    QDBusConnection connect(const QString& connectionName) const;

private:
    QProcess m_daemon;
    QString m_address;
};
