#include "player/MusicController.h"
#include "support/NowPlayingText.h"

#include <QHash>
#include <QTest>

using MusicApp = MusicController::MusicApp;

namespace {

// The exact texts the players and System Events must receive, written out here on their own.
const QString spotifyCheck =
    QStringLiteral(R"(tell application "System Events" to (name of processes) contains "Spotify")");
const QString deezerCheck =
    QStringLiteral(R"(tell application "System Events" to (name of processes) contains "Deezer")");
const QString musicCheck =
    QStringLiteral(R"(tell application "System Events" to (name of processes) contains "Music")");

QString trackQuery(const char* application)
{
    return QStringLiteral("tell application \"%1\"\n"
                          "    if player state is playing then\n"
                          "        return (artist of current track) & \"|||\" & (name of current track)\n"
                          "    end if\n"
                          "end tell\n"
                          "return \"\"")
        .arg(QLatin1String(application));
}
const QString spotifyQuery = trackQuery("Spotify");
const QString deezerQuery = trackQuery("Deezer");
const QString musicQuery = trackQuery("Music");

// Answers each script from a table (no entry: the script fails) and records every script it ran.
class RecordingScriptRunner : public ScriptRunner
{
public:
    RecordingScriptRunner(QHash<QString, QString> answers, QStringList* log) : m_answers(std::move(answers)), m_log(log)
    {}

    std::optional<QString> run(const QString& source) override
    {
        m_log->append(source);
        const auto found = m_answers.constFind(source);
        return found == m_answers.constEnd() ? std::nullopt : std::optional<QString>(*found);
    }

    void setAnswers(QHash<QString, QString> answers) { m_answers = std::move(answers); }

private:
    QHash<QString, QString> m_answers;
    QStringList* m_log;
};

const QString running = QStringLiteral("true");

} // namespace

class TestMusicController : public QObject
{
    Q_OBJECT

private:
    QStringList log;
    RecordingScriptRunner* runner = nullptr;

    std::unique_ptr<MusicController> controllerAnswering(QHash<QString, QString> answers)
    {
        log.clear();
        auto recording = std::make_unique<RecordingScriptRunner>(std::move(answers), &log);
        runner = recording.get();
        return std::make_unique<MusicController>(std::move(recording));
    }

    // The one script that skipTrack ran, or the empty text when it ran none.
    QString skipScript(MusicController& controller)
    {
        log.clear();
        controller.skipTrack();
        return log.isEmpty() ? QString() : log.join(QStringLiteral("\n--\n"));
    }

private slots:
    void musicAppRawValues()
    {
        QCOMPARE(MusicController::rawValue(MusicApp::spotify), QStringLiteral("Spotify"));
        QCOMPARE(MusicController::rawValue(MusicApp::deezer), QStringLiteral("Deezer"));
        QCOMPARE(MusicController::rawValue(MusicApp::appleMusic), QStringLiteral("Music"));
        QCOMPARE(MusicController::rawValue(MusicApp::other), QStringLiteral("Other"));
        QCOMPARE(MusicController::musicAppFromRawValue(QStringLiteral("Music")), MusicApp::appleMusic);
        QCOMPARE(MusicController::musicAppFromRawValue(QStringLiteral("Other")), MusicApp::other);
        for (const char* text : {"spotify", "SPOTIFY", "Music ", " Deezer", "AppleMusic", "appleMusic", ""}) {
            QVERIFY2(!MusicController::musicAppFromRawValue(QString::fromUtf8(text)), text);
        }
    }

    void scriptTextsAreExact()
    {
        QCOMPARE(spotifyQuery.toUtf8().size(), 167);
        QCOMPARE(deezerQuery.toUtf8().size(), 166);
        QCOMPARE(musicQuery.toUtf8().size(), 165);
        // Every player runs and none plays: three checks and three queries, in probing order.
        auto controller = controllerAnswering({{spotifyCheck, running},
                                               {deezerCheck, running},
                                               {musicCheck, running},
                                               {spotifyQuery, QString()},
                                               {deezerQuery, QString()},
                                               {musicQuery, QString()}});
        QCOMPARE(skipScript(*controller), QString()); // a fresh controller knows no player
        QVERIFY(!controller->getCurrentTrack());
        QCOMPARE(log, QStringList({spotifyCheck, spotifyQuery, deezerCheck, deezerQuery, musicCheck, musicQuery}));
        QCOMPARE(skipScript(*controller), QString());
    }

