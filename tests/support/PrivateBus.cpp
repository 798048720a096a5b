#include "PrivateBus.h"

PrivateBus::PrivateBus()
{
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--config-file=" TUNESIEVE_TEST_DATA_DIR "/session.conf"),
                           QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000)) {
        qWarning("cannot start dbus-daemon: %s", qPrintable(m_daemon.errorString()));
        return;
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

PrivateBus::~PrivateBus()
{
    m_daemon.kill();
    m_daemon.waitForFinished(2000);
}

QDBusConnection PrivateBus::connect(const QString& connectionName) const
{
    return QDBusConnection::connectToBus(m_address, connectionName);
}
