#pragma once

#include <QDBusConnection>
#include <QProcess>

// A private D-Bus session bus for one test process. Starting it points DBUS_SESSION_BUS_ADDRESS at
// it, so that QDBusConnection::sessionBus() in the code under test uses it; start it before
// anything touches the session bus. The machine's own bus is never used.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A new connection of the test's own on this bus (a second client, e.g. a test player).
    QDBusConnection connect(const QString& name) const { return QDBusConnection::connectToBus(m_address, name); }

private:
    QProcess m_daemon;
    QString m_address;
};
