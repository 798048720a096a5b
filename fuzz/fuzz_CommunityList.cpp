// The body of a community list reply, whatever bytes the service (or someone in its place) sends.
//
// Properties:
// - the reply is taken exactly when it is a JSON object whose "artists" member is an array made
//   only of strings of valid Unicode, and its count is then the array's length;
// - what the store then keeps under "communityBlacklistedArtists" is exactly the set of received
//   names, lower-cased: one entry per canonically equivalent spelling, each the lower-casing of a
//   received name, in strictly ascending code-point order of their NFC forms;
// - every received name, in whatever letter case it came, is then on the community list.

#include "FuzzInput.h"
#include "JsonShapeFeedback.h"
#include "ScratchFolder.h"
#include "blacklist/BlacklistManager.h"
#include "blacklist/CommunityWireFormat.h"
#include "platform/JsonPreferencesDomain.h"
#include "platform/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace {

const QString communityKey = QStringLiteral("communityBlacklistedArtists");

QString preferencesPath()
{
    return scratchFolder() + QStringLiteral("/com.tunesieve.blacklist.json");
}

BlacklistManager& store()
{
    static BlacklistManager manager(std::make_unique<JsonPreferencesDomain>(preferencesPath()));
    return manager;
}

// The names of a well-formed reply, read the plain way; nothing for any other body.
std::optional<QStringList> namesOf(const QByteArray& body)
{
    const QJsonDocument document = JsonText::parse(body);
    const QJsonValue artists = document.object().value(QLatin1String("artists"));
    if (!document.isObject() || !artists.isArray()) {
        return std::nullopt;
    }
    QStringList names;
    for (const QJsonValue& name : artists.toArray()) {
        if (!name.isString() || !name.toString().isValidUtf16()) {
            return std::nullopt;
        }
        names.append(name.toString());
    }
    return names;
}

QString nfc(const QString& name)
{
    return name.normalized(QString::NormalizationForm_C);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray body = input.remainingBytes();
    JsonShapeFeedback::noteShapeOf(body);
    const auto list = CommunityWireFormat::readList(body);
    const auto names = namesOf(body);
    require(list.has_value() == names.has_value(), "a reply is taken exactly when it is well formed");
    if (!list) {
        return 0;
    }
    require(list->count == names->size(), "the count is the number of names received");

    store().setCommunityArtists(list->artists);
    const QStringList stored =
        JsonPreferencesDomain(preferencesPath()).stringArray(communityKey).value_or(QStringList{QStringLiteral("-")});

    QSet<QString> lowerCased;
    QSet<QString> lowerCasedKeys;
    for (const QString& name : *names) {
        lowerCased.insert(name.toLower());
        lowerCasedKeys.insert(nfc(name.toLower()));
    }
    QSet<QString> storedKeys;
    for (const QString& name : stored) {
        require(lowerCased.contains(name), "every stored name is a received name, lower-cased");
        storedKeys.insert(nfc(name));
    }
    require(storedKeys == lowerCasedKeys, "every received name is stored");
    require(storedKeys.size() == stored.size(), "one entry per equivalent spelling");
    const bool ascending =
        std::adjacent_find(stored.cbegin(), stored.cend(), [](const QString& a, const QString& b) {
            const QList<uint> left = nfc(a).toUcs4();
            const QList<uint> right = nfc(b).toUcs4();
            return !std::lexicographical_compare(left.cbegin(), left.cend(), right.cbegin(), right.cend());
        }) == stored.cend();
    require(ascending, "stored in strictly ascending code-point order");
    for (const QString& name : *names) {
        require(store().isInCommunityBlacklist(name), "every received name is on the community list");
    }
    return 0;
}
