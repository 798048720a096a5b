// A player's MPRIS metadata, with any keys and values of the kinds that come over the bus, turned
// into the track query's answer.
//
// Properties:
// - the answer depends on "xesam:artist" and "xesam:title" alone;
// - artists and a title that are non-empty texts without "|" read back through the bridge's parser
//   as exactly those artists, joined by ", ", and that title;
// - without a non-empty artist text, or without a non-empty title text, the parser finds no track
//   (for texts without "|": with them the answer format is ambiguous by design).

#include "FuzzInput.h"
#include "player/PlayerScripts.h"
#include "player/linux/MprisMetadata.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantList>

namespace {

const QString artistKey = QStringLiteral("xesam:artist");
const QString titleKey = QStringLiteral("xesam:title");

QStringList texts(FuzzInput& input)
{
    QStringList list;
    for (int n = input.byte() % 5; n > 0; --n) {
        list.append(input.text());
    }
    return list;
}

QVariant value(FuzzInput& input, int depth = 0)
{
    switch (input.byte() % 11) {
    case 0:
        return input.text();
    case 1:
        return texts(input);
    case 2:
        return int(input.byte()) - 128;
    case 3:
        return bool(input.byte() & 1);
    case 4:
        return double(input.byte()) / 7.0;
    case 5:
        return input.text().toUtf8();
    case 6: {
        // Texts in a list of variants ("av"), not a list of texts ("as").
        QVariantList list;
        for (const QString& text : texts(input)) {
            list.append(text);
        }
        return list;
    }
    case 7: {
        QVariantMap map;
        if (depth < 2) {
            map.insert(input.text(8), value(input, depth + 1));
        }
        return map;
    }
    case 8:
        return QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/Track/1")));
    case 9:
        return QVariant::fromValue(QDBusVariant(input.text()));
    default:
        return QVariant();
    }
}

QString key(FuzzInput& input)
{
    switch (input.byte() % 5) {
    case 0:
    case 1:
        return artistKey;
    case 2:
        return titleKey;
    case 3:
        return QStringLiteral("mpris:trackid");
    default:
        return input.text(16);
    }
}

// The artists as one text, when the entry is a non-empty text or list of texts.
QString artistText(const QVariant& artist)
{
    if (artist.typeId() == QMetaType::QStringList) {
        return artist.toStringList().join(QStringLiteral(", "));
    }
    return artist.typeId() == QMetaType::QString ? artist.toString() : QString();
}

QString titleText(const QVariant& title)
{
    return title.typeId() == QMetaType::QString ? title.toString() : QString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    QVariantMap metadata;
    for (int n = input.byte() % 8; n > 0; --n) {
        const QString entryKey = key(input);
        metadata.insert(entryKey, value(input));
    }

    const QString answer = MprisMetadata::trackAnswer(metadata);

    QVariantMap trackOnly;
    for (const QString& name : {artistKey, titleKey}) {
        if (metadata.contains(name)) {
            trackOnly.insert(name, metadata.value(name));
        }
    }
    require(MprisMetadata::trackAnswer(trackOnly) == answer, "only the artist and title entries count");

    const QString artists = artistText(metadata.value(artistKey));
    const QString title = titleText(metadata.value(titleKey));
    if (artists.contains(QLatin1Char('|')) || title.contains(QLatin1Char('|'))) {
        return 0;
    }
    const auto track = PlayerScripts::parseTrackResult(answer);
    if (artists.isEmpty() || title.isEmpty()) {
        require(!track, "no track without an artist and a title");
    } else {
        require(track && track->first == artists && track->second == title, "the track reads back unchanged");
    }
    return 0;
}
