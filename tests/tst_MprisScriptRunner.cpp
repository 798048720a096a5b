#include "player/MusicController.h"
#include "player/PlayerScripts.h"
#include "player/linux/MprisScriptRunner.h"
#include "support/NowPlayingText.h"
#include "support/PrivateBus.h"
#include "support/TestMprisPlayer.h"

#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QTest>

namespace {

// A test player to register: it plays (or not) a track called "T" by `artist`.
struct Player
{
    const char* suffix;
    const char* artist = "A";
    const char* status = "Playing";
    const char* identity = "Test Player";
};

// What a fresh bridge reads now.
QString currentTrack()
{
    return describe(MusicController(std::make_unique<MprisScriptRunner>()).getCurrentTrack());
}

} // namespace

class TestMprisScriptRunner : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PrivateBus> bus;

    std::vector<std::unique_ptr<TestMprisPlayer>> players(const QList<Player>& wanted)
    {
        std::vector<std::unique_ptr<TestMprisPlayer>> created;
        for (const Player& one : wanted) {
            auto& player = created.emplace_back(std::make_unique<TestMprisPlayer>(*bus, one.suffix, one.identity));
            if (!player->isRegistered()) {
                qFatal("cannot register the test player %s", one.suffix);
            }
            player->setTrack({one.artist}, "T");
            player->setPlaybackStatus(one.status);
        }
        return created;
    }

