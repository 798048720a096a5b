#include "MprisMetadata.h"

#include "player/PlayerScripts.h"

#include <QDBusArgument>
#include <QStringList>

namespace MprisMetadata {

std::optional<QVariantMap> dictionaryOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::QVariantMap) {
        return value.toMap();
    }
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QStringLiteral("a{sv}")) {
            return qdbus_cast<QVariantMap>(argument);
        }
    }
    return std::nullopt;
}

QString trackAnswer(const QVariantMap& metadata)
{
    const QVariant artist = metadata.value(QStringLiteral("xesam:artist"));
    const QVariant title = metadata.value(QStringLiteral("xesam:title"));
    QStringList entries;
    if (artist.typeId() == QMetaType::QStringList) {
        entries = artist.toStringList();
    } else if (artist.typeId() == QMetaType::QString) {
        // Some web players send one artist as plain text instead of a list; it is as clear.
        entries = {artist.toString()};
    }
    entries.removeIf([](const QString& entry) { return entry.trimmed().isEmpty(); });
    entries.replaceInStrings(QString(PlayerScripts::artistSeparator), QStringLiteral(" "));
    const QString titleText = title.typeId() == QMetaType::QString ? title.toString() : QString();
    return entries.join(PlayerScripts::artistSeparator) + QStringLiteral("|||") + titleText;
}

} // namespace MprisMetadata
