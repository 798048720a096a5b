#pragma once

#include "PrivateBus.h"

#include <QDBusConnection>
#include <QList>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QVariant>
#include <atomic>
#include <memory>

// An MPRIS player of the test's own on a private bus: it owns "org.mpris.MediaPlayer2.<suffix>" on
// a connection of its own and answers from its own thread, so the test thread may block on calls
// to it. It serves org.mpris.MediaPlayer2 (Identity) and org.mpris.MediaPlayer2.Player
// (PlaybackStatus, Metadata, Next) through org.freedesktop.DBus.Properties Get and GetAll. It
// starts "Stopped" with no track; every change of a property emits PropertiesChanged, unless the
// player is silent.
class TestMprisPlayer
{
public:
    TestMprisPlayer(const PrivateBus& bus, const QString& suffix,
                    const QString& identity = QStringLiteral("Test Player"));
    ~TestMprisPlayer();
    TestMprisPlayer(const TestMprisPlayer&) = delete;
    TestMprisPlayer& operator=(const TestMprisPlayer&) = delete;

    QString busName() const { return m_busName; }
    // False when the bus name could not be taken.
    bool isRegistered() const { return m_registered; }

    // Metadata with xesam:artist as a list of texts and xesam:title.
    void setTrack(const QStringList& artists, const QString& title);
    // "Playing", "Paused" or "Stopped".
    void setPlaybackStatus(const QString& status);
    // Any property of org.mpris.MediaPlayer2.Player, of any type: for players that send odd values.
    void setPlayerProperty(const QString& name, const QVariant& value);
    // A frozen player receives every call and never answers one.
    void setFrozen(bool frozen);
    // On Next(), the player announces its PlaybackStatus again at once (as some players do), and
    // `switchDelayMs` later plays the oldest queued track; with none queued it stays on its track,
    // like a player on the last track of a playlist.
    void queueTrack(const QStringList& artists, const QString& title);
    void setSwitchDelayMs(int delayMs) { m_switchDelayMs = delayMs; }
    // A silent player changes its properties without announcing them, like players that never
    // send PropertiesChanged.
    void setSilent(bool silent) { m_silent = silent; }
    // How many times Next() was called: in all, or while the track had this title.
    int nextCalls() const;
    int nextCalls(const QString& title) const;
    // How many times a client read the metadata (Get or GetAll) while the track had this title.
    int metadataReads(const QString& title) const;

private:
    class Service;
    void announce(const QString& name, const QVariant& value);
    void moveOn();

    QString m_busName;
    QString m_connectionName;
    QDBusConnection m_connection;
    QThread m_thread;
    std::unique_ptr<Service> m_service;
    bool m_registered = false;
    bool m_silent = false;
    std::atomic<int> m_switchDelayMs{0};
    QMutex m_queueMutex;
    QList<std::pair<QStringList, QString>> m_queue;
};
