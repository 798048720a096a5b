#include "platform/OsascriptNotifier.h"
#include "player/MusicController.h"
#include "player/OsascriptRunner.h"
#include "player/PlayerScripts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The player bridge and the notifier as they run on macOS, through osascript: data/osascript, a shell
// script, stands in for it here.
class TestOsascript : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder;
    const QString m_osascript = TUNESIEVE_TEST_DATA_DIR "/osascript";

    QString scriptsRun() const
    {
        QFile log(qEnvironmentVariable("LOG"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

private slots:
    void init()
    {
        qputenv("LOG", m_folder.filePath(QTest::currentDataTag()).toUtf8());
        qputenv("SLEEP", "0");
        qputenv("STATUS", "0");
    }

    void readsAndSkipsTheTrackThatPlays_data()
    {
        QTest::addColumn<QByteArray>("check");
        QTest::addColumn<QByteArray>("track");
        QTest::addColumn<QString>("found");
        QTest::newRow("plays") << QByteArray("true") << QByteArray("Ré|||\"T\" \t") << "Spotify [Ré] [\"T\" \t]";
        QTest::newRow("spaces kept") << QByteArray("true") << QByteArray(" A |||B ") << "Spotify [ A ] [B ]";
        QTest::newRow("more bars in the title") << QByteArray("true") << QByteArray("A|||||B") << "Spotify [A] [||B]";
        QTest::newRow("last line feed only") << QByteArray("true") << QByteArray("A|||B\n") << "Spotify [A] [B\n]";
        QTest::newRow("check says True") << QByteArray("True") << QByteArray("A|||B") << "no track";
        QTest::newRow("check says true ") << QByteArray("true ") << QByteArray("A|||B") << "no track";
        QTest::newRow("check ends in a line feed") << QByteArray("true\n") << QByteArray("A|||B") << "no track";
        QTest::newRow("two bars") << QByteArray("true") << QByteArray("A||B") << "no track";
        QTest::newRow("three pieces") << QByteArray("true") << QByteArray("A|||B|||C") << "no track";
        QTest::newRow("no artist") << QByteArray("true") << QByteArray("|||B") << "no track";
        QTest::newRow("no title") << QByteArray("true") << QByteArray("A|||") << "no track";
        QTest::newRow("nothing plays") << QByteArray("true") << QByteArray() << "no track";
    }

    void readsAndSkipsTheTrackThatPlays()
    {
        QFETCH(QByteArray, check);
        QFETCH(QByteArray, track);
        QFETCH(QString, found);
        qputenv("CHECK", check);
        qputenv("TRACK", track);
        MusicController bridge(std::make_unique<OsascriptRunner>(m_osascript));
        const auto playing = bridge.getCurrentTrack();
        QCOMPARE(playing
                     ? MusicController::rawValue(playing->app) + " [" + playing->artist + "] [" + playing->track + "]"
                     : "no track",
                 found);
        bridge.skipTrack();
        QCOMPARE(scriptsRun(), playing ? "tell application \"Spotify\" to next track\n" : "");
    }

    void aFailedScriptHasNoAnswer_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("sleep");
        QTest::addColumn<bool>("answered");
        QTest::newRow("ends well") << QByteArray("0") << QByteArray("0") << true;
        QTest::newRow("fails") << QByteArray("1") << QByteArray("0") << false;
        QTest::newRow("past its time") << QByteArray("0") << QByteArray("5") << false;
    }

    void aFailedScriptHasNoAnswer()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, sleep);
        qputenv("STATUS", status);
        qputenv("SLEEP", sleep);
        QTEST(OsascriptRunner(m_osascript, 1000).run(PlayerScripts::trackQuery("Music")).has_value(), "answered");
        QCOMPARE(OsascriptRunner(m_folder.filePath("missing")).run(PlayerScripts::trackQuery("Music")), std::nullopt);
    }

    void notifiesWithTheTextsInsideTheirLiterals_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("script");
        QTest::newRow("plain") << "Blocked"
                               << "Skipped: A - T"
                               << R"(display notification "Skipped: A - T" with title "Blocked")";
        QTest::newRow("quotes and backslashes") << "a\\\"b"
                                                << "\"x\\"
                                                << "display notification \"\\\"x\\\\\" with title \"a\\\\\\\"b\"";
    }

    void notifiesWithTheTextsInsideTheirLiterals()
    {
        QFETCH(QString, title);
        QFETCH(QString, body);
        QFETCH(QString, script);
        OsascriptNotifier(m_osascript).show(title, body);
        QTRY_COMPARE(scriptsRun(), script + '\n');
    }
};

QTEST_GUILESS_MAIN(TestOsascript)
#include "tst_Osascript.moc"
