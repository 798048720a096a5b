#pragma once

#include "platform/PreferencesDomain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <optional>

// Records kept under one key of a preferences domain as an array of strings, each the compact JSON
// text of one record's object, so that every preferences backend keeps them as plain strings. A
// text that cannot be read as a record is left out; a value of the wrong type reads as no records.
namespace StoredRecords {

template <typename Record, typename Decode>
QList<Record> read(PreferencesDomain& domain, const QString& key, Decode decode)
{
    QList<Record> records;
    for (const QString& text : domain.stringArray(key).value_or(QStringList())) {
        if (std::optional<Record> record = decode(QJsonDocument::fromJson(text.toUtf8()).object())) {
            records.append(*record);
        }
    }
    return records;
}

template <typename Record, typename Encode>
void write(PreferencesDomain& domain, const QString& key, const QList<Record>& records, Encode encode)
{
    QStringList texts;
    texts.reserve(records.size());
    for (const Record& record : records) {
        texts.append(QString::fromUtf8(QJsonDocument(encode(record)).toJson(QJsonDocument::Compact)));
    }
    domain.setValue(key, texts);
    domain.synchronize();
}

} // namespace StoredRecords
