#include "player/MusicController.h"
#include "player/OsascriptRunner.h"

#include <QtTest>

namespace {
const QString kSpotifyNext = "if application \"Spotify\" is running then tell application \"Spotify\" to next track\n";
}

// The player bridge as it runs on macOS, through osascript; the shell script
// data/osascript stands in for it here, and logs what reached which player.
class TestOsascript : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder;
    int m_runs = 0;
    const QString m_osascript = TUNESIEVE_TEST_DATA_DIR "/osascript";
    qint64 m_now = 0; // the clock of the players passed over

    static QString logged()
    {
        QFile log(qEnvironmentVariable("LOG"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    static QString text(const std::optional<NowPlaying>& found)
    {
        return found ? MusicController::rawValue(found->app) + ": " + found->artist + " / " + found->track : "none";
    }

    // Checks and waits for the answer, which the event loop brings.
    static QString check(MusicController& bridge)
    {
        std::optional<QString> found;
        bridge.getCurrentTrack([&](const std::optional<NowPlaying>& nowPlaying) { found = text(nowPlaying); });
        return QTest::qWaitFor([&] { return found.has_value(); }, 15000) ? *found : "no answer";
    }

    MusicController bridge(int timeoutMs = 1000)
    {
        return MusicController(std::make_unique<OsascriptRunner>(m_osascript, timeoutMs, [this] { return m_now; }));
    }

private slots:
    void init()
    {
        qputenv("LOG", m_folder.filePath(QString::number(++m_runs)).toUtf8());
        qputenv("RUNNING", "Spotify");
    }

    void readsAndSkipsTheTrackThatPlays_data()
    {
        QTest::addColumn<QString>("running"); // at the check
        QTest::addColumn<QString>("track");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QString>("runningAtSkip");
        QTest::addColumn<QString>("log");
        // osascript ends its answer with one line feed more.
        const QString spotify = "track Spotify\n";
        // clang-format off
        QTest::newRow("texts as given") << "Spotify Music" << " Ré |||\"T\" \t\n" << "Spotify:  Ré  / \"T\" \t\n" << "Spotify" << spotify + kSpotifyNext;
        QTest::newRow("first that runs") << "Music Deezer" << "A|||B" << "Deezer: A / B" << "Deezer" << "track Deezer\nif application \"Deezer\" is running then tell application \"Deezer\" to next track\n";
        QTest::newRow("quit before the skip") << "Spotify" << "A|||B" << "Spotify: A / B" << "Music" << spotify + "Spotify not running\n";
        QTest::newRow("none runs") << "" << "A|||B" << "none" << "" << "";
        QTest::newRow("three pieces") << "Spotify" << "A|||B|||C" << "none" << "Spotify" << spotify;
        QTest::newRow("no artist") << "Spotify" << "|||B" << "none" << "Spotify" << spotify;
        QTest::newRow("no title") << "Spotify" << "A|||" << "none" << "Spotify" << spotify;
        QTest::newRow("script fails") << "Spotify" << "A|||B fail" << "none" << "Spotify" << spotify;
        QTest::newRow("script past its time") << "Spotify" << "A|||B hang" << "none" << "Spotify" << spotify;
        QTest::newRow("permission refused") << "Spotify" << "refused" << "none" << "Spotify" << spotify;
        // clang-format on
    }

    void readsAndSkipsTheTrackThatPlays()
    {
        QFETCH(QString, running);
        QFETCH(QString, track);
        QFETCH(QString, runningAtSkip);
        QFETCH(QString, log);
        qputenv("RUNNING", running.toUtf8());
        qputenv("TRACK", track.toUtf8());
        MusicController player = bridge();
        QTEST(check(player), "found");
        qputenv("RUNNING", runningAtSkip.toUtf8());
        player.skipTrack();
        QTRY_COMPARE(logged(), log);
    }

    // The answer comes 3 s late: the event loop runs meanwhile, and another check is dropped.
    void checksWithoutBlockingAndDropsChecksMeanwhile()
    {
        qputenv("TRACK", "A|||B late");
        MusicController player = bridge(10000);
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(50);
        std::optional<int> ticksAtAnswer;
        QVERIFY(player.getCurrentTrack([&](const std::optional<NowPlaying>&) { ticksAtAnswer = ticks; }));
        QVERIFY(!player.getCurrentTrack([](const std::optional<NowPlaying>&) { QFAIL("a dropped check answered"); }));
        QTRY_VERIFY_WITH_TIMEOUT(ticksAtAnswer, 10000);
        QVERIFY(*ticksAtAnswer > 0);
        QCOMPARE(logged(), "track Spotify\n");
        QCOMPARE(check(player), "Spotify: A / B late"); // the next check runs again
    }

    void saysARefusedPermissionOncePerPlayer()
    {
        qputenv("TRACK", "refused");
        qputenv("RUNNING", "Spotify Music");
        MusicController player = bridge();
        QStringList refused;
        player.setPermissionRefusedHandler([&](const QString& app) { refused << app; });
        check(player);
        check(player);
        QCOMPARE(refused, (QStringList{"Spotify", "Music"}));
    }

    void passesOverAHungPlayerFor30s()
    {
        qputenv("TRACK", "A|||B hang");
        MusicController player = bridge(200);
        QCOMPARE(check(player), "none");
        m_now += 29999;
        QCOMPARE(check(player), "none");
        QCOMPARE(logged(), "track Spotify\n");
        m_now += 1;
        qputenv("TRACK", "A|||B");
        QCOMPARE(check(player), "Spotify: A / B");
        QCOMPARE(logged(), "track Spotify\ntrack Spotify\n");
    }
};

QTEST_GUILESS_MAIN(TestOsascript)
#include "tst_Osascript.moc"
