#include "TestMprisPlayer.h"

#include <QDBusVariant>
#include <QTimer>

namespace {
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
} // namespace

TestMprisPlayer::TestMprisPlayer(const PrivateBus& bus, const QString& suffix, const QString& identity)
    : m_busName(QStringLiteral("org.mpris.MediaPlayer2.") + suffix),
      m_connection(bus.connect(m_busName + u'@' + QString::number(quintptr(this)))),
      m_properties{{"Identity", identity}, {"PlaybackStatus", "Stopped"}, {"Metadata", QVariantMap()}}
{
    m_thread.start();
    moveToThread(&m_thread);
    m_registered = m_connection.registerVirtualObject(kPath, this) && m_connection.registerService(m_busName);
}

TestMprisPlayer::~TestMprisPlayer()
{
    m_connection.unregisterService(m_busName); // at once, for a player that restarts under the same name
    QDBusConnection::disconnectFromBus(m_connection.name());
    m_thread.quit();
    m_thread.wait();
}

bool TestMprisPlayer::handleMessage(const QDBusMessage& call, const QDBusConnection&)
{
    QMutexLocker lock(&m_mutex);
    m_calls.append(call.member() + u' ' + m_properties["Metadata"].toMap().value("xesam:title").toString());
    if (m_frozen) {
        m_held.append(call); // its caller waits for an answer that comes when the player thaws
    } else {
        answer(call);
    }
    return true;
}

// Called with the lock held.
void TestMprisPlayer::answer(const QDBusMessage& call)
{
    const QString name = call.arguments().value(1).toString();
    if (call.member() == QStringLiteral("Next")) {
        m_connection.send(call.createReply());
        announce(QStringLiteral("PlaybackStatus"), QStringLiteral("Playing"));
        if (!m_queue.isEmpty()) {
            const auto [artists, title] = m_queue.takeFirst();
            QTimer::singleShot(m_switchDelayMs.load(), this, [=] { setTrack(artists, title); });
        }
    } else if (call.member() == QStringLiteral("GetAll")) {
        m_connection.send(call.createReply(m_properties));
    } else if (m_properties.contains(name)) {
        m_connection.send(call.createReply(QVariant::fromValue(QDBusVariant(m_properties.value(name)))));
    } else {
        m_connection.send(call.createErrorReply(QDBusError::InvalidArgs, name));
    }
}

void TestMprisPlayer::setTrack(const QStringList& artists, const QString& title)
{
    setPlayerProperty(QStringLiteral("Metadata"), QVariantMap{{"xesam:artist", artists}, {"xesam:title", title}});
}

void TestMprisPlayer::setPlayerProperty(const QString& name, const QVariant& value)
{
    QMutexLocker lock(&m_mutex);
    if (std::exchange(m_properties[name], value) != value) {
        announce(name, value);
    }
}

void TestMprisPlayer::announce(const QString& name, const QVariant& value)
{
    QDBusMessage changed = QDBusMessage::createSignal(kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    if (!m_silent) {
        m_connection.send(changed << kPlayer << QVariantMap{{name, value}} << QStringList());
    }
}

void TestMprisPlayer::setFrozen(bool frozen)
{
    QMutexLocker lock(&m_mutex);
    m_frozen = frozen;
    while (!frozen && !m_held.isEmpty()) {
        answer(m_held.takeFirst());
    }
}

void TestMprisPlayer::queueTrack(const QStringList& artists, const QString& title)
{
    QMutexLocker lock(&m_mutex);
    m_queue.append({artists, title});
}

QStringList TestMprisPlayer::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}
