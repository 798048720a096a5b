#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

namespace MprisMetadata {

// A dictionary of variants as the bus delivers it; anything else is no dictionary.
std::optional<QVariantMap> dictionaryOf(const QVariant& value);
// The track query's answer for a playing player's MPRIS metadata: the `xesam:artist` entries that
// hold more than white space, joined by PlayerScripts::artistSeparator (which an entry itself never
// holds: it becomes a space), then "|||", then `xesam:title`. A value that is missing or of a type
// other than text (or a list of texts, for the artists) stands as the empty text, which leaves an
// answer the bridge cannot parse, so no track.
QString trackAnswer(const QVariantMap& metadata);

} // namespace MprisMetadata
