#include "FlagDesk.h"

#include "ArtistEntry.h"
#include "NetworkPrefix.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

constexpr qsizetype maxDeviceIdLength = 128;

bool isPrintableAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](QChar unit) { return unit.unicode() > 0x20 && unit.unicode() < 0x7F; });
}

} // namespace

FlagDesk::FlagDesk(CommunityStore& store, const KeyedHasher& hasher, CommunityStore::Limits limits,
                   std::int64_t threshold, Metrics& metrics, std::function<void()> listChanged)
    : m_store(store), m_hasher(hasher), m_limits(limits), m_threshold(threshold), m_metrics(metrics),
      m_listChanged(std::move(listChanged))
{}

HttpAnswer FlagDesk::flag(std::string_view body, const std::string& clientAddress, std::int64_t now)
{
    HttpAnswer answer = take(body, clientAddress, now);
    if (answer.status != 200) {
        m_metrics.observeFlag(Metrics::FlagOutcome::refused);
    }
    return answer;
}

HttpAnswer FlagDesk::take(std::string_view body, const std::string& clientAddress, std::int64_t now)
{
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), qsizetype(body.size())), &error);
    const QJsonObject object = document.object();
    const QJsonValue artist = object.value(QLatin1String("artist"));
    const QJsonValue deviceId = object.value(QLatin1String("device_id"));
    if (error.error != QJsonParseError::NoError || !document.isObject() || !artist.isString() || !deviceId.isString()) {
        return HttpAnswer::refusal(400, "the body must be a JSON object with the texts artist and device_id");
    }
    const QString device = deviceId.toString();
    if (device.isEmpty() || device.size() > maxDeviceIdLength || !isPrintableAscii(device)) {
        return HttpAnswer::refusal(400, "the device_id must be 1 to 128 printable ASCII characters");
    }
    QString refusal;
    const std::optional<ArtistEntry> entry = ArtistEntry::from(artist.toString(), &refusal);
    if (!entry) {
        return HttpAnswer::refusal(400, refusal.toStdString());
    }
    const std::optional<std::string> network = networkPrefix(clientAddress);
    if (!network) {
        return HttpAnswer::refusal(400, "the client address is not an IP address");
    }
    const CommunityStore::FlagResult result =
        m_store.addFlag({entry->key, entry->name, m_hasher.deviceHash(device), m_hasher.networkHash(*network), now},
                        m_limits, m_threshold);
    if (result.outcome == CommunityStore::Outcome::deviceLimited) {
        return HttpAnswer::refusal(429, "too many flags from this device in the last hour");
    }
    if (result.outcome == CommunityStore::Outcome::networkLimited) {
        return HttpAnswer::refusal(429, "too many flags from this network in the last hour");
    }
    m_metrics.observeFlag(result.outcome == CommunityStore::Outcome::counted ? Metrics::FlagOutcome::counted
                                                                             : Metrics::FlagOutcome::repeated);
    if (result.listed) {
        m_listChanged();
    }
    return HttpAnswer::json(200, R"({"success":true})");
}
