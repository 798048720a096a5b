#include "player/MusicController.h"

#include <QHash>
#include <QTest>

using MusicApp = MusicController::MusicApp;
using Answers = QHash<QString, QString>;

namespace {

// The exact texts the players and System Events must receive, written out here on their own, by
// short names: "cS" checks for the Spotify process, "qD" asks Deezer for its track, "nM" skips in
// Music.
const QHash<QString, QString> scriptNames = [] {
    QHash<QString, QString> names;
    for (const char* app : {"Spotify", "Deezer", "Music"}) {
        names.insert(
            QStringLiteral(R"(tell application "System Events" to (name of processes) contains "%1")").arg(app),
            QString("c") + app[0]);
        names.insert(QStringLiteral("tell application \"%1\"\n"
                                    "    if player state is playing then\n"
                                    "        return (artist of current track) & \"|||\" & (name of current track)\n"
                                    "    end if\n"
                                    "end tell\n"
                                    "return \"\"")
                         .arg(app),
                     QString("q") + app[0]);
        names.insert(QStringLiteral(R"(tell application "%1" to next track)").arg(app), QString("n") + app[0]);
    }
    return names;
}();

// Answers each script by its short name from `answers` (no entry: the script fails) and records the
// short names of the scripts it runs, or their whole text when they are none of ours.
struct RecordingRunner : ScriptRunner
{
    Answers answers;
    QStringList log;

    std::optional<QString> run(const QString& source) override
    {
        const QString name = scriptNames.value(source, source);
        log.append(name);
        return answers.contains(name) ? std::optional<QString>(answers.value(name)) : std::nullopt;
    }
};

struct Bridge
{
    RecordingRunner* engine = new RecordingRunner;
    MusicController controller{std::unique_ptr<ScriptRunner>(engine)};

    // What getCurrentTrack finds with these answers, as "Spotify [artist] [title]"; the scripts it ran
    // are in the engine's log.
    QString read(const Answers& answers)
    {
        engine->answers = answers;
        engine->log.clear();
        const auto found = controller.getCurrentTrack();
        return found ? MusicController::rawValue(found->app) + " [" + found->artist + "] [" + found->track + "]"
                     : "no track";
    }
    // The scripts that two skips in a row ran.
    QString skipTwice()
    {
        engine->log.clear();
        controller.skipTrack();
        controller.skipTrack();
        return engine->log.join(' ');
    }
};

} // namespace

class TestMusicController : public QObject
{
    Q_OBJECT

private slots:
    void rawValuesAndScriptSizes()
    {
        const QStringList raw = {"Spotify", "Deezer", "Music", "Other"};
        for (const MusicApp app : {MusicApp::spotify, MusicApp::deezer, MusicApp::appleMusic, MusicApp::other}) {
            QCOMPARE(MusicController::rawValue(app), raw.at(int(app)));
            QCOMPARE(MusicController::musicAppFromRawValue(raw.at(int(app))), app);
        }
        for (const char* text : {"spotify", "SPOTIFY", "Music ", " Deezer", "AppleMusic", "appleMusic", ""}) {
            QVERIFY2(!MusicController::musicAppFromRawValue(text), text);
        }
        QCOMPARE(scriptNames.key("qS").toUtf8().size(), 167);
        QCOMPARE(scriptNames.key("qD").toUtf8().size(), 166);
        QCOMPARE(scriptNames.key("qM").toUtf8().size(), 165);
    }

    void probesInOrderAndSkipsTheLastPlayer()
    {
        QCOMPARE(Bridge().skipTwice(), ""); // a fresh controller knows no player
        // The scripts one getCurrentTrack runs, what it finds, and the scripts two skips run then. Deezer
        // played before: the latest read decides where skips go.
        const auto trace = [](const Answers& answers) {
            Bridge bridge;
            bridge.read({{"cD", "true"}, {"qD", "Was|||Here"}});
            const QString found = bridge.read(answers);
            const QString scripts = bridge.engine->log.join(' ');
            return scripts + " > " + found + " > " + bridge.skipTwice();
        };
        QCOMPARE(trace({{"cS", "true"}, {"cD", "true"}, {"cM", "true"}, {"qS", ""}, {"qD", ""}, {"qM", ""}}),
                 "cS qS cD qD cM qM > no track > ");
        QCOMPARE(trace({}), "cS cD cM > no track > ");
        QCOMPARE(trace({{"cS", "true"}, {"qS", "Nova|||Drift"}, {"cM", "true"}, {"qM", "Other|||Song"}}),
                 "cS qS > Spotify [Nova] [Drift] > nS nS");
        QCOMPARE(trace({{"cS", "true"}, {"qS", ""}, {"cD", "true"}, {"qD", "Ana|||Tide"}}),
                 "cS qS cD qD > Deezer [Ana] [Tide] > nD nD");
        // The Spotify query fails outright.
        QCOMPARE(trace({{"cS", "true"}, {"cM", "true"}, {"qM", "Ré|||\"Quoted\" \t"}}),
                 "cS qS cD cM qM > Music [Ré] [\"Quoted\" \t] > nM nM");
    }

    void parsesOnlyTwoNonEmptyPieces()
    {
        // The process check must say exactly "true".
        for (const char* answer : {"True", "TRUE", "true ", " true", "yes", "1", "", "true\n"}) {
            QCOMPARE(Bridge().read({{"cS", answer}, {"qS", "A|||B"}, {"cD", "true"}, {"qD", "C|||D"}}),
                     "Deezer [C] [D]");
        }
        // An answer that does not parse counts as not playing: probing goes on to Deezer.
        const auto read = [](const QString& answer) {
            return Bridge().read({{"cS", "true"}, {"qS", answer}, {"cD", "true"}, {"qD", "Fallback|||Song"}});
        };
        QCOMPARE(read("Artist|||Title"), "Spotify [Artist] [Title]");
        QCOMPARE(read(" A |||B "), "Spotify [ A ] [B ]");
        QCOMPARE(read("A||||B"), "Spotify [A] [|B]");
        QCOMPARE(read("A|||||B"), "Spotify [A] [||B]");
        QCOMPARE(read("A\n|||\nB"), "Spotify [A\n] [\nB]");
        for (const char* unparsable : {"A||B", "A|||B|||C", "A||||||B", "|||B", "A|||", "|||", "", "Artist - Title"}) {
            QCOMPARE(read(unparsable), "Deezer [Fallback] [Song]");
        }
    }
};

QTEST_GUILESS_MAIN(TestMusicController)
#include "tst_MusicController.moc"
