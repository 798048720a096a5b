#include "platform/linux/DBusNotifier.h"
#include "player/MusicController.h"
#include "player/PlayerEvents.h"
#include "player/linux/MprisMetadata.h"
#include "player/linux/MprisScriptRunner.h"
#include "support/TestMprisPlayer.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QSignalSpy>
#include <QTest>
#include <thread>

using Players = std::vector<std::unique_ptr<TestMprisPlayer>>;

// The desktop's notification server: it records each Notify.
class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities, received;
public slots:
    QStringList GetCapabilities() { return capabilities; }
    void Notify(QString app, uint, QString, QString title, QString body, QStringList, QVariantMap, int timeout)
    {
        received << QStringList{app, title, body, QString::number(timeout)}.join(u'|');
    }
};

// The agent on a Linux desktop's session bus, here a private one: the player bridge (MusicController
// over the MPRIS engine) with test players, the agent's player events, and the notifier.
class TestDesktopBus : public QObject
{
    Q_OBJECT
    PrivateBus m_bus;
    int m_markers = 0;

    // Each "name[/status[/identity]]" plays, or not, the track "T" by an artist called as the player.
    Players start(const QStringList& players)
    {
        Players started;
        for (const QString& player : players) {
            QStringList part = player.split(u'/') + QStringList{"Playing", "Test Player"}.mid(player.count(u'/'));
            started.push_back(std::make_unique<TestMprisPlayer>(m_bus, part[0], part[2]));
            started.back()->setTrack({part[0]}, "T");
            started.back()->setPlaybackStatus(part[1]);
        }
        return started;
    }

    static QString read(MusicController& bridge)
    {
        const auto found = bridge.getCurrentTrack();
        return found ? MusicController::rawValue(found->app) + ": " + found->artist + "|||" + found->track : "none";
    }

private slots:
    void findsThePlayerOfEachApp_data()
    {
        QTest::addColumn<QStringList>("players");
        QTest::addColumn<QString>("found");
        QTest::newRow("none") << QStringList() << "none";
        QTest::newRow("Music: any other") << QStringList{"vlc"} << "Music: vlc|||T";
        QTest::newRow("Spotify: exact name") << QStringList{"spotifyd", "spotify/Paused"} << "Music: spotifyd|||T";
        QTest::newRow("Spotify first") << QStringList{"deezer", "vlc", "spotify"} << "Spotify: spotify|||T";
        QTest::newRow("Deezer: prefix in any case") << QStringList{"DEEZER.i1", "vlc"} << "Deezer: DEEZER.i1|||T";
        QTest::newRow("Deezer: identity") << QStringList{"web.i7/Playing/Deezer", "vlc"} << "Deezer: web.i7|||T";
        QTest::newRow("Music: name order") << QStringList{"zz", "bb", "aa/Paused"} << "Music: bb|||T";
    }

    void findsThePlayerOfEachApp()
    {
        QFETCH(QStringList, players);
        const Players running = start(players);
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        QTEST(read(bridge), "found");
    }

    void joinsTheArtistsOfTheMetadata_data()
    {
        QTest::addColumn<QVariant>("artist");
        QTest::addColumn<QString>("answer");
        QTest::newRow("list") << QVariant(QStringList{"Ana", "", "Cy"}) << "Ana, , Cy|||T";
        QTest::newRow("text") << QVariant("Ana") << "Ana|||T";
        QTest::newRow("number") << QVariant(42) << "|||T";
    }

    void joinsTheArtistsOfTheMetadata()
    {
        QFETCH(QVariant, artist);
        QTEST(MprisMetadata::trackAnswer({{"xesam:artist", artist}, {"xesam:title", "T"}}), "answer");
    }

    void skipsOnlyThePlayerThatAnswered()
    {
        const Players players = start({"aa/Paused", "bb"});
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        QCOMPARE(read(bridge), "Music: bb|||T");
        bridge.skipTrack();
        players[1]->setPlaybackStatus("Paused");
        QCOMPARE(read(bridge), "none");
        bridge.skipTrack(); // nothing plays: nothing to skip
        QCOMPARE(players[0]->nextCalls(), 0);
        QCOMPARE(players[1]->nextCalls(), 1);
    }

