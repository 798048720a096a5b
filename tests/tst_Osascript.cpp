#include "platform/OsascriptNotifier.h"
#include "player/MusicController.h"
#include "player/OsascriptRunner.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The player bridge and the notifier as they run on macOS, through osascript; the shell script
// data/osascript stands in for it here.
class TestOsascript : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder;
    const QString m_osascript = TUNESIEVE_TEST_DATA_DIR "/osascript";

    // The scripts that osascript was given other than the process checks and track queries.
    static QString othersRun()
    {
        QFile log(qEnvironmentVariable("LOG"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

private slots:
    void init() { qputenv("LOG", m_folder.filePath(QTest::currentDataTag()).toUtf8()); }

    void readsAndSkipsTheTrackThatPlays_data()
    {
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("track");
        QTest::addColumn<QString>("found");
        // clang-format off
        QTest::newRow("plays") << "true" << "Ré|||\"T\" \t" << "Spotify: Ré / \"T\" \t";
        QTest::newRow("spaces kept") << "true" << " A |||B " << "Spotify:  A  / B ";
        QTest::newRow("more bars in the title") << "true" << "A|||||B" << "Spotify: A / ||B";
        QTest::newRow("one line feed less") << "true" << "A|||B\n" << "Spotify: A / B\n";
        QTest::newRow("check says True") << "True" << "A|||B" << "none";
        QTest::newRow("check says true ") << "true " << "A|||B" << "none";
        QTest::newRow("check says true\\n") << "true\n" << "A|||B" << "none";
        QTest::newRow("two bars") << "true" << "A||B" << "none";
        QTest::newRow("three pieces") << "true" << "A|||B|||C" << "none";
        QTest::newRow("no artist") << "true" << "|||B" << "none";
        QTest::newRow("no title") << "true" << "A|||" << "none";
        QTest::newRow("nothing") << "true" << "" << "none";
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

    void notifiesWithTheTextsInsideTheirLiterals_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("script");
        // clang-format off
        QTest::newRow("plain") << "Blocked" << "A - T" << "display notification \"A - T\" with title \"Blocked\"";
        QTest::newRow("quotes, backslashes") << "a\\\"b" << "\"x\\" << "display notification \"\\\"x\\\\\" with title \"a\\\\\\\"b\"";
        // clang-format on
    }

    void notifiesWithTheTextsInsideTheirLiterals()
    {
        QFETCH(QString, title);
        QFETCH(QString, body);
        QFETCH(QString, script);
        OsascriptNotifier(m_osascript).show(title, body);
        QTRY_COMPARE(othersRun(), script + '\n');
    }
};

QTEST_GUILESS_MAIN(TestOsascript)
#include "tst_Osascript.moc"
