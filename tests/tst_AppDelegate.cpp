#include "support/DelegateHarness.h"
#include "support/HttpsTestServer.h"
#include "support/StdoutCapture.h"
#include "support/TestMprisPlayer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QJsonDocument>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

namespace {

QByteArray skipLine(const QString& source, const QString& artist, const QString& app)
{
    return QStringLiteral("\u23ED\uFE0F Skipping blacklisted artist (%1): %2 on %3\n")
        .arg(source, artist, app)
        .toUtf8();
}

// The menu's entries: one "text (on|off)" per entry, "-" per separator.
QStringList entries(const QMenu* menu)
{
    QStringList list;
    for (const QAction* action : menu->actions()) {
        list << (action->isSeparator() ? "-" : action->text() + (action->isEnabled() ? " (on)" : " (off)"));
    }
    return list;
}

QList<QWidget*> visibleWindowsTitled(const QString& title)
{
    QList<QWidget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == title) {
            found << widget;
        }
    }
    return found;
}

// Receives the URLs that the desktop would open.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private slots:
    void skipsByListWithOneLineAndOneNotification_data()
    {
        QTest::addColumn<QString>("app");
        QTest::addColumn<QStringList>("local");
        QTest::addColumn<QStringList>("community");
        QTest::addColumn<bool>("communityOn");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("source"); // empty: not skipped
        QTest::addColumn<QString>("logged");
        QTest::newRow("local") << "Spotify" << QStringList{"night owls"} << QStringList{} << true << "Night Owls"
                               << "local"
                               << "Night Owls";
        QTest::newRow("community") << "Deezer" << QStringList{} << QStringList{"robo"} << true << "ROBO"
                                   << "community"
                                   << "ROBO";
        QTest::newRow("both lists") << "Music" << QStringList{"both"} << QStringList{"both"} << true << "Both"
                                    << "community"
                                    << "Both";
        QTest::newRow("community off") << "Spotify" << QStringList{} << QStringList{"robo"} << false << "Robo"
                                       << ""
                                       << "";
        QTest::newRow("both, community off")
            << "Spotify" << QStringList{"both"} << QStringList{"both"} << false << "both"
            << "community"
            << "both";
        QTest::newRow("decomposed") << "Spotify" << QStringList{"caf\u00e9"} << QStringList{} << true << "CAFE\u0301"
                                    << "local"
                                    << "CAFE\u0301";
        QTest::newRow("line breaks") << "Spotify" << QStringList{"evil\n(local): fake\r"} << QStringList{} << true
                                     << "Evil\n(local): Fake\r"
                                     << "local"
                                     << "Evil (local): Fake ";
        QTest::newRow("not listed") << "Spotify" << QStringList{"robo"} << QStringList{} << true << "Echo"
                                    << ""
                                    << "";
    }

    void skipsByListWithOneLineAndOneNotification()
    {
        QFETCH(QString, app);
        QFETCH(QStringList, local);
        QFETCH(QStringList, community);
        QFETCH(bool, communityOn);
        QFETCH(QString, artist);
        QFETCH(QString, source);
        QFETCH(QString, logged);
        DelegateHarness h(app);
        h.store->setLocalArtists(ArtistSet::fromNames(local));
        h.store->setCommunityArtists(ArtistSet::fromNames(community));
        h.store->setCommunityEnabled(communityOn);
        h.player.play(artist, "Hoot");
        StdoutCapture out;
        h.delegate.checkCurrentTrack();

        QCOMPARE(h.state().currentArtist, artist);
        QCOMPARE(h.state().currentTrack, QStringLiteral("Hoot"));
        if (source.isEmpty()) {
            QCOMPARE(out.text(), QByteArray());
            QCOMPARE(h.player.skips(), 0);
            QVERIFY(h.shown->isEmpty());
            return;
        }
        QCOMPARE(out.text(), skipLine(source, logged, app));
        QCOMPARE(h.player.skips(), 1);
        QCOMPARE(*h.shown,
                 (RecordingNotifier::Shown{{"Blacklisted artist (" + source + ")", "Skipped: " + artist + " - Hoot"}}));
        QVERIFY(h.state().lastCheckedArtist.isEmpty());
    }

    void looksUpOnlyWhenTheArtistKeyChanges()
    {
        DelegateHarness h;
        h.player.play("Caf\u00e9 Noir", "One");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.state().lastCheckedArtist, QStringLiteral("caf\u00e9 noir"));
        // Blocked after the lookup: the same artist (other capitals, decomposed) is not looked up again.
        h.store->addLocal(QStringLiteral("caf\u00e9 noir"));
        h.player.play("CAFE\u0301 NOIR", "Two");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player.skips(), 0);
        QCOMPARE(h.state().currentArtist, QStringLiteral("CAFE\u0301 NOIR"));
        // Nothing plays: every field is emptied, so the artist is looked up when playback resumes.
        h.player.stop();
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.state().currentArtist + h.state().currentTrack + h.state().lastCheckedArtist, QString());
        h.player.play("Caf\u00e9 Noir", "Three");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player.skips(), 1);
    }

    void launchChecksSoonThenOnTheTickAndSyncsQuietly()
    {
        HttpsTestServer server;
        server.addReply("/api/list/", {200, R"({"artists": ["Robo"]})"});
        DelegateHarness h(QStringLiteral("Spotify"), server.baseUrl());
        StdoutCapture out;
        h.delegate.applicationDidFinishLaunching();
        QCOMPARE(h.player.trackQueries(), 0); // the first check comes a second later
        QTRY_COMPARE(h.player.trackQueries(), 1);
        QTRY_VERIFY(h.store->isInCommunityBlacklist(QStringLiteral("robo")));

        // A player that announces nothing is caught by the 5 s tick.
        h.player.play("Robo", "t");
        QTRY_COMPARE_WITH_TIMEOUT(h.player.skips(), 1, 6000);
        QCOMPARE(out.text(), skipLine("community", "Robo", "Spotify")); // the download itself left no trace
        QCOMPARE(h.shown->size(), 1);
    }

    void playerAnnouncementsSettleIntoOneCheck()
    {
        DelegateHarness h;
        for (int i = 0; i < 5; ++i) {
            emit h.events->playersChanged();
        }
        QTRY_COMPARE(h.player.trackQueries(), 1);
        QTest::qWait(300);
        emit h.events->playersChanged();
        QTRY_COMPARE(h.player.trackQueries(), 2);
    }

    void delayedChecksDoNothingOnceTheDelegateIsGone()
    {
        {
            DelegateHarness h;
            h.store->addLocal(QStringLiteral("a"));
            h.player.play("A", "t");
            h.delegate.startPolling();
            h.delegate.checkCurrentTrack(); // skips and schedules a follow-up
            QCOMPARE(h.player.skips(), 1);
        }
        QTest::qWait(1300); // a follow-up that ran now would use the freed player
    }

    void sendsOneNextPerTrackAndAtMostOneASecond()
    {
        TestMprisPlayer player(m_bus, QStringLiteral("spotify"));
        TempPreferences prefs;
        auto store = prefs.openStore();
        store->addLocal(QStringLiteral("Night Owls"));
        AppDelegate delegate(std::make_unique<MusicController>(), store,
                             std::make_unique<RecordingNotifier>(std::make_shared<RecordingNotifier::Shown>()),
                             createPlayerEvents());
        // The player announces itself again the moment it gets Next() and switches 400 ms later.
        player.setSwitchDelayMs(400);
        player.queueTrack({"Echo"}, "Wanted");
        player.setTrack({"Night Owls"}, "Hoot");
        player.setPlaybackStatus("Playing");
        StdoutCapture out;
        delegate.startPolling();
        QTRY_COMPARE(player.nextCalls(), 1);
        QTRY_COMPARE(delegate.playbackState().currentTrack, QStringLiteral("Wanted"));
        QTest::qWait(1200);
        QCOMPARE(player.nextCalls(), 1);

        // A player that cannot leave a blocked track gets one Next() a second, however many ticks come.
        player.setTrack({"Night Owls"}, "Last track");
        QTest::qWait(11000);
        const int skips = player.nextCalls("Last track");
        QVERIFY2(skips >= 9 && skips <= 12, qPrintable(QString::number(skips)));
        QCOMPARE(out.text().count('\n'), 1 + skips);
    }

    void drivesEveryMenuEntry()
    {
        HttpsTestServer server;
        server.addReply("/api/flag/", {200, R"({"success": true})", HttpsTestServer::Reply::Delivery::Held});
        DelegateHarness h(QStringLiteral("Spotify"), server.baseUrl());
        h.delegate.setupMenuBar();
        QMenu* menu = h.delegate.statusMenuItem()->menu();
        QCOMPARE(entries(menu),
                 QStringList({"Artist: - (off)", "Track: - (off)", "-", "Block this artist (off)",
                              "Manage blacklisted artists... (on)", "-", "About (on)", "-", "Quit (on)"}));
        QMenu* about = menu->actions().at(6)->menu();
        QCOMPARE(entries(about),
                 QStringList({"Skip AI-generated music automatically (off)", "-",
                              "Visit " + QUrl(APP_WEBSITE).host() + " (on)", "-", "Version 1.0.0 (off)"}));
        // The note drawn as its title: the test binary has no icon beside it.
        QVERIFY(!h.delegate.statusMenuItem()->icon().isNull());

        // A click on the tray item, with any button, opens the menu.
        auto* tray = h.delegate.statusMenuItem()->findChild<QSystemTrayIcon*>();
        QVERIFY(tray);
        emit tray->activated(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();

        h.player.stop();
        h.delegate.checkCurrentTrack();
        QCOMPARE(entries(menu).mid(0, 4),
                 QStringList({"Artist: (not playing) (off)", "Track: - (off)", "-", "Block this artist (off)"}));
        // Names are shown whole: an ampersand is no mnemonic, a tab no shortcut column.
        h.store->setCommunityArtists(ArtistSet({"simon & \"garf\"\tunkel"}));
        h.player.play("Simon & \"Garf\"\tunkel", "Sound & Silence");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player.skips(), 1);
        QStringList shown; // as a user reads them
        for (const int entry : {0, 1, 3}) {
            shown << menu->actions().at(entry)->iconText();
        }
        QCOMPARE(shown, QStringList({"Artist: Simon & \"Garf\" unkel", "Track: Sound & Silence",
                                     "Block \"Simon & \"Garf\" unkel\""}));
        QVERIFY(menu->actions().at(3)->isEnabled());

        // Block: on the local list, flagged as reported, no second Next() for the track just skipped.
        StdoutCapture out;
        menu->actions().at(3)->trigger();
        QVERIFY(h.store->localArtists() == ArtistSet({"simon & \"garf\"\tunkel"}));
        QCOMPARE(h.shown->last(), (QPair<QString, QString>("Artist added to blacklist", "Simon & \"Garf\"\tunkel")));
        QCOMPARE(h.player.skips(), 1);
        // Blocking a track that plays skips it, and the check a second later skips the artist's next one.
        h.player.play("Echo", "Fine");
        h.delegate.checkCurrentTrack();
        menu->actions().at(3)->trigger();
        QCOMPARE(h.player.skips(), 2);
        h.player.play("ECHO", "Fine too");
        QTRY_COMPARE(h.player.skips(), 3);
        QVERIFY(!menu->actions().at(3)->isEnabled());
        QTRY_COMPARE(server.requests().size(), 2);
        QStringList flagged; // as reported, in whichever order they arrive
        for (const auto& request : server.requests()) {
            flagged << QJsonDocument::fromJson(request.body)["artist"].toString();
        }
        flagged.sort();
        QCOMPARE(flagged, QStringList({"Echo", "Simon & \"Garf\"\tunkel"}));
        // The flag line names the artist flagged, whoever plays by the time the service answers.
        server.releaseHeldReplies();
        QTRY_VERIFY(out.text().contains("Artist flagged to community: Simon & \"Garf\"\tunkel\n"));
        QVERIFY(out.text().contains("Artist flagged to community: Echo\n"));

        // The window: built on the first click, raised again on the second; closing it ends nothing.
        menu->actions().at(4)->trigger();
        menu->actions().at(4)->trigger();
        QCOMPARE(visibleWindowsTitled("Blacklist").size(), 1);
        visibleWindowsTitled("Blacklist").first()->close();
        menu->actions().at(4)->trigger();
        QCOMPARE(visibleWindowsTitled("Blacklist").size(), 1);

        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        about->actions().at(2)->trigger();
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl(APP_WEBSITE)});

        QTimer::singleShot(0, menu->actions().at(8), &QAction::trigger);
        QTimer::singleShot(3000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0); // ended by "Quit"
    }

private:
    PrivateBus m_bus; // before anything asks for the session bus
};

QTEST_MAIN(TestAppDelegate)
#include "tst_AppDelegate.moc"
