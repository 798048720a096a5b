#include "MprisPlayerEvents.h"

#include "MprisMetadata.h"
#include "MprisNames.h"
#include "player/PlayerScripts.h"

using namespace MprisNames;

namespace {

const QString propertiesChanged = QStringLiteral("PropertiesChanged");
// Qt turns a trailing '*' into an arg0namespace match, which takes a namespace without the final
// dot: "org.mpris.MediaPlayer2.*" would be a rule the bus refuses.
const QString playerNamespace = QStringLiteral("org.mpris.MediaPlayer2*");

const QString kMetadata = QStringLiteral("Metadata");

bool concernsTheTrack(const QStringList& properties)
{
    return properties.contains(kMetadata) || properties.contains(QStringLiteral("PlaybackStatus"));
}

// Whether the announced metadata names a track as a check would read it: an artist and a title.
bool isWholeTrack(const QVariant& announced)
{
    const std::optional<QVariantMap> track = MprisMetadata::dictionaryOf(announced);
    return track && PlayerScripts::parseTrackResult(MprisMetadata::trackAnswer(*track)).has_value();
}

} // namespace

MprisPlayerEvents::MprisPlayerEvents(QDBusConnection bus)
    : m_bus(std::move(bus)), m_playerNames(playerNamespace, m_bus, QDBusServiceWatcher::WatchForOwnerChange)
{
    if (!m_bus.isConnected()) {
        return;
    }
    // Any sender: players are told apart by what they announce, not by name. The match on the first
    // argument keeps other objects' property changes off this connection.
    m_bus.connect(QString(), objectPath, propertiesInterface, propertiesChanged, {playerInterface}, QString(), this,
                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    connect(&m_playerNames, &QDBusServiceWatcher::serviceOwnerChanged, this, &MprisPlayerEvents::onOwnerChanged);
}

MprisPlayerEvents::~MprisPlayerEvents()
{
    if (m_bus.isConnected()) {
        m_bus.disconnect(QString(), objectPath, propertiesInterface, propertiesChanged, {playerInterface}, QString(),
                         this, SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    }
}

void MprisPlayerEvents::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                            const QStringList& invalidated)
{
    if (interface != playerInterface) {
        return;
    }
    if (isWholeTrack(changed.value(kMetadata))) {
        emit trackAnnounced();
    } else if (concernsTheTrack(changed.keys()) || concernsTheTrack(invalidated)) {
        emit playersChanged();
    }
}

void MprisPlayerEvents::onOwnerChanged(const QString& name)
{
    // The namespace match also covers a name "org.mpris.MediaPlayer2" itself, which is no player.
    if (name.startsWith(playerPrefix)) {
        emit playersChanged();
    }
}
