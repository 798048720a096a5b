#include "platform/InstanceLock.h"

#include <QDir>

QString instanceLockPath()
{
    // Not in $TMPDIR, which macOS sweeps of files unused for days: the agent runs for weeks.
    const QString folder = QDir::homePath() + QStringLiteral("/Library/Application Support/com.tunesieve.TuneSieve");
    return QDir().mkpath(folder) ? folder + QStringLiteral("/instance.lock") : QString();
}
