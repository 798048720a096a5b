#include "platform/Resources.h"

#include <QCoreApplication>

namespace Resources {

QStringList resourceFolders()
{
    // Installed: <prefix>/bin/tunesieve finds <prefix>/share/tunesieve, wherever the prefix is.
    // In a build tree the files are copied beside the binary.
    const QString binaryFolder = QCoreApplication::applicationDirPath();
    return {binaryFolder + QStringLiteral("/../share/tunesieve"), binaryFolder};
}

} // namespace Resources
