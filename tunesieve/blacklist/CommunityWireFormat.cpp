#include "CommunityWireFormat.h"

#include "ArtistName.h"
#include "platform/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace CommunityWireFormat {

namespace {

std::optional<QJsonObject> readObject(const QByteArray& body)
{
    // The parser rejects invalid UTF-8 and nesting deeper than it can take.
    QJsonParseError error;
    const QJsonDocument document = JsonText::parse(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

qsizetype characterCount(const QString& name)
{
    return name.size() - std::count_if(name.cbegin(), name.cend(), [](QChar unit) { return unit.isLowSurrogate(); });
}

} // namespace

std::optional<QByteArray> flagBody(const QString& artist, const QString& deviceId)
{
    if (!artist.isValidUtf16() || !deviceId.isValidUtf16()) {
        return std::nullopt;
    }
    const QJsonObject object{{QLatin1String("artist"), artist}, {QLatin1String("device_id"), deviceId}};
    return JsonText::serialize(QJsonDocument(object), QJsonDocument::Compact);
}

std::optional<CommunityList> readList(const QByteArray& body)
{
    const std::optional<QJsonObject> object = readObject(body);
    if (!object) {
        return std::nullopt;
    }
    const QJsonValue artists = object->value(QLatin1String("artists"));
    if (!artists.isArray()) {
        return std::nullopt;
    }
    const QJsonArray names = artists.toArray();
    // Counted before any name is lower-cased or stored: refusing a hostile list costs little.
    if (names.size() > maxListNames) {
        return std::nullopt;
    }
    CommunityList list;
    list.count = int(names.size());
    for (const QJsonValue& value : names) {
        const QString name = value.toString();
        // The parser lets an escaped lone surrogate ("\ud800") through; such a name could not be
        // stored or matched faithfully, so the whole reply is refused.
        if (!value.isString() || !name.isValidUtf16() || characterCount(name) > maxNameLength) {
            return std::nullopt;
        }
        list.artists.insert(ArtistName::normalized(name));
    }
    return list;
}

bool readFlagVerdict(int statusCode, const QByteArray& body)
{
    if (statusCode != 200) {
        return false;
    }
    const std::optional<QJsonObject> object = readObject(body);
    if (!object) {
        return false;
    }
    const QJsonValue success = object->value(QLatin1String("success"));
    return success.isBool() && success.toBool();
}

} // namespace CommunityWireFormat
