#include "platform/linux/MprisScriptRunner.h"
#include "player/MusicController.h"
#include "player/PlayerScripts.h"
#include "support/MpvPlayer.h"
#include "support/NowPlayingText.h"
#include "support/PrivateBus.h"
#include "support/TestMprisPlayer.h"

#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QTest>

namespace {
const QString playing = QStringLiteral("Playing");
const QString paused = QStringLiteral("Paused");
const QString noTrack = QStringLiteral("no track");

// Receives PropertiesChanged on the test's own connection.
class ChangeCounter : public QObject
{
    Q_OBJECT
public:
    int count = 0;
public slots:
    void changed() { ++count; }
};
} // namespace

class TestMprisScriptRunner : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PrivateBus> bus;

    // A player that plays `title` by `artists` from the start.
    std::unique_ptr<TestMprisPlayer> player(const QString& suffix, const QStringList& artists = {QStringLiteral("A")},
                                            const QString& title = QStringLiteral("T"),
                                            const QString& status = QStringLiteral("Playing"),
                                            const QString& identity = QStringLiteral("Test Player"))
    {
        auto created = std::make_unique<TestMprisPlayer>(*bus, suffix, identity);
        if (!created->isRegistered()) {
            qFatal("cannot register the test player %s", qPrintable(suffix));
        }
        created->setTrack(artists, title);
        created->setPlaybackStatus(status);
        return created;
    }

    // What a fresh bridge reads now.
    static QString currentTrack()
    {
        return describe(MusicController(std::make_unique<MprisScriptRunner>()).getCurrentTrack());
    }

    static QString check(MprisScriptRunner& engine, const char* name)
    {
        return engine.run(PlayerScripts::processCheck(QString::fromUtf8(name))).value_or(QStringLiteral("(none)"));
    }

