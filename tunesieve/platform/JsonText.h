#pragma once

#include <QByteArray>
#include <QJsonDocument>

// JSON text in and out, with every string kept whole. Qt's parser decodes each unescaped string
// with QString::fromUtf8, which drops a U+FEFF (zero width no-break space) at its start: a name
// stored as "\uFEFFNight Owls" would come back as "Night Owls" and never match again. Here every
// U+FEFF inside the text is read and written as the escape \ufeff, which the parser keeps.
namespace JsonText {

// Like QJsonDocument::fromJson. A byte order mark before the document is still allowed.
QJsonDocument parse(const QByteArray& bytes, QJsonParseError* error = nullptr);

// Like QJsonDocument::toJson.
QByteArray serialize(const QJsonDocument& document, QJsonDocument::JsonFormat format);

} // namespace JsonText
