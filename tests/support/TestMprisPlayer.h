#pragma once

#include "player/MusicController.h"

#include <QtDBus>
#include <atomic>

// A private D-Bus session bus for one test process. Starting it points DBUS_SESSION_BUS_ADDRESS at
// it, so that QDBusConnection::sessionBus() in the code under test uses it; start it before
// anything touches the session bus. The machine's own bus is never used.
class PrivateBus
{
public:
    PrivateBus()
    {
        m_daemon.start("dbus-daemon",
                       {"--config-file=" TUNESIEVE_TEST_DATA_DIR "/session.conf", "--nofork", "--print-address=1"});
        m_address = m_daemon.waitForReadyRead() ? QString::fromUtf8(m_daemon.readLine()).trimmed() : QString();
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    }
    ~PrivateBus() { m_daemon.close(); } // kills it

    bool isRunning() const { return !m_address.isEmpty(); }
    // A new connection of the test's own on this bus (a second client, e.g. a test player).
    QDBusConnection connect(const QString& name) const { return QDBusConnection::connectToBus(m_address, name); }

private:
    QProcess m_daemon;
    QString m_address;
};

// An MPRIS player of the test's own on a private bus: it owns "org.mpris.MediaPlayer2.<suffix>" on
// a connection of its own and answers from its own thread, so the test thread may block on calls
// to it. It serves Identity, PlaybackStatus, Metadata, any other property set, and Next(); it
// starts "Stopped" with no track, and announces every change of a property.
class TestMprisPlayer : private QDBusVirtualObject
{
public:
    TestMprisPlayer(const PrivateBus& bus, const QString& suffix, const QString& identity = "Test Player")
        : m_busName("org.mpris.MediaPlayer2." + suffix),
          m_connection(bus.connect(m_busName + u'@' + QString::number(quintptr(this)))),
          m_properties{{"Identity", identity}, {"PlaybackStatus", "Stopped"}, {"Metadata", QVariantMap()}}
    {
        m_thread.start();
        moveToThread(&m_thread);
        m_registered = m_connection.registerVirtualObject(kPath, this) && m_connection.registerService(m_busName);
    }
    ~TestMprisPlayer() override
    {
        m_connection.unregisterService(m_busName); // at once, for a player that restarts under the same name
        QDBusConnection::disconnectFromBus(m_connection.name());
        m_thread.quit();
        m_thread.wait();
    }

    bool isRegistered() const { return m_registered; }
    // Metadata with xesam:artist as a list of texts and xesam:title.
    void setTrack(const QStringList& artists, const QString& title)
    {
        setPlayerProperty("Metadata", QVariantMap{{"xesam:artist", artists}, {"xesam:title", title}});
    }
    void setPlaybackStatus(const QString& status) { setPlayerProperty("PlaybackStatus", status); }
    // Any property of org.mpris.MediaPlayer2.Player, of any type.
    void setPlayerProperty(const QString& name, const QVariant& value)
    {
        QMutexLocker lock(&m_mutex);
        if (std::exchange(m_properties[name], value) != value) {
            announce(name, value);
        }
    }
    // A hung player answers each call this late, long after its caller gave up.
    void setAnswerDelayMs(int delayMs) { m_answerDelayMs = delayMs; }
    // On Next(), the player announces its PlaybackStatus again at once (as some players do), and
    // `switchDelayMs` later plays the oldest queued track; with none queued it stays on its track.
    void queueTrack(const QStringList& artists, const QString& title)
    {
        QMutexLocker lock(&m_mutex);
        m_queue.append({artists, title});
    }
    void setSwitchDelayMs(int delayMs) { m_switchDelayMs = delayMs; }

    // Every call received, as its method and the title playing then: "GetAll Hoot", "Next Hoot".
    QStringList calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    int nextCalls() const { return int(calls().filter(QRegularExpression("^Next ")).size()); }
    int nextCalls(const QString& title) const { return int(calls().count("Next " + title)); }

private:
    inline static const QString kPath = "/org/mpris/MediaPlayer2";

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection&) override
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append(call.member() + u' ' + m_properties["Metadata"].toMap().value("xesam:title").toString());
        QTimer::singleShot(m_answerDelayMs.load(), this, [this, call] { answer(call); });
        return true;
    }
    void answer(const QDBusMessage& call)
    {
        QMutexLocker lock(&m_mutex);
        const QString name = call.arguments().value(1).toString();
        if (call.member() == "Next") {
            m_connection.send(call.createReply());
            announce("PlaybackStatus", "Playing");
            if (!m_queue.isEmpty()) {
                const auto next = m_queue.takeFirst();
                QTimer::singleShot(m_switchDelayMs.load(), this, [=] { setTrack(next.first, next.second); });
            }
        } else if (call.member() == "GetAll") {
            m_connection.send(call.createReply(m_properties));
        } else {
            m_connection.send(m_properties.contains(name)
                                  ? call.createReply(QVariant::fromValue(QDBusVariant(m_properties.value(name))))
                                  : call.createErrorReply(QDBusError::InvalidArgs, name));
        }
    }
    void announce(const QString& name, const QVariant& value)
    {
        auto changed = QDBusMessage::createSignal(kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
        m_connection.send(changed << "org.mpris.MediaPlayer2.Player" << QVariantMap{{name, value}} << QStringList());
    }

    const QString m_busName;
    QDBusConnection m_connection;
    QThread m_thread; // where the bus delivers the calls
    bool m_registered = false;
    std::atomic<int> m_answerDelayMs = 0, m_switchDelayMs = 0;
    mutable QMutex m_mutex;   // guards all below, which the player's thread and the test's share
    QVariantMap m_properties; // of both interfaces
    QStringList m_calls;
    QList<std::pair<QStringList, QString>> m_queue;
};

// What the bridge finds playing now: the MPRIS engine answers within the call.
inline std::optional<NowPlaying> currentTrack(MusicController& bridge)
{
    std::optional<NowPlaying> found;
    bridge.getCurrentTrack([&](const std::optional<NowPlaying>& nowPlaying) { found = nowPlaying; });
    return found;
}
