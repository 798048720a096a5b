#include "TestMprisPlayer.h"

#include <QAtomicInt>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QMutexLocker>
#include <QTimer>

namespace {
const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QString newConnectionName()
{
    static QAtomicInt count;
    return QStringLiteral("TestMprisPlayer-%1").arg(count.fetchAndAddRelaxed(1));
}
} // namespace

// Lives in the player's own thread, where the bus delivers its calls. The state is shared with the
// test thread, which changes it.
class TestMprisPlayer::Service : public QDBusVirtualObject
{
public:
    Service(const QString& identity, std::function<void()> onNext) : m_identity(identity), m_onNext(std::move(onNext))
    {
        m_properties.insert(QStringLiteral("PlaybackStatus"), QStringLiteral("Stopped"));
        m_properties.insert(QStringLiteral("Metadata"), QVariantMap());
        // Tools such as playerctl only read players that say they can be controlled and played.
        for (const char* capability : {"CanControl", "CanPlay", "CanPause", "CanGoNext"}) {
            m_properties.insert(QString::fromUtf8(capability), true);
        }
    }

    // True when the value changed.
    bool setProperty(const QString& name, const QVariant& value)
    {
        QMutexLocker lock(&m_mutex);
        if (m_properties.value(name) == value) {
            return false;
        }
        m_properties.insert(name, value);
        return true;
    }

    void setFrozen(bool frozen) { m_frozen.storeRelaxed(frozen); }
    int nextCalls() const { return m_nextCalls.loadRelaxed(); }
    int nextCalls(const QString& title) const
    {
        QMutexLocker lock(&m_mutex);
        return m_nextCallsByTitle.value(title);
    }
    int metadataReads(const QString& title) const
    {
        QMutexLocker lock(&m_mutex);
        return m_metadataReads.value(title);
    }

    QString introspect(const QString&) const override
    {
        return QStringLiteral("<interface name=\"org.mpris.MediaPlayer2\">"
                              "<property name=\"Identity\" type=\"s\" access=\"read\"/></interface>"
                              "<interface name=\"org.mpris.MediaPlayer2.Player\">"
                              "<method name=\"Next\"/>"
                              "<property name=\"PlaybackStatus\" type=\"s\" access=\"read\"/>"
                              "<property name=\"Metadata\" type=\"a{sv}\" access=\"read\"/>"
                              "<property name=\"CanControl\" type=\"b\" access=\"read\"/>"
                              "<property name=\"CanPlay\" type=\"b\" access=\"read\"/>"
                              "<property name=\"CanPause\" type=\"b\" access=\"read\"/>"
                              "<property name=\"CanGoNext\" type=\"b\" access=\"read\"/></interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (m_frozen.loadRelaxed()) {
            return true; // swallowed: the caller waits for an answer that never comes
        }
        if (message.interface() == playerInterface && message.member() == QStringLiteral("Next")) {
            {
                QMutexLocker lock(&m_mutex);
                ++m_nextCallsByTitle[currentTitle()];
            }
            m_nextCalls.fetchAndAddRelaxed(1);
            const bool sent = connection.send(message.createReply());
            m_onNext();
            return sent;
        }
        if (message.interface() != propertiesInterface) {
            return false; // introspection is Qt's
        }
        const QString name = message.arguments().value(1).toString();
        const bool all = message.member() == QStringLiteral("GetAll");
        const QVariantMap properties =
            propertiesOf(message.arguments().value(0).toString(), all || name == QStringLiteral("Metadata"));
        if (all) {
            return connection.send(message.createReply(QVariant(properties)));
        }
        if (message.member() == QStringLiteral("Get") && properties.contains(name)) {
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(properties.value(name)))));
        }
        return connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                                        QStringLiteral("No such property")));
    }

private:
    // Counted under the same lock as the read, so that every read is of the track it counts for.
    QVariantMap propertiesOf(const QString& interface, bool readsMetadata)
    {
        if (interface == rootInterface) {
            return {{QStringLiteral("Identity"), m_identity}};
        }
        if (interface != playerInterface) {
            return {};
        }
        QMutexLocker lock(&m_mutex);
        if (readsMetadata) {
            ++m_metadataReads[currentTitle()];
        }
        return m_properties;
    }

    // Called with the lock held.
    QString currentTitle() const
    {
        return m_properties.value(QStringLiteral("Metadata")).toMap().value(QStringLiteral("xesam:title")).toString();
    }

    const QString m_identity;
    const std::function<void()> m_onNext;
    mutable QMutex m_mutex;
    QVariantMap m_properties;
    QHash<QString, int> m_metadataReads;
    QHash<QString, int> m_nextCallsByTitle;
    QAtomicInt m_frozen{0};
    QAtomicInt m_nextCalls{0};
};

TestMprisPlayer::TestMprisPlayer(const PrivateBus& bus, const QString& suffix, const QString& identity)
    : m_busName(QStringLiteral("org.mpris.MediaPlayer2.") + suffix), m_connectionName(newConnectionName()),
      m_connection(bus.connect(m_connectionName)), m_service(std::make_unique<Service>(identity, [this] { moveOn(); }))
{
    m_thread.start();
    m_service->moveToThread(&m_thread);
    m_registered =
        m_connection.registerVirtualObject(objectPath, m_service.get()) && m_connection.registerService(m_busName);
}

TestMprisPlayer::~TestMprisPlayer()
{
    m_connection.unregisterService(m_busName);
    m_connection.unregisterObject(objectPath);
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_thread.quit();
    m_thread.wait();
}

void TestMprisPlayer::setTrack(const QStringList& artists, const QString& title)
{
    setPlayerProperty(QStringLiteral("Metadata"),
                      QVariantMap{{QStringLiteral("xesam:artist"), artists}, {QStringLiteral("xesam:title"), title}});
}

void TestMprisPlayer::setPlaybackStatus(const QString& status)
{
    setPlayerProperty(QStringLiteral("PlaybackStatus"), status);
}

void TestMprisPlayer::setPlayerProperty(const QString& name, const QVariant& value)
{
    if (m_service->setProperty(name, value) && !m_silent) {
        announce(name, value);
    }
}

void TestMprisPlayer::announce(const QString& name, const QVariant& value)
{
    QDBusMessage changed =
        QDBusMessage::createSignal(objectPath, propertiesInterface, QStringLiteral("PropertiesChanged"));
    changed << playerInterface << QVariantMap{{name, value}} << QStringList();
    m_connection.send(changed);
}

void TestMprisPlayer::queueTrack(const QStringList& artists, const QString& title)
{
    QMutexLocker lock(&m_queueMutex);
    m_queue.append({artists, title});
}

// Runs in the player's thread, right after it answered Next().
void TestMprisPlayer::moveOn()
{
    if (!m_silent) {
        announce(QStringLiteral("PlaybackStatus"), QStringLiteral("Playing"));
    }
    QMutexLocker lock(&m_queueMutex);
    if (m_queue.isEmpty()) {
        return;
    }
    const auto [artists, title] = m_queue.takeFirst();
    QTimer::singleShot(m_switchDelayMs.load(), m_service.get(),
                       [this, artists = artists, title = title] { setTrack(artists, title); });
}

void TestMprisPlayer::setFrozen(bool frozen)
{
    m_service->setFrozen(frozen);
}

int TestMprisPlayer::nextCalls() const
{
    return m_service->nextCalls();
}

int TestMprisPlayer::nextCalls(const QString& title) const
{
    return m_service->nextCalls(title);
}

int TestMprisPlayer::metadataReads(const QString& title) const
{
    return m_service->metadataReads(title);
}
