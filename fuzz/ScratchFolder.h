#pragma once

#include <QDir>
#include <QTemporaryDir>

// A folder for a fuzzer's files, removed when it ends. It lives in memory (/dev/shm) where the
// machine has that: the preferences code syncs every file it writes, which costs nothing there.
inline QString scratchFolder()
{
    static const QTemporaryDir folder(
        (QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
        QStringLiteral("/tunesieve-fuzz-XXXXXX"));
    if (!folder.isValid()) {
        qFatal("cannot create a scratch folder");
    }
    return folder.path();
}
