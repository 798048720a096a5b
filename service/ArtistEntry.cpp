#include "ArtistEntry.h"

#include "blacklist/ArtistName.h"

#include <algorithm>

std::optional<ArtistEntry> ArtistEntry::from(const QString& name, QString* refusal)
{
    if (!name.isValidUtf16()) {
        *refusal = QStringLiteral("the artist is not valid Unicode");
        return std::nullopt;
    }
    const QList<uint> characters = name.toUcs4();
    if (characters.isEmpty()) {
        *refusal = QStringLiteral("the artist is empty");
        return std::nullopt;
    }
    if (characters.size() > maxLength) {
        *refusal = QStringLiteral("the artist is longer than %1 characters").arg(maxLength);
        return std::nullopt;
    }
    if (std::any_of(characters.begin(), characters.end(),
                    [](uint character) { return QChar::category(char32_t(character)) == QChar::Other_Control; })) {
        *refusal = QStringLiteral("the artist holds a control character");
        return std::nullopt;
    }
    const QString normalized = ArtistName::normalized(name);
    return ArtistEntry{ArtistName::equivalenceKey(normalized).toStdString(), normalized.toStdString()};
}