private slots:
    void initTestCase()
    {
        bus = std::make_unique<PrivateBus>();
        QVERIFY(bus->isRunning());
        // Lets a test player send metadata of the wrong type a{ss}.
        qDBusRegisterMetaType<QMap<QString, QString>>();
    }

    void playersAreTakenByNameIdentityAndOrder()
    {
        // The process checks' answers for Spotify, Deezer and Music, then what the bridge reads.
        const auto scene = [this](const QList<Player>& wanted) {
            const auto registered = players(wanted);
            MprisScriptRunner engine;
            QStringList checks;
            for (const char* app : {"Spotify", "Deezer", "Music"}) {
                checks << engine.run(PlayerScripts::processCheck(app)).value_or("(none)");
            }
            return checks.join(' ') + " > " + currentTrack();
        };
        QCOMPARE(scene({}), "false false false > no track");
        QCOMPARE(scene({{"vlc", "Ana"}}), "false false true > Music: Ana|||T");
        QCOMPARE(scene({{"vlc", "Ana"}, {"Deezer", "Ben"}}), "false true true > Deezer: Ben|||T");
        QCOMPARE(scene({{"Deezer", "Ben"}, {"spotify", "Cy", "Paused"}}), "true true false > Deezer: Ben|||T");
        QCOMPARE(scene({{"Deezer", "Ben"}, {"spotify", "Cy"}}), "true true false > Spotify: Cy|||T");
        // Only the exact name is Spotify.
        QCOMPARE(scene({{"spotifyd"}, {"spotify", "Cy", "Stopped"}}), "true false true > Music: A|||T");
        QCOMPARE(scene({{"deezer.instance42", "Dee"}}), "false true false > Deezer: Dee|||T");
        QCOMPARE(scene({{"chromium.instance7", "Web", "Playing", "Deezer"}}), "false true false > Deezer: Web|||T");
        QCOMPARE(scene({{"chromium.instance7", "Web", "Paused", "Deezer"}, {"chromium.instance9"}}),
                 "false true true > Music: A|||T");
        // Among players of one kind, the earlier bus name wins.
        QCOMPARE(scene({{"zz", "Later"}, {"aa", "Earlier"}}), "false false true > Music: Earlier|||T");
        QCOMPARE(scene({{"zz", "Later"}, {"aa", "Earlier", "Paused"}}), "false false true > Music: Later|||T");
    }

    void oddPropertiesNeverBreakTheBridge()
    {
        // What the bridge reads when Spotify's property has this value: its artist "|||" title, or the
        // Music player behind when Spotify has no track.
        const auto read = [this](const QString& property, const QVariant& value) {
            const auto spotifyAndFallback = players({{"spotify"}, {"vlc", "Fallback"}});
            spotifyAndFallback[0]->setPlayerProperty(property, value);
            return currentTrack();
        };
        const auto track = [](const QVariant& artist, const QVariant& title) {
            return QVariant(QVariantMap{{"xesam:artist", artist}, {"xesam:title", title}});
        };
        const QString quotes = "\"Quoted\" & 'single' \\ end tell";
        const QString controls = "a\x01\tb\nc\x1f\x7f";
        const QString huge(100000, QChar(u'ж'));
        QCOMPARE(read("Metadata", track(QStringList{"Ana", "Ben", "Cy"}, "Trio")), "Spotify: Ana, Ben, Cy|||Trio");
        QCOMPARE(read("Metadata", track(QStringList{quotes}, quotes)), "Spotify: " + quotes + "|||" + quotes);
        QCOMPARE(read("Metadata", track(QStringList{controls}, controls)), "Spotify: " + controls + "|||" + controls);
        QVERIFY(read("Metadata", track(QStringList{huge}, huge)) == "Spotify: " + huge + "|||" + huge);
        QCOMPARE(read("Metadata", track(QStringList{"", ""}, "B")), "Spotify: , |||B");
        QCOMPARE(read("Metadata", track("Solo", "B")), "Spotify: Solo|||B");
        const QMap<QString, QString> texts = {{"xesam:artist", "A"}, {"xesam:title", "B"}};
        for (const QVariant& metadata :
             {track(QStringList{"A"}, "B|||C"), track(QStringList{"A|||"}, "B"), track(42, "B"),
              track(QVariantMap{{"x", 1}}, "B"), track(QVariantList{1, 2}, "B"),
              track(QStringList{"A"}, QStringList{"B"}), track(QStringList{"A"}, 3.5),
              QVariant(QVariantMap{{"xesam:title", "B"}}), QVariant(QVariantMap{{"xesam:artist", QStringList{"A"}}}),
              QVariant("A|||B"), QVariant(QStringList{"A|||B"}), QVariant::fromValue(texts)}) {
            QCOMPARE(read("Metadata", metadata), "Music: Fallback|||T");
        }
        for (const QVariant& status :
             {QVariant(1), QVariant(QStringList{"Playing"}), QVariant("playing"), QVariant("Playing ")}) {
            QCOMPARE(read("PlaybackStatus", status), "Music: Fallback|||T");
        }
    }

    void nextTrackReachesThePlayerThatAnswered()
    {
        const auto all = players({{"aa", "Idle", "Paused"}, {"bb", "Busy"}});
        const auto& idle = all[0];
        const auto& busy = all[1];
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        QCOMPARE(describe(bridge.getCurrentTrack()), "Music: Busy|||T");
        bridge.skipTrack();
        QCOMPARE(busy->nextCalls(), 1);
        QCOMPARE(idle->nextCalls(), 0);

        // Without any earlier answer the first such player takes it; a missing player fails.
        MprisScriptRunner engine;
        QCOMPARE(engine.run(PlayerScripts::nextTrack("Music")), QString());
        QCOMPARE(idle->nextCalls(), 1);
        QCOMPARE(engine.run(PlayerScripts::nextTrack("Spotify")), std::nullopt);

        const auto spotify = players({{"spotify"}});
        QCOMPARE(describe(bridge.getCurrentTrack()), "Spotify: A|||T");
        bridge.skipTrack();
        QCOMPARE(spotify[0]->nextCalls(), 1);
        QCOMPARE(busy->nextCalls(), 1);
    }

    void aFrozenPlayerCostsItsBoundOnly()
    {
        const auto all = players({{"spotify"}, {"aa"}, {"deezer", "Thawed"}, {"zz", "Also"}});
        all[0]->setFrozen(true); // Spotify
        all[1]->setFrozen(true); // a Music player before the one that answers

        // Qt's own default would wait 25 s for each call; ours gives up after 500 ms, and the next
        // player is still probed.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(MprisScriptRunner().run(PlayerScripts::trackQuery("Spotify")), std::nullopt);
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        QCOMPARE(describe(bridge.getCurrentTrack()), "Deezer: Thawed|||T");
        all[2]->setPlaybackStatus("Paused");
        QCOMPARE(describe(bridge.getCurrentTrack()), "Music: Also|||T");
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    }

    void answersOnlyItsOwnScripts()
    {
        const auto spotify = players({{"spotify", "A", "Paused"}});
        MprisScriptRunner engine;
        const QString check = PlayerScripts::processCheck("Spotify");
        QCOMPARE(engine.run(check), "true");
        // A player that is there and does not play answers the empty text, not a failure.
        QCOMPARE(engine.run(PlayerScripts::trackQuery("Spotify")), QString());
        for (const QString& source : {check + '\n', check.toLower(), PlayerScripts::processCheck("Rhythmbox"),
                                      PlayerScripts::trackQuery("spotify"), PlayerScripts::nextTrack("Other"),
                                      QString("tell application \"Spotify\" to play"), QString()}) {
            QVERIFY2(!engine.run(source), qPrintable(source));
        }
        QCOMPARE(spotify[0]->nextCalls(), 0);

        // Without a bus no player runs.
        MprisScriptRunner unconnected(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "missing"));
        for (const char* app : {"Spotify", "Deezer", "Music"}) {
            QCOMPARE(unconnected.run(PlayerScripts::processCheck(app)), "false");
            QCOMPARE(unconnected.run(PlayerScripts::trackQuery(app)), std::nullopt);
            QCOMPARE(unconnected.run(PlayerScripts::nextTrack(app)), std::nullopt);
        }
    }
};

QTEST_GUILESS_MAIN(TestMprisScriptRunner)
#include "tst_MprisScriptRunner.moc"
