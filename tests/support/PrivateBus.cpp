#include "PrivateBus.h"

PrivateBus::PrivateBus()
{
    m_daemon.start("dbus-daemon",
                   {"--config-file=" TUNESIEVE_TEST_DATA_DIR "/session.conf", "--nofork", "--print-address=1"});
    if (!m_daemon.waitForReadyRead()) {
        qWarning("cannot start dbus-daemon: %s", qPrintable(m_daemon.errorString()));
        return;
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

PrivateBus::~PrivateBus()
{
    m_daemon.kill();
    m_daemon.waitForFinished();
}