    void probingStopsAtTheFirstPlayingPlayer()
    {
        // Spotify and Music both play: Spotify wins after two scripts; the others are never asked.
        auto controller = controllerAnswering({{spotifyCheck, running},
                                               {spotifyQuery, QStringLiteral("Nova|||Drift")},
                                               {musicCheck, running},
                                               {musicQuery, QStringLiteral("Other|||Song")}});
        QCOMPARE(describe(controller->getCurrentTrack()), QStringLiteral("Spotify: Nova|||Drift"));
        QCOMPARE(log, QStringList({spotifyCheck, spotifyQuery}));
        QCOMPARE(skipScript(*controller), QStringLiteral(R"(tell application "Spotify" to next track)"));

        // Spotify paused, Deezer playing: the skip goes to Deezer, with no process check first.
        runner->setAnswers({{spotifyCheck, running},
                            {spotifyQuery, QString()},
                            {deezerCheck, running},
                            {deezerQuery, QStringLiteral("Ana|||Tide")}});
        log.clear();
        QCOMPARE(describe(controller->getCurrentTrack()), QStringLiteral("Deezer: Ana|||Tide"));
        QCOMPARE(log, QStringList({spotifyCheck, spotifyQuery, deezerCheck, deezerQuery}));
        QCOMPARE(skipScript(*controller), QStringLiteral(R"(tell application "Deezer" to next track)"));
        QCOMPARE(skipScript(*controller), QStringLiteral(R"(tell application "Deezer" to next track)"));

        // Music found, then nothing at all: no query without a running process, and no skip.
        runner->setAnswers({{musicCheck, running}, {musicQuery, QStringLiteral("Lo|||Fi")}});
        QCOMPARE(describe(controller->getCurrentTrack()), QStringLiteral("Music: Lo|||Fi"));
        QCOMPARE(skipScript(*controller), QStringLiteral(R"(tell application "Music" to next track)"));
        runner->setAnswers({});
        log.clear();
        QVERIFY(!controller->getCurrentTrack());
        QCOMPARE(log, QStringList({spotifyCheck, deezerCheck, musicCheck}));
        QCOMPARE(skipScript(*controller), QString());
    }

    void processCheckMustSayExactlyTrue()
    {
        for (const char* answer : {"True", "TRUE", "true ", " true", "yes", "1", "", "true\n"}) {
            auto controller = controllerAnswering(
                {{spotifyCheck, QString::fromUtf8(answer)}, {spotifyQuery, QStringLiteral("A|||B")}});
            QVERIFY2(!controller->getCurrentTrack(), answer);
            QVERIFY2(!log.contains(spotifyQuery), answer);
        }
    }

    void parseTrackResult_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("pieces"); // artist and track, or none
        const QStringList none;
        QTest::newRow("plain") << "Artist|||Title" << QStringList{"Artist", "Title"};
        QTest::newRow("spaces kept") << " A |||B " << QStringList{" A ", "B "};
        QTest::newRow("four bars") << "A||||B" << QStringList{"A", "|B"};
        QTest::newRow("five bars") << "A|||||B" << QStringList{"A", "||B"};
        QTest::newRow("line feeds kept") << "A\n|||\nB" << QStringList{"A\n", "\nB"};
        QTest::newRow("two bars") << "A||B" << none;
        QTest::newRow("three pieces") << "A|||B|||C" << none;
        QTest::newRow("six bars") << "A||||||B" << none;
        QTest::newRow("no artist") << "|||B" << none;
        QTest::newRow("no title") << "A|||" << none;
        QTest::newRow("separator only") << "|||" << none;
        QTest::newRow("empty") << "" << none;
        QTest::newRow("no separator") << "Artist - Title" << none;
    }

    void parseTrackResult()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, pieces);
        // An answer that does not parse counts as not playing: probing goes on to Deezer.
        auto controller = controllerAnswering({{spotifyCheck, running},
                                               {spotifyQuery, answer},
                                               {deezerCheck, running},
                                               {deezerQuery, QStringLiteral("Fallback|||Song")}});
        const auto found = controller->getCurrentTrack();
        if (pieces.isEmpty()) {
            QCOMPARE(describe(found), QStringLiteral("Deezer: Fallback|||Song"));
            return;
        }
        QVERIFY(found);
        QCOMPARE(found->app, MusicApp::spotify);
        QCOMPARE(found->artist, pieces[0]);
        QCOMPARE(found->track, pieces[1]);
    }

    void failedScriptsCountAsNotPlaying()
    {
        // The Spotify query fails outright (no entry); Music answers.
        auto controller = controllerAnswering(
            {{spotifyCheck, running}, {musicCheck, running}, {musicQuery, QStringLiteral("Ré|||\"Quoted\" \t")}});
        QCOMPARE(describe(controller->getCurrentTrack()), QStringLiteral("Music: Ré|||\"Quoted\" \t"));
        QCOMPARE(log, QStringList({spotifyCheck, spotifyQuery, deezerCheck, musicCheck, musicQuery}));
    }
};

QTEST_GUILESS_MAIN(TestMusicController)
#include "tst_MusicController.moc"
