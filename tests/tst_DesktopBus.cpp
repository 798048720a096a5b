#include "platform/linux/DBusNotifier.h"
#include "player/PlayerEvents.h"
#include "player/linux/MprisScriptRunner.h"
#include "support/DelegateHarness.h"
#include "support/StdoutCapture.h"
#include "support/TestMprisPlayer.h"

#include <QtTest>

using Players = std::vector<std::unique_ptr<TestMprisPlayer>>;

// The agent on a Linux desktop's session bus, here a private one: the player bridge (MusicController
// over the MPRIS engine) with test players, the agent's player events, and the notifier. The test is
// also the desktop's notification server: it shows markup, and records each Notify.
class TestDesktopBus : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
    PrivateBus m_bus;
    QStringList m_notified;

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

    static QString text(const std::optional<NowPlaying>& found)
    {
        return found ? MusicController::rawValue(found->app) + ": " + found->artist + "|||" + found->track : "none";
    }

public slots:
    QStringList GetCapabilities() { return {"body-markup"}; }
    void Notify(QString app, uint, QString, QString title, QString body, QStringList, QVariantMap, int timeout)
    {
        m_notified << QStringList{app, title, body, QString::number(timeout)}.join(u'|');
    }

private slots:
    void findsThePlayerOfEachApp_data()
    {
        QTest::addColumn<QStringList>("players");
        QTest::addColumn<QString>("found");
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
        QTEST(text(currentTrack(bridge)), "found");
    }

    // Spotify hangs: it answers 3 s late, then at once. Two other players, one paused.
    void skipsThePlayerThatAnsweredAndPassesOverAHungOne()
    {
        Players players = start({"aa/Paused", "bb", "spotify"});
        players[1]->setTrack({"Ana", "", "Cy"}, "T");
        players[2]->setAnswerDelayMs(3000);
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        QCOMPARE(text(currentTrack(bridge)), "Music: Ana, Cy|||T");
        bridge.skipTrack();
        players[1]->setPlaybackStatus("Paused");
        players[2]->setAnswerDelayMs(0); // passed over all the same
        QCOMPARE(text(currentTrack(bridge)), "none");
        bridge.skipTrack(); // nothing plays: nothing to skip
        QCOMPARE((QList<int>{players[0]->nextCalls(), players[1]->nextCalls()}), (QList<int>{0, 1}));
        players[2].reset();
        players[2] = std::move(start({"spotify"})[0]); // a new connection under the same name
        QCOMPARE(text(currentTrack(bridge)), "Spotify: spotify|||T");
    }

    void announcesChangesOfTrackStateAndPlayers_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QList<int>>("reports"); // changes to check soon, whole tracks to check at once
        const QString track = "org.mpris.MediaPlayer2.Player Metadata";
        const QVariantMap whole{{"xesam:artist", QStringList{"A"}}, {"xesam:title", "T"}};
        QTest::newRow("whole track") << track << QVariant(whole) << QList<int>{0, 1};
        QTest::newRow("no artist") << track << QVariant(QVariantMap{{"xesam:title", "t.flac"}}) << QList<int>{1, 0};
        QTest::newRow("no dictionary") << track << QVariant(1) << QList<int>{1, 0};
        QTest::newRow("state") << "org.mpris.MediaPlayer2.Player PlaybackStatus" << QVariant(1) << QList<int>{1, 0};
        QTest::newRow("volume") << "org.mpris.MediaPlayer2.Player Volume" << QVariant(1) << QList<int>{0, 0};
        QTest::newRow("player comes and goes") << "org.mpris.MediaPlayer2.vlc" << QVariant() << QList<int>{2, 0};
        QTest::newRow("the bare prefix") << "org.mpris.MediaPlayer2" << QVariant() << QList<int>{0, 0};
    }

    void announcesChangesOfTrackStateAndPlayers()
    {
        QFETCH(QString, change);
        QFETCH(QVariant, value);
        const QStringList word = change.split(u' ');
        const auto events = createPlayerEvents(); // the agent's own
        QSignalSpy changes(events.get(), &PlayerEvents::playersChanged);
        QSignalSpy wholeTracks(events.get(), &PlayerEvents::trackAnnounced);
        // A new connection reads nothing until its event loop has turned once. Then: answered once the
        // bus has taken our wishes to listen, which went before.
        QCoreApplication::processEvents();
        const QString agent = QDBusConnection::sessionBus().baseService();
        QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(agent));
        QDBusConnection sender = m_bus.connect(QTest::currentDataTag());
        auto signal = QDBusMessage::createSignal("/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
                                                 "PropertiesChanged");
        QVERIFY(word.size() == 1 ? sender.registerService(change) && sender.unregisterService(change)
                                 : sender.send(signal << word[0] << QVariantMap{{word[1], value}} << QStringList()));
        // The bus passes on one sender's messages in order, and the agent reads its own in order: once
        // it has answered the sender's ping, it has heard all the sender said before.
        sender.call(QDBusMessage::createMethodCall(agent, "/", "org.freedesktop.DBus.Peer", "Ping"));
        QCoreApplication::processEvents();
        QTEST((QList<int>{int(changes.size()), int(wholeTracks.size())}), "reports");
    }

    void sendsOneNextPerTrackAndGivesUpOnAPlayerThatStays()
    {
        TestMprisPlayer player(m_bus, QStringLiteral("spotify"));
        TempPreferences prefs;
        auto store = prefs.openStore();
        store->addLocal(QStringLiteral("Night Owls"));
        auto shown = std::make_shared<RecordingNotifier::Shown>();
        AppDelegate delegate(std::make_unique<MusicController>(), store, std::make_unique<RecordingNotifier>(shown),
                             createPlayerEvents());
        // The player announces itself again the moment it gets Next() and switches 400 ms later.
        player.setSwitchDelayMs(400);
        player.queueTrack({"Echo"}, "Wanted");
        player.setTrack({"Echo", "Night Owls"}, "Hoot");
        player.setPlaybackStatus("Playing");
        StdoutCapture out;
        delegate.startPolling();
        QTRY_COMPARE(delegate.playbackState().currentTrack, QStringLiteral("Wanted"));
        QTest::qWait(1200);
        QCOMPARE(player.nextCalls(), 1);
        QVERIFY(
            out.text().startsWith("\u23ED\uFE0F Skipping blacklisted artist (local): Echo, Night Owls on Spotify\n"));

        // Back to the skipped track on purpose: it plays, and says why once.
        player.setTrack({"Echo", "Night Owls"}, "Hoot");
        QTRY_COMPARE(shown->last().first, QStringLiteral("Playing it anyway"));
        // A player that cannot leave a blocked track gets three skips, one a second, and one notice.
        player.setTrack({"Night Owls"}, "Last track");
        QTRY_COMPARE_WITH_TIMEOUT(player.nextCalls("Last track"), 3, 4000);
        QTest::qWait(2500);
        QCOMPARE(player.nextCalls(), 4);
        QCOMPARE(shown->last().second, QStringLiteral("Spotify stayed on Night Owls - Last track through three skips"));
        QCOMPARE(shown->size(), 6);          // Hoot, anyway, three skips, the notice
        QCOMPARE(out.text().count('\n'), 2); // one line per track, however often it was skipped
        // Giving up is for that one track: the artist's next one is skipped.
        player.setTrack({"Night Owls"}, "Encore");
        QTRY_COMPARE(player.nextCalls("Encore"), 1);

        // A song blocked by name, whatever the never-skip list says: the artist's other song and the
        // same title by another artist play.
        store->blockSong("Echo", "Hoot");
        store->allow("Echo");
        player.setTrack({"Robo"}, "Hoot");
        QTRY_COMPARE(delegate.playbackState().currentArtist, "Robo");
        player.setTrack({"Echo"}, "Fine");
        QTRY_COMPARE(delegate.playbackState().currentTrack, "Fine");
        player.setTrack({"ECHO"}, "HOOT");
        QTRY_COMPARE(player.nextCalls("HOOT"), 1);
        QCOMPARE(player.nextCalls(), 6);
    }

    void notifiesTheDesktopInItsMarkup()
    {
        QDBusConnection desktop = m_bus.connect("desktop");
        QVERIFY(desktop.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.registerService("org.freedesktop.Notifications"));
        DBusNotifier notifier;
        notifier.show("A & <b>", "1 < 2 & 3 > 0");
        QTRY_COMPARE(m_notified, QStringList{"TuneSieve|A & <b>|1 &lt; 2 &amp; 3 &gt; 0|-1"});
    }
};

QTEST_GUILESS_MAIN(TestDesktopBus)
#include "tst_DesktopBus.moc"
