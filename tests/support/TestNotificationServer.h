#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// An org.freedesktop.Notifications server on a test bus connection that records every Notify.
class TestNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notification
    {
        QString appName;
        QString summary;
        QString body;
        int timeout = 0;
    };

    TestNotificationServer(QDBusConnection connection, QStringList capabilities);
    ~TestNotificationServer() override;

    bool isRegistered() const { return m_registered; }
    const QList<Notification>& received() const { return m_received; }

public slots:
    QStringList GetCapabilities();
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);

private:
    QDBusConnection m_connection;
    QStringList m_capabilities;
    QList<Notification> m_received;
    bool m_registered = false;
};
