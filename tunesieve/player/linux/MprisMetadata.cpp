#include "MprisMetadata.h"

#include <QStringList>

namespace MprisMetadata {

QString trackAnswer(const QVariantMap& metadata)
{
    const QVariant artist = metadata.value(QStringLiteral("xesam:artist"));
    const QVariant title = metadata.value(QStringLiteral("xesam:title"));
    QString artists;
    if (artist.typeId() == QMetaType::QStringList) {
        artists = artist.toStringList().join(QStringLiteral(", "));
    } else if (artist.typeId() == QMetaType::QString) {
        // Some web players send one artist as plain text instead of a list; it is as clear.
        artists = artist.toString();
    }
    const QString titleText = title.typeId() == QMetaType::QString ? title.toString() : QString();
    return artists + QStringLiteral("|||") + titleText;
}

} // namespace MprisMetadata
