#include "TestNotificationServer.h"

TestNotificationServer::TestNotificationServer(QDBusConnection connection, QStringList capabilities)
    : m_connection(std::move(connection)), m_capabilities(std::move(capabilities))
{
    m_registered = m_connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                               QDBusConnection::ExportAllSlots) &&
                   m_connection.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

TestNotificationServer::~TestNotificationServer()
{
    m_connection.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    m_connection.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

QStringList TestNotificationServer::GetCapabilities()
{
    return m_capabilities;
}

uint TestNotificationServer::Notify(const QString& appName, uint, const QString&, const QString& summary,
                                    const QString& body, const QStringList&, const QVariantMap&, int timeout)
{
    m_received.append({appName, summary, body, timeout});
    return uint(m_received.size());
}
