// The preferences file as a user or another program may have left it: any bytes at all.
//
// Properties:
// - every value reads as one of the kinds the domain knows: a string, a boolean, an array made only
//   of strings, a date, or any other JSON value kept as it is (never a string, boolean or array of
//   strings in disguise);
// - written into a new file and read back, every value is exactly the same, of the same kind;
// - a file that is not a JSON object reads as empty, and reading leaves it byte for byte as it was.

#include "FuzzInput.h"
#include "JsonShapeFeedback.h"
#include "ScratchFolder.h"
#include "platform/JsonPreferencesDomain.h"
#include "platform/JsonText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QStringList storeKeys = {QStringLiteral("localBlacklistedArtists"), QStringLiteral("communityBlacklistedArtists"),
                               QStringLiteral("communityBlacklistEnabled"), QStringLiteral("lastCommunitySync"),
                               QStringLiteral("deviceId")};

QString pathOf(const char* name)
{
    return scratchFolder() + QLatin1Char('/') + QLatin1String(name);
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void replaceFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

bool isStringArray(const QJsonValue& json)
{
    const QJsonArray array = json.toArray();
    return json.isArray() && std::all_of(array.begin(), array.end(), [](const QJsonValue& v) { return v.isString(); });
}

bool isKnownKind(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::QStringList:
    case QMetaType::QDateTime:
        return true;
    default:
        break;
    }
    if (value.metaType() != QMetaType::fromType<QJsonValue>()) {
        return false;
    }
    const QJsonValue json = value.value<QJsonValue>();
    return !json.isString() && !json.isBool() && !isStringArray(json);
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    return a.metaType() == b.metaType() && a == b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray bytes = input.remainingBytes();
    JsonShapeFeedback::noteShapeOf(bytes);
    const QString original = pathOf("com.tunesieve.blacklist.json");
    const QString copy = pathOf("copy.json");
    replaceFile(original, bytes);
    QFile::remove(copy);

    // The keys that stand in the file, found the plain way, and ours, which may not stand there.
    const QJsonDocument document = JsonText::parse(bytes);
    QStringList keys = document.object().keys() + storeKeys;
    keys.removeDuplicates();

    JsonPreferencesDomain domain(original);
    QVariantMap values;
    for (const QString& key : keys) {
        const QVariant value = domain.value(key);
        require(!value.isValid() || isKnownKind(value), "every value is of a known kind");
        values.insert(key, value);
    }
    if (!document.isObject()) {
        require(std::none_of(values.cbegin(), values.cend(), [](const QVariant& v) { return v.isValid(); }),
                "a file that is not an object reads as empty");
        require(contentsOf(original) == bytes, "reading leaves the file as it was");
        return 0;
    }

    JsonPreferencesDomain writer(copy);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        writer.setValue(it.key(), it.value());
    }
    JsonPreferencesDomain reader(copy);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        require(sameValue(reader.value(it.key()), it.value()), "every value reads back the same");
    }
    return 0;
}
