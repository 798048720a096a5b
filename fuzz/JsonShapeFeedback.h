#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cstddef>
#include <cstdint>

// Qt's JSON parser is not instrumented, so libFuzzer cannot see which ways through it an input takes
// and would keep hardly any JSON. These counters stand in: how far parsing got and why it stopped,
// and which kind of value stands at which depth under which member name, so that an input reaching
// a new shape is kept and worked on.
namespace JsonShapeFeedback {

inline uint8_t counters[4096] __attribute__((used, section("__libfuzzer_extra_counters")));

inline void note(uint32_t feature)
{
    feature *= 2654435761u; // spreads neighbouring features over the table
    ++counters[(feature >> 20) % sizeof counters];
}

inline uint32_t bucketOf(int n)
{
    uint32_t bucket = 0;
    for (; n > 0; n >>= 1) {
        ++bucket;
    }
    return bucket;
}

inline void noteValue(const QJsonValue& value, uint32_t depth, uint32_t nameHash)
{
    note(0x10000000u | depth << 20 | (nameHash & 0xFFFF) << 4 | uint32_t(value.type()));
    if (depth >= 6) {
        return;
    }
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        note(0x20000000u | depth << 8 | bucketOf(int(array.size())));
        for (const QJsonValue& element : array) {
            noteValue(element, depth + 1, nameHash);
        }
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto member = object.begin(); member != object.end(); ++member) {
            noteValue(member.value(), depth + 1, uint32_t(qHash(member.key())));
        }
    } else if (value.isString()) {
        note(0x30000000u | depth << 8 | bucketOf(int(value.toString().size())) << 1 |
             uint32_t(value.toString().isValidUtf16()));
    }
}

inline void noteShapeOf(const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        note(0x40000000u | uint32_t(error.error) << 8 | bucketOf(error.offset));
        return;
    }
    noteValue(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()), 0, 0);
}

} // namespace JsonShapeFeedback
