#include "JsonPreferenceValue.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

namespace JsonPreferenceValue {

namespace {

const QLatin1String kDateMember("$date");

QString dateText(const QDateTime& date)
{
    return date.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

QVariant fromJson(const QJsonValue& json)
{
    switch (json.type()) {
    case QJsonValue::String:
        return json.toString();
    case QJsonValue::Bool:
        return json.toBool();
    case QJsonValue::Array: {
        QStringList strings;
        const QJsonArray array = json.toArray();
        strings.reserve(array.size());
        for (const QJsonValue& element : array) {
            if (!element.isString()) {
                return QVariant::fromValue(json);
            }
            strings.append(element.toString());
        }
        return strings;
    }
    case QJsonValue::Object: {
        const QJsonObject object = json.toObject();
        if (object.size() == 1 && object.value(kDateMember).isString()) {
            const QDateTime date =
                QDateTime::fromString(object.value(kDateMember).toString(), Qt::ISODateWithMs).toUTC();
            // A time zone can carry a moment out of the years 0001 to 9999, which the date text cannot
            // hold: such a value stays what it is, so that it is written back as it was read.
            if (date.isValid() && !dateText(date).isEmpty()) {
                return date;
            }
        }
        return QVariant::fromValue(json);
    }
    default:
        return QVariant::fromValue(json);
    }
}

QJsonValue toJson(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QStringList:
        return QJsonArray::fromStringList(value.toStringList());
    case QMetaType::QDateTime:
        return QJsonObject{{kDateMember, dateText(value.toDateTime())}};
    default:
        // Values read as "other" are written back exactly as they were read.
        return value.value<QJsonValue>();
    }
}

} // namespace JsonPreferenceValue
