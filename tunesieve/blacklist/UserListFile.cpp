#include "UserListFile.h"

#include "CommunityTransport.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace UserListFile {

ArtistListFormats::Reading read(const QString& path)
{
    constexpr qint64 cap = CommunityTransport::maxBodyBytes;
    QFile file(path);
    QByteArray bytes;
    ArtistListFormats::Reading refused;
    if (QFileInfo(path).isDir()) {
        refused.error = QStringLiteral("a folder, not a file");
    } else if (!file.exists()) {
        refused.error = QStringLiteral("the file is gone");
    } else if (!file.open(QIODevice::ReadOnly) || (bytes = file.read(cap + 1), file.error() != QFileDevice::NoError)) {
        // A file that goes away while it is read ends here too, or comes out short: what was read counts.
        refused.error = QStringLiteral("it cannot be read (%1)").arg(file.errorString());
    } else if (bytes.size() > cap) {
        refused.error = QStringLiteral("larger than %1 MiB").arg(cap / (1024 * 1024));
    } else {
        return ArtistListFormats::read(bytes);
    }
    return refused;
}

QString write(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
        return {};
    }
    return file.errorString();
}

} // namespace UserListFile
