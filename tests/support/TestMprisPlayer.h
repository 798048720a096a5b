#pragma once

#include "PrivateBus.h"

#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>
#include <atomic>

// An MPRIS player of the test's own on a private bus: it owns "org.mpris.MediaPlayer2.<suffix>" on
// a connection of its own and answers from its own thread, so the test thread may block on calls
// to it. It serves Identity, PlaybackStatus, Metadata, any other property set, and Next(); it
// starts "Stopped" with no track, and announces every change of a property unless it is silent.
class TestMprisPlayer : private QDBusVirtualObject
{
public:
    TestMprisPlayer(const PrivateBus& bus, const QString& suffix,
                    const QString& identity = QStringLiteral("Test Player"));
    ~TestMprisPlayer() override;

    QString busName() const { return m_busName; }
    bool isRegistered() const { return m_registered; }

    // Metadata with xesam:artist as a list of texts and xesam:title.
    void setTrack(const QStringList& artists, const QString& title);
    void setPlaybackStatus(const QString& status) { setPlayerProperty(QStringLiteral("PlaybackStatus"), status); }
    // Any property of org.mpris.MediaPlayer2.Player, of any type: for players that send odd values.
    void setPlayerProperty(const QString& name, const QVariant& value);
    // A frozen player receives every call and answers none, until it thaws and answers them all late.
    void setFrozen(bool frozen);
    void setSilent(bool silent) { m_silent = silent; }
    // On Next(), the player announces its PlaybackStatus again at once (as some players do), and
    // `switchDelayMs` later plays the oldest queued track; with none queued it stays on its track.
    void queueTrack(const QStringList& artists, const QString& title);
    void setSwitchDelayMs(int delayMs) { m_switchDelayMs = delayMs; }

    // Every call received, as its method and the title playing then: "GetAll Hoot", "Next Hoot".
    QStringList calls() const;
    int nextCalls() const { return int(calls().filter(QRegularExpression(QStringLiteral("^Next "))).size()); }
    int nextCalls(const QString& title) const { return int(calls().count(QStringLiteral("Next ") + title)); }

private:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection&) override;
    void answer(const QDBusMessage& call);
    void announce(const QString& name, const QVariant& value);

    const QString m_busName;
    QDBusConnection m_connection;
    QThread m_thread; // where the bus delivers the calls
    bool m_registered = false;
    std::atomic<bool> m_silent = false;
    std::atomic<int> m_switchDelayMs = 0;
    mutable QMutex m_mutex;   // guards all below, which the player's thread and the test's share
    QVariantMap m_properties; // of both interfaces
    QStringList m_calls;
    QList<QDBusMessage> m_held;
    bool m_frozen = false;
    QList<std::pair<QStringList, QString>> m_queue;
};
