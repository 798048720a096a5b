#include "ListValidators.h"

#include <algorithm>

namespace {

// Longer values are no validators a server would send: they are not kept.
constexpr qsizetype kMaxValueLength = 1024;

// A value sent back as it came, or nothing when it is too long or holds a control character (a line
// break would end the header line: a value edited into the preferences must not add headers).
QString kept(const QByteArray& value)
{
    const bool plain =
        std::none_of(value.begin(), value.end(), [](char c) { return quint8(c) < 0x20 || quint8(c) == 0x7f; });
    return plain && value.size() <= kMaxValueLength ? QString::fromLatin1(value) : QString();
}

} // namespace

ListValidators ListValidators::ofReply(const QByteArray& etag, const QByteArray& lastModified, quint64 copy)
{
    return {kept(etag), kept(lastModified), copy};
}

ListValidators ListValidators::decoded(const QJsonObject& object)
{
    // The checksum is kept as hex digits: a JSON number cannot hold 64 bits.
    bool valid = false;
    const quint64 copy = object["copy"].toString().toULongLong(&valid, 16);
    if (!valid) {
        return {};
    }
    return ofReply(object["etag"].toString().toLatin1(), object["lastModified"].toString().toLatin1(), copy);
}

QJsonObject ListValidators::encoded() const
{
    return {{"etag", etag}, {"lastModified", lastModified}, {"copy", QString::number(copy, 16)}};
}

bool ListValidators::describe(std::optional<quint64> storedCopy) const
{
    return !isEmpty() && storedCopy == copy;
}

void ListValidators::addTo(QNetworkRequest& request) const
{
    if (!etag.isEmpty()) {
        request.setRawHeader("If-None-Match", etag.toLatin1());
    }
    if (!lastModified.isEmpty()) {
        request.setRawHeader("If-Modified-Since", lastModified.toLatin1());
    }
}