private slots:
    void initTestCase()
    {
        bus = std::make_unique<PrivateBus>();
        QVERIFY(bus->isRunning());
        // Lets a test player send metadata of the wrong type a{ss}.
        qDBusRegisterMetaType<QMap<QString, QString>>();
    }

    void playersAreTakenByTheirNames()
    {
        MprisScriptRunner engine;
        QCOMPARE(check(engine, "Spotify"), QStringLiteral("false"));
        QCOMPARE(check(engine, "Music"), QStringLiteral("false"));
        QCOMPARE(currentTrack(), noTrack);

        const auto vlc = player(QStringLiteral("vlc"), {QStringLiteral("Ana")}, QStringLiteral("Local"));
        QCOMPARE(check(engine, "Music"), QStringLiteral("true"));
        QCOMPARE(check(engine, "Deezer"), QStringLiteral("false"));
        QCOMPARE(currentTrack(), QStringLiteral("Music: Ana|||Local"));

        const auto deezer = player(QStringLiteral("Deezer"), {QStringLiteral("Ben")}, QStringLiteral("Streamed"));
        QCOMPARE(check(engine, "Deezer"), QStringLiteral("true"));
        QCOMPARE(currentTrack(), QStringLiteral("Deezer: Ben|||Streamed"));

        // Paused, Spotify answers the empty text and the next player is taken; playing, it wins.
        const auto spotify = player(QStringLiteral("spotify"), {QStringLiteral("Cy")}, QStringLiteral("Hit"), paused);
        QCOMPARE(check(engine, "Spotify"), QStringLiteral("true"));
        QCOMPARE(engine.run(PlayerScripts::trackQuery(QStringLiteral("Spotify"))), QString());
        QCOMPARE(currentTrack(), QStringLiteral("Deezer: Ben|||Streamed"));
        spotify->setPlaybackStatus(playing);
        QCOMPARE(currentTrack(), QStringLiteral("Spotify: Cy|||Hit"));

        // Only the exact Spotify name is Spotify.
        const auto lookalike = player(QStringLiteral("spotifyd"));
        spotify->setPlaybackStatus(QStringLiteral("Stopped"));
        deezer->setPlaybackStatus(paused);
        vlc->setPlaybackStatus(paused);
        QCOMPARE(currentTrack(), QStringLiteral("Music: A|||T"));
    }

    void deezerByLowerCaseNameOrIdentity()
    {
        MprisScriptRunner engine;
        {
            const auto deezer = player(QStringLiteral("deezer.instance42"));
            QCOMPARE(check(engine, "Deezer"), QStringLiteral("true"));
            QCOMPARE(check(engine, "Music"), QStringLiteral("false"));
        }
        const auto web = player(QStringLiteral("chromium.instance7"), {QStringLiteral("Dee")}, QStringLiteral("Web"),
                                playing, QStringLiteral("Deezer"));
        QCOMPARE(check(engine, "Deezer"), QStringLiteral("true"));
        QCOMPARE(check(engine, "Music"), QStringLiteral("false"));
        QCOMPARE(currentTrack(), QStringLiteral("Deezer: Dee|||Web"));
        const auto other = player(QStringLiteral("chromium.instance9"));
        QCOMPARE(check(engine, "Music"), QStringLiteral("true"));
    }

    void metadataMakesTheAnswer()
    {
        const auto spotify =
            player(QStringLiteral("spotify"), {QStringLiteral("Ana"), QStringLiteral("Ben"), QStringLiteral("Cy")},
                   QStringLiteral("Trio"));
        MprisScriptRunner engine;
        const QString query = PlayerScripts::trackQuery(QStringLiteral("Spotify"));
        QCOMPARE(engine.run(query), QStringLiteral("Ana, Ben, Cy|||Trio"));
        QCOMPARE(currentTrack(), QStringLiteral("Spotify: Ana, Ben, Cy|||Trio"));

        spotify->setTrack({}, QStringLiteral("Nobody"));
        QCOMPARE(engine.run(query), QStringLiteral("|||Nobody"));
        QCOMPARE(currentTrack(), noTrack);
        spotify->setPlayerProperty(QStringLiteral("Metadata"),
                                   QVariantMap{{QStringLiteral("xesam:artist"), QStringList{QStringLiteral("Ana")}}});
        QCOMPARE(engine.run(query), QStringLiteral("Ana|||"));
        QCOMPARE(currentTrack(), noTrack);
    }

    void hostileMetadataNeverBreaksTheBridge_data()
    {
        // What the bridge reads: artist "|||" title, or the Music player behind when the odd one has no track.
        QTest::addColumn<QVariant>("metadata");
        QTest::addColumn<QString>("read");
        const QString noTrack = QStringLiteral("Music: Fallback|||T");
        const QString quotes = QStringLiteral("\"Quoted\" & 'single' \\ end tell");
        const QString controls = QStringLiteral("a\x01\tb\nc\x1f\x7f");
        const QString huge(100000, QChar(u'ж'));
        const QStringList a = {QStringLiteral("A")};
        const QString b = QStringLiteral("B");
        auto track = [](const QVariant& artist, const QVariant& title) {
            return QVariant(
                QVariantMap{{QStringLiteral("xesam:artist"), artist}, {QStringLiteral("xesam:title"), title}});
        };
        auto read = [](const QString& artist, const QString& title) { return "Spotify: " + artist + "|||" + title; };
        QTest::newRow("quotes") << track(QStringList{quotes}, quotes) << read(quotes, quotes);
        QTest::newRow("control characters") << track(QStringList{controls}, controls) << read(controls, controls);
        QTest::newRow("100 000 characters") << track(QStringList{huge}, huge) << read(huge, huge);
        QTest::newRow("separator in title") << track(a, QStringLiteral("B|||C")) << noTrack;
        QTest::newRow("separator in artist") << track(QStringList{QStringLiteral("A|||")}, b) << noTrack;
        QTest::newRow("empty artists") << track(QStringList{QString(), QString()}, b) << read(QStringLiteral(", "), b);
        QTest::newRow("artist as text") << track(QStringLiteral("Solo"), b) << read(QStringLiteral("Solo"), b);
        QTest::newRow("artist as number") << track(42, b) << noTrack;
        QTest::newRow("artist as map") << track(QVariantMap{{QStringLiteral("x"), 1}}, b) << noTrack;
        QTest::newRow("artists of numbers") << track(QVariantList{1, 2}, b) << noTrack;
        QTest::newRow("title as list") << track(a, QStringList{b}) << noTrack;
        QTest::newRow("title as number") << track(a, 3.5) << noTrack;
        QTest::newRow("metadata as text") << QVariant(QStringLiteral("A|||B")) << noTrack;
        QTest::newRow("metadata as list") << QVariant(QStringList{QStringLiteral("A|||B")}) << noTrack;
        QTest::newRow("metadata of texts")
            << QVariant::fromValue(QMap<QString, QString>{{QStringLiteral("xesam:artist"), QStringLiteral("A")},
                                                          {QStringLiteral("xesam:title"), b}})
            << noTrack;
    }

    void hostileMetadataNeverBreaksTheBridge()
    {
        QFETCH(QVariant, metadata);
        QFETCH(QString, read);
        const auto spotify = player(QStringLiteral("spotify"));
        spotify->setPlayerProperty(QStringLiteral("Metadata"), metadata);
        const auto fallback = player(QStringLiteral("vlc"), {QStringLiteral("Fallback")});
        QVERIFY(currentTrack() == read);
    }

    void oddStatusIsNotPlaying()
    {
        const auto spotify = player(QStringLiteral("spotify"));
        for (const QVariant& status : {QVariant(1), QVariant(QStringList{playing}), QVariant(QStringLiteral("playing")),
                                       QVariant(QStringLiteral("Playing "))}) {
            spotify->setPlayerProperty(QStringLiteral("PlaybackStatus"), status);
            QVERIFY2(currentTrack() == noTrack, qPrintable(status.toString()));
        }
    }

    void theEarlierPlayerWins()
    {
        const auto later = player(QStringLiteral("zz"), {QStringLiteral("Later")});
        const auto earlier = player(QStringLiteral("aa"), {QStringLiteral("Earlier")});
        QCOMPARE(currentTrack(), QStringLiteral("Music: Earlier|||T"));
        earlier->setPlaybackStatus(paused);
        QCOMPARE(currentTrack(), QStringLiteral("Music: Later|||T"));
        const auto spotify = player(QStringLiteral("spotify"), {QStringLiteral("Spotted")});
        QCOMPARE(currentTrack(), QStringLiteral("Spotify: Spotted|||T"));
    }

    void nextTrackReachesThePlayerThatAnswered()
    {
        const auto idle = player(QStringLiteral("aa"), {QStringLiteral("Idle")}, QStringLiteral("T"), paused);
        const auto busy = player(QStringLiteral("bb"), {QStringLiteral("Busy")});
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        QCOMPARE(describe(bridge.getCurrentTrack()), QStringLiteral("Music: Busy|||T"));
        bridge.skipTrack();
        QCOMPARE(busy->nextCalls(), 1);
        QCOMPARE(idle->nextCalls(), 0);

        // Without any earlier answer the first such player takes it; a missing player fails.
        MprisScriptRunner engine;
        QCOMPARE(engine.run(PlayerScripts::nextTrack(QStringLiteral("Music"))), QString());
        QCOMPARE(idle->nextCalls(), 1);
        QCOMPARE(engine.run(PlayerScripts::nextTrack(QStringLiteral("Spotify"))), std::nullopt);

        const auto spotify = player(QStringLiteral("spotify"));
        QCOMPARE(describe(bridge.getCurrentTrack()), QStringLiteral("Spotify: A|||T"));
        bridge.skipTrack();
        QCOMPARE(spotify->nextCalls(), 1);
        QCOMPARE(busy->nextCalls(), 1);
    }

    void aFrozenPlayerCostsItsBoundOnly()
    {
        const auto spotify = player(QStringLiteral("spotify"));
        spotify->setFrozen(true);
        const auto frozenMusic = player(QStringLiteral("aa"));
        frozenMusic->setFrozen(true);
        const auto deezer = player(QStringLiteral("deezer"), {QStringLiteral("Thawed")});
        const auto music = player(QStringLiteral("zz"), {QStringLiteral("Also")});

        // Qt's own default would wait 25 s for each call; ours gives up after 500 ms.
        MprisScriptRunner engine;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(engine.run(PlayerScripts::trackQuery(QStringLiteral("Spotify"))), std::nullopt);
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));

        clock.restart();
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        QCOMPARE(describe(bridge.getCurrentTrack()), QStringLiteral("Deezer: Thawed|||T"));
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        deezer->setPlaybackStatus(paused);
        QCOMPARE(describe(bridge.getCurrentTrack()), QStringLiteral("Music: Also|||T"));
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    }

    void otherScriptsDoNotCompile()
    {
        const auto spotify = player(QStringLiteral("spotify"));
        MprisScriptRunner engine;
        const QString check = PlayerScripts::processCheck(QStringLiteral("Spotify"));
        QCOMPARE(engine.run(check), QStringLiteral("true"));
        for (const QString& source :
             {check + QLatin1Char('\n'), check.toLower(), PlayerScripts::processCheck(QStringLiteral("Rhythmbox")),
              PlayerScripts::trackQuery(QStringLiteral("spotify")), PlayerScripts::nextTrack(QStringLiteral("Other")),
              QStringLiteral("tell application \"Spotify\" to play"), QString()}) {
            QVERIFY2(!engine.run(source), qPrintable(source));
        }
        QCOMPARE(spotify->nextCalls(), 0);
    }

    void noBusMeansNoPlayer()
    {
        MprisScriptRunner engine(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("missing")));
        for (const char* name : {"Spotify", "Deezer", "Music"}) {
            QCOMPARE(check(engine, name), QStringLiteral("false"));
            QCOMPARE(engine.run(PlayerScripts::trackQuery(QString::fromUtf8(name))), std::nullopt);
            QCOMPARE(engine.run(PlayerScripts::nextTrack(QString::fromUtf8(name))), std::nullopt);
        }
    }

    void theTestPlayerAnnouncesChanges()
    {
        const auto spotify = player(QStringLiteral("spotify"));
        ChangeCounter counter;
        QVERIFY(QDBusConnection::sessionBus().connect(spotify->busName(), QStringLiteral("/org/mpris/MediaPlayer2"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("PropertiesChanged"), &counter, SLOT(changed())));
        spotify->setTrack({QStringLiteral("New")}, QStringLiteral("Song"));
        spotify->setPlaybackStatus(paused);
        spotify->setPlaybackStatus(paused);
        QTRY_COMPARE(counter.count, 2);
    }

    void realMpvPlayer();
};

void TestMprisScriptRunner::realMpvPlayer()
{
    if (const QString missing = MpvPlayer::missingReason(); !missing.isEmpty()) {
        QSKIP(qPrintable(missing));
    }
    const QList<MpvPlayer::Track> tracks = {{QStringLiteral("Ärger & \"Söhne\""), QStringLiteral("Erste|Spur")},
                                            {QStringLiteral("Bea"), QStringLiteral("Second")},
                                            {QStringLiteral("Cid"), QStringLiteral("Third")}};
    const MpvPlayer mpv(tracks);
    QVERIFY(mpv.isRunning());
    MusicController bridge(std::make_unique<MprisScriptRunner>());
    const auto music = [](const MpvPlayer::Track& track) { return "Music: " + track.artist + "|||" + track.title; };
    QTRY_COMPARE_WITH_TIMEOUT(describe(bridge.getCurrentTrack()), music(tracks[0]), 20000);
    bridge.skipTrack();
    QTRY_COMPARE_WITH_TIMEOUT(describe(bridge.getCurrentTrack()), music(tracks[1]), 20000);
}

QTEST_GUILESS_MAIN(TestMprisScriptRunner)
#include "tst_MprisScriptRunner.moc"
