#include "CommunityWireFormat.h"

#include "ArtistName.h"
#include "CommunityListReader.h"
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

bool ListCollector::refuse(CapFault fault)
{
    m_fault = fault;
    return false;
}

bool ListCollector::acceptsCount(qsizetype count)
{
    return m_fault == CapFault::none && (count <= maxListNames || refuse(CapFault::tooManyNames));
}

bool ListCollector::add(const QString& name)
{
    if (!acceptsCount(m_list.count + 1)) {
        return false;
    }
    // The parser lets an escaped lone surrogate ("\ud800") through.
    if (!name.isValidUtf16()) {
        return refuse(CapFault::invalidText);
    }
    if (characterCount(name) > maxNameLength) {
        return refuse(CapFault::nameTooLong);
    }
    ++m_list.count;
    m_list.names.add(ArtistName::normalized(name));
    return true;
}

CommunityList ListCollector::take()
{
    m_list.names.sort();
    return std::exchange(m_list, CommunityList());
}

bool collectNames(const QJsonArray& names, ListCollector& collector)
{
    // Counted before any name is lower-cased or stored: refusing a hostile list costs little.
    if (!collector.acceptsCount(names.size())) {
        return false;
    }
    return std::all_of(names.begin(), names.end(), [&collector](const QJsonValue& value) {
        return value.isString() && collector.add(value.toString());
    });
}

std::optional<CommunityList> readList(const QByteArray& body)
{
    CommunityListReader reader;
    return reader.feed(body) ? reader.finish() : std::nullopt;
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
