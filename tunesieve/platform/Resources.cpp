#include "Resources.h"

#include <QDir>
#include <QFileInfo>

namespace Resources {

std::optional<QString> pathForResource(const QString& name, const QString& type)
{
    return findInFolders(resourceFolders(), name + QLatin1Char('.') + type);
}

std::optional<QString> findInFolders(const QStringList& folders, const QString& fileName)
{
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder), fileName);
        if (candidate.isFile()) {
            return QDir::cleanPath(candidate.absoluteFilePath());
        }
    }
    return std::nullopt;
}

} // namespace Resources
