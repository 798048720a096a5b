#include "DBusNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QString escapeMarkup(QString text)
{
    text.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    text.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    text.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return text;
}

} // namespace

DBusNotifier::DBusNotifier(QDBusConnection connection) : m_connection(std::move(connection)) {}

void DBusNotifier::show(const QString& title, const QString& body)
{
    if (!m_connection.isConnected()) {
        return;
    }
    if (m_bodyMarkup) {
        send(title, body);
        return;
    }
    const auto request = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(request), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, title, body](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QStringList> capabilities = *call;
        if (capabilities.isError()) {
            return; // no notification server: nothing to show it on
        }
        m_bodyMarkup = capabilities.value().contains(QStringLiteral("body-markup"));
        send(title, body);
    });
}

void DBusNotifier::send(const QString& title, const QString& body)
{
    auto notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    notify << QStringLiteral("TuneSieve") << 0u << QString() << title << (*m_bodyMarkup ? escapeMarkup(body) : body)
           << QStringList() << QVariantMap() << -1;
    m_connection.send(notify);
}
