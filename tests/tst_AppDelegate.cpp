#include "support/DelegateHarness.h"
#include "support/HttpsTestServer.h"
#include "support/RecordingNotifier.h"
#include "support/ScriptedPlayer.h"
#include "support/StdoutCapture.h"
#include "support/TempPreferences.h"

#include <QTest>

namespace {

QByteArray skipLine(const char* source, const char* artist, const char* app)
{
    return QByteArray("\xE2\x8F\xAD\xEF\xB8\x8F Skipping blacklisted artist (") + source + "): " + artist + " on " +
           app + "\n";
}

} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private slots:
    void skipsALocalArtistWithOneLineAndOneNotification()
    {
        DelegateHarness h;
        h.store->addLocal(QStringLiteral("Night Owls"));
        h.player.play("Night Owls", "Hoot");
        StdoutCapture out;
        h.delegate.checkCurrentTrack();

        QCOMPARE(out.text(), skipLine("local", "Night Owls", "Spotify"));
        QCOMPARE(h.player.skips(), 1);
        QCOMPARE(*h.shown, (RecordingNotifier::Shown{{"Blacklisted artist (local)", "Skipped: Night Owls - Hoot"}}));
        QCOMPARE(h.state().currentArtist, QStringLiteral("Night Owls"));
        QCOMPARE(h.state().currentTrack, QStringLiteral("Hoot"));
        QVERIFY(h.state().lastCheckedArtist.isEmpty());

        // The player has not moved when the follow-up check comes a second later: skipped again.
        QTRY_COMPARE(h.player.skips(), 2);
        QCOMPARE(out.text(), skipLine("local", "Night Owls", "Spotify").repeated(2));
        h.player.play("Echo", "Fine");
        QTRY_COMPARE(h.state().currentArtist, QStringLiteral("Echo"));
        QCOMPARE(h.player.skips(), 2);
    }

    void looksUpOnlyWhenTheArtistKeyChanges()
    {
        DelegateHarness h;
        StdoutCapture out;
        h.player.play("Caf\u00e9 Noir", "One");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.state().lastCheckedArtist, QStringLiteral("caf\u00e9 noir"));

        // Blocked after the lookup: the same artist (other capitals, decomposed) is not looked up again.
        h.store->addLocal(QStringLiteral("caf\u00e9 noir"));
        h.player.play("CAFE\u0301 NOIR", "Two");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player.skips(), 0);
        QCOMPARE(h.state().currentArtist, QStringLiteral("CAFE\u0301 NOIR"));
        QCOMPARE(h.state().currentTrack, QStringLiteral("Two"));

        // Nothing plays: every field is emptied, so the artist is looked up when playback resumes.
        h.player.stop();
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.state().currentArtist, QString());
        QCOMPARE(h.state().currentTrack, QString());
        QCOMPARE(h.state().lastCheckedArtist, QString());
        h.player.play("Caf\u00e9 Noir", "Three");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player.skips(), 1);
        QCOMPARE(out.text(), skipLine("local", "Caf\xC3\xA9 Noir", "Spotify"));
    }

    void namesTheListThatBlockedTheArtist()
    {
        DelegateHarness h(QStringLiteral("Deezer"));
        h.store->setCommunityArtists(ArtistSet({"robo", "both"}));
        h.store->addLocal(QStringLiteral("Both"));
        StdoutCapture out;

        h.player.play("BOTH", "x");
        h.delegate.checkCurrentTrack();
        h.player.play("Robo", "y");
        h.delegate.checkCurrentTrack();
        QCOMPARE(out.text(), skipLine("community", "BOTH", "Deezer") + skipLine("community", "Robo", "Deezer"));
        QCOMPARE(h.shown->last().first, QStringLiteral("Blacklisted artist (community)"));

        // With the community list off, only the local list blocks, still named "community" when the
        // artist stands on both.
        h.store->setCommunityEnabled(false);
        h.player.play("Robo", "z");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player.skips(), 2);
        h.player.play("both", "w");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player.skips(), 3);
        QVERIFY(out.text().endsWith(skipLine("community", "both", "Deezer")));
    }

    void keepsTheSkipLineOnOneLine()
    {
        DelegateHarness h(QStringLiteral("Music"));
        const QString forged =
            QStringLiteral("Evil\n\xE2\x8F\xAD\xEF\xB8\x8F Skipping blacklisted artist (local): Fake\r");
        h.store->addLocal(forged);
        h.player.play(forged, "t");
        StdoutCapture out;
        h.delegate.checkCurrentTrack();
        QCOMPARE(out.text().count('\n'), 1);
        QVERIFY(out.text().endsWith(" on Music\n"));
        QCOMPARE(h.shown->first().second, QStringLiteral("Skipped: ") + forged + QStringLiteral(" - t"));
    }

    void launchChecksSoonAndDownloadsTheCommunityListQuietly()
    {
        HttpsTestServer server;
        server.addReply("/api/list/", {200, R"({"artists": ["Robo", "Echo"]})"});
        DelegateHarness h(QStringLiteral("Spotify"), server.baseUrl());
        h.player.play("Nobody", "t");
        StdoutCapture out;
        h.delegate.applicationDidFinishLaunching();
        QCOMPARE(h.player.trackQueries(), 0); // the first check comes a second later
        QTRY_COMPARE(h.player.trackQueries(), 1);

        QTRY_VERIFY(h.store->lastSyncDate().has_value());
        QVERIFY(h.store->isInCommunityBlacklist(QStringLiteral("robo")));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().path, QByteArray("/api/list/"));
        // The download leaves no trace of its own.
        QCOMPARE(out.text(), QByteArray());
        QVERIFY(h.shown->isEmpty());
    }

    void delayedChecksDoNothingOnceTheDelegateIsGone()
    {
        ScriptedPlayer player;
        TempPreferences prefs;
        auto store = prefs.openStore();
        store->addLocal(QStringLiteral("a"));
        player.play("A", "t");
        StdoutCapture out;
        {
            AppDelegate delegate(std::make_unique<MusicController>(player.engine()), store,
                                 std::make_unique<RecordingNotifier>(std::make_shared<RecordingNotifier::Shown>()),
                                 std::make_unique<PlayerEvents>());
            delegate.startPolling();
            delegate.checkCurrentTrack(); // skips and schedules a follow-up
        }
        QTest::qWait(1500);
        QCOMPARE(player.skips(), 1);
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_AppDelegate.moc"