    void passesOverAHungPlayerUntilItRestarts()
    {
        Players players = start({"spotify", "vlc"});
        players[0]->setFrozen(true);
        // It answers 3 s later, long after the bridge gave up on it.
        std::thread thaw([&] {
            QThread::sleep(3);
            players[0]->setFrozen(false);
        });
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        QCOMPARE(read(bridge), "Music: vlc|||T");
        thaw.join();
        QCOMPARE(read(bridge), "Music: vlc|||T");
        QCOMPARE(players[0]->calls().size(), 1);
        players[0].reset();
        players[0] = std::move(start({"spotify"})[0]); // a new connection under the same name
        QCOMPARE(read(bridge), "Spotify: spotify|||T");
    }

    void announcesChangesOfTrackStateAndPlayers_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("reports");
        QTest::newRow("track") << "org.mpris.MediaPlayer2.Player Metadata" << 1;
        QTest::newRow("state") << "org.mpris.MediaPlayer2.Player PlaybackStatus" << 1;
        QTest::newRow("volume") << "org.mpris.MediaPlayer2.Player Volume" << 0;
        QTest::newRow("other interface") << "org.mpris.MediaPlayer2 Metadata" << 0;
        QTest::newRow("player comes and goes") << "org.mpris.MediaPlayer2.vlc" << 2;
        QTest::newRow("other name") << "org.mpris.MediaPlayer2Other" << 0;
    }

    void announcesChangesOfTrackStateAndPlayers()
    {
        QFETCH(QString, change);
        const QStringList word = change.split(u' ');
        const auto events = createPlayerEvents(); // the agent's own
        QSignalSpy reports(events.get(), &PlayerEvents::playersChanged);
        const QString marker = "marker.n" + QString::number(++m_markers);
        QDBusServiceWatcher markerWatch(marker, QDBusConnection::sessionBus());
        QSignalSpy markerSeen(&markerWatch, &QDBusServiceWatcher::serviceRegistered);
        // Answered once the bus has taken our wishes to listen, which went before.
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(marker));
        QDBusConnection sender = m_bus.connect(QTest::currentDataTag());
        auto signal = QDBusMessage::createSignal("/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
                                                 "PropertiesChanged");
        QVERIFY(word.size() == 1 ? sender.registerService(change) && sender.unregisterService(change)
                                 : sender.send(signal << word[0] << QVariantMap{{word[1], 1}} << QStringList()));
        // The bus tells of one sender's messages in order: once the marker is heard, all before it are.
        QVERIFY(sender.registerService(marker));
        QTRY_COMPARE(markerSeen.size(), 1);
        QTEST(int(reports.size()), "reports");
        QDBusConnection::disconnectFromBus(sender.name());
    }

    void notifiesTheDesktop_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("received");
        QTest::newRow("plain text") << QStringList{"body"} << "TuneSieve|A & <b>|1 < 2 & 3 > 0|-1";
        QTest::newRow("markup") << QStringList{"body-markup"} << "TuneSieve|A & <b>|1 &lt; 2 &amp; 3 &gt; 0|-1";
    }

    void notifiesTheDesktop()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, received);
        NotificationServer server;
        server.capabilities = capabilities;
        QDBusConnection desktop = m_bus.connect(QTest::currentDataTag());
        QVERIFY(desktop.registerObject("/org/freedesktop/Notifications", &server, QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.registerService("org.freedesktop.Notifications"));
        DBusNotifier notifier;
        notifier.show("A & <b>", "1 < 2 & 3 > 0");
        QTRY_COMPARE(server.received, QStringList{received});
        QDBusConnection::disconnectFromBus(desktop.name());
    }
};

QTEST_GUILESS_MAIN(TestDesktopBus)
#include "tst_DesktopBus.moc"
