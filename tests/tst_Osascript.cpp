#include "platform/OsascriptNotifier.h"
#include "player/MusicController.h"
#include "player/OsascriptRunner.h"

#include <QtTest>

// The player bridge and the notifier as they run on macOS, through osascript; the shell script
// data/osascript stands in for it here.
class TestOsascript : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder;
    int m_runs = 0;
    const QString m_osascript = TUNESIEVE_TEST_DATA_DIR "/osascript";

    // The scripts that osascript was given other than the process checks and track queries.
    static QString othersRun()
    {
        QFile log(qEnvironmentVariable("LOG"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

private slots:
    void init() { qputenv("LOG", m_folder.filePath(QString::number(++m_runs)).toUtf8()); }

    void readsAndSkipsTheTrackThatPlays_data()
    {
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("track");
        QTest::addColumn<QString>("found");
        // osascript ends its answer with one line feed more.
        // clang-format off
        QTest::newRow("texts as given") << "true" << " Ré |||\"T\" \t\n" << "Spotify:  Ré  / \"T\" \t\n";
        QTest::newRow("check says True") << "True" << "A|||B" << "none";
        QTest::newRow("check says true ") << "true " << "A|||B" << "none";
        QTest::newRow("three pieces") << "true" << "A|||B|||C" << "none";
        QTest::newRow("no artist") << "true" << "|||B" << "none";
        QTest::newRow("no title") << "true" << "A|||" << "none";
        QTest::newRow("script fails") << "true" << "A|||B fail" << "none";
        QTest::newRow("script past its time") << "true" << "A|||B hang" << "none";
        // clang-format on
    }

    void readsAndSkipsTheTrackThatPlays()
    {
        QFETCH(QString, check);
        QFETCH(QString, track);
        qputenv("CHECK", check.toUtf8());
        qputenv("TRACK", track.toUtf8());
        MusicController bridge(std::make_unique<OsascriptRunner>(m_osascript, 1000));
        const auto found = bridge.getCurrentTrack();
        QTEST(found ? MusicController::rawValue(found->app) + ": " + found->artist + " / " + found->track : "none",
              "found");
        bridge.skipTrack();
        QCOMPARE(othersRun(), found ? "tell application \"Spotify\" to next track\n" : "");
    }

    void notifiesWithTheTextsInsideTheirLiterals()
    {
        OsascriptNotifier(m_osascript).show("a\\\"b", "\"x\\");
        QTRY_COMPARE(othersRun(), "display notification \"\\\"x\\\\\" with title \"a\\\\\\\"b\"\n");
    }
};

QTEST_GUILESS_MAIN(TestOsascript)
#include "tst_Osascript.moc"
