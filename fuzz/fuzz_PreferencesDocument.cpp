// The preferences file as a user or another program may have left it: any bytes at all.
//
// Properties:
// - every value reads as one of the kinds the domain knows: a string, a boolean, an array made only
//   of strings, a date, or any other JSON value kept as it is (never a string, boolean or array of
//   strings in disguise);
// - written into a new file and read back, every value is exactly the same, of the same kind;
// - a file that is not a JSON object reads as empty, and reading leaves it byte for byte as it was.

#include "platform/JsonPreferencesDomain.h"
#include "platform/JsonText.h"

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>

// Qt's JSON parser is not instrumented, so libFuzzer cannot see which ways through it an input takes
// and would keep hardly any JSON. These counters stand in: which kind of value stands under which
// member name.
static uint8_t jsonShapes[4096] __attribute__((used, section("__libfuzzer_extra_counters")));

static bool isKnownKind(const QVariant& value)
{
    const QList<int> typed{QMetaType::UnknownType, QMetaType::QString, QMetaType::Bool, QMetaType::QStringList,
                           QMetaType::QDateTime};
    const QJsonValue json = value.value<QJsonValue>();
    const QJsonArray array = json.toArray();
    const bool strings = std::all_of(array.begin(), array.end(), [](const QJsonValue& v) { return v.isString(); });
    return typed.contains(value.typeId()) || (value.metaType() == QMetaType::fromType<QJsonValue>() &&
                                              !json.isString() && !json.isBool() && !(json.isArray() && strings));
}

static void require(bool holds, const char* property)
{
    if (!holds) {
        qFatal("property does not hold: %s", property);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // In memory where the machine has that: the domain syncs every file it writes.
    static const QTemporaryDir folder((QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath()) + "/fuzz-XXXXXX");
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QJsonDocument document = JsonText::parse(bytes);
    QFile file(folder.filePath("original.json"));
    require(file.open(QIODevice::ReadWrite | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush(),
            "the file is written");
    QFile::remove(folder.filePath("copy.json"));

    JsonPreferencesDomain original(file.fileName()), copy(folder.filePath("copy.json"));
    // The keys that stand in the file, found the plain way, and one of the store's, which may not.
    const QStringList keys = document.object().keys() << "localBlacklistedArtists";
    for (const QString& key : keys) {
        ++jsonShapes[(qHash(key) * 8 + uint(document[key].type())) % sizeof jsonShapes];
        require(isKnownKind(original.value(key)), "every value is of a known kind");
        require(document.isObject() || !original.value(key).isValid(), "a file that is no object reads as empty");
        copy.setValue(key, original.value(key));
    }
    copy.waitUntilSaved();
    JsonPreferencesDomain reader(copy.path());
    for (const QString& key : keys) {
        // Values of different types never compare equal.
        require(reader.value(key) == original.value(key), "every value reads back the same");
    }
    require(file.seek(0) && file.readAll() == bytes, "reading leaves the file as it was");
    return 0;
}
