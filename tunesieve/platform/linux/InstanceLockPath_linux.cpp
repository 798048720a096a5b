#include "platform/InstanceLock.h"

#include <QStandardPaths>

QString instanceLockPath()
{
    // $XDG_RUNTIME_DIR is the user's own (mode 0700) and lives as long as the user is logged in,
    // on every session of that user: one agent per user, whichever session started it.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/tunesieve.lock");
}
