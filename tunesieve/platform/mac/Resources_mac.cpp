#include "platform/Resources.h"

#include <QCoreApplication>

namespace Resources {

QStringList resourceFolders()
{
    // TuneSieve.app/Contents/MacOS/TuneSieve reads TuneSieve.app/Contents/Resources.
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources")};
}

} // namespace Resources
