#include "JsonText.h"

namespace JsonText {

namespace {

// U+FEFF in UTF-8. Outside a string it is no valid JSON, escaped or not; inside one, the escape
// stands for the same character.
const QByteArray rawFeff("\xEF\xBB\xBF");
const QByteArray escapedFeff("\\ufeff");

} // namespace

QJsonDocument parse(const QByteArray& bytes, QJsonParseError* error)
{
    if (!bytes.contains(rawFeff)) {
        return QJsonDocument::fromJson(bytes, error);
    }
    const qsizetype textStart = bytes.startsWith(rawFeff) ? rawFeff.size() : 0;
    QByteArray escaped = bytes.mid(textStart);
    escaped.replace(rawFeff, escapedFeff);
    return QJsonDocument::fromJson(bytes.left(textStart) + escaped, error);
}

QByteArray serialize(const QJsonDocument& document, QJsonDocument::JsonFormat format)
{
    // The writer puts non-ASCII characters only into strings, so every U+FEFF it wrote is in one.
    return document.toJson(format).replace(rawFeff, escapedFeff);
}

} // namespace JsonText
