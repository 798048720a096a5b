#pragma once

#include <QJsonValue>
#include <QVariant>

// How a preferences value is kept in a JSON document. Strings, booleans and arrays of strings are
// their JSON selves; a date is {"$date": "2026-12-06T19:55:40.123Z"} (UTC, milliseconds). Any other
// JSON value reads as a QVariant holding that QJsonValue, and is written back exactly as it was read.
namespace JsonPreferenceValue {

QVariant fromJson(const QJsonValue& json);
QJsonValue toJson(const QVariant& value);

} // namespace JsonPreferenceValue
