#pragma once

#include "player/PlayerEvents.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QStringList>
#include <QVariantMap>

// Reports when an MPRIS player on a bus announces a new track (Metadata) or a new playback state
// (PlaybackStatus), and when a player's name appears or goes; a track announced with its artist and
// title is reported apart, as it can be read at once. The bus filters for us: only PropertiesChanged
// of the player interface and owner changes of MPRIS names ever reach this process, so a paused or
// absent player costs nothing. Other changes (volume, rate) are not reported. Without a bus it never
// reports; nothing here waits for the bus.
class MprisPlayerEvents : public PlayerEvents
{
    Q_OBJECT

public:
    explicit MprisPlayerEvents(QDBusConnection bus = QDBusConnection::sessionBus());
    ~MprisPlayerEvents() override;

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void onOwnerChanged(const QString& name);

private:
    QDBusConnection m_bus;
    QDBusServiceWatcher m_playerNames;
};
