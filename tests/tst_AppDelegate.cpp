#include "support/DelegateHarness.h"
#include "support/HttpsTestServer.h"
#include "support/StdoutCapture.h"

#include "widgets/ViewTag.h"
#include "widgets/Window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTest>

namespace {

// The skip line from its source word on: "local): Night Owls".
QString skipLine(const QString& sourceAndArtist, const QString& app = "Spotify")
{
    return QStringLiteral("\u23ED\uFE0F Skipping blacklisted artist (%1 on %2\n").arg(sourceAndArtist, app);
}

// The entries as "text (on|off)", "-" for a separator; `shown` reads them as a person does.
QStringList entries(const QMenu* menu, bool shown = false)
{
    QStringList list;
    for (const QAction* action : menu->actions()) {
        list << (action->isSeparator()
                     ? "-"
                     : (shown ? action->iconText() : action->text()) + (action->isEnabled() ? " (on)" : " (off)"));
    }
    return list;
}

// A row of the subscribed lists' table as shown: "on|name|count|updated|error", any time shown as "time".
QString shownRow(const TableView* table, int row)
{
    QStringList cells;
    for (int column = 0; column < 5; ++column) {
        QWidget* cell = table->indexWidget(table->model()->index(row, column));
        const auto* toggle = qobject_cast<QCheckBox*>(cell);
        const auto* label = qobject_cast<QLabel*>(cell); // none for a row that is not there
        cells << (toggle ? (toggle->isChecked() ? "on" : "off") : label ? label->text() : "-");
    }
    return cells.join('|').replace(QRegularExpression("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d"), "time");
}

void row(const char* name, const QString& app, const QStringList& lists, const QString& artist, const QString& line)
{
    QTest::newRow(name) << app << lists << artist << line;
}

} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT
    QList<QUrl> m_opened;

public slots:
    void open(const QUrl& url) { m_opened.append(url); } // as the desktop would

private slots:
    void skipsByListWithOneLineAndOneNotification_data()
    {
        QTest::addColumn<QString>("app");
        QTest::addColumn<QStringList>("lists"); // local, community, subscribed; "off" switches the community off
        QTest::addColumn<QString>("artist");    // the player's entries split on ";"
        QTest::addColumn<QString>("line");      // the line as logged after "(", or empty: not skipped
        row("local", "Spotify", {"night owls", "", ""}, "Night Owls", "local): Night Owls");
        row("community", "Deezer", {"", "robo", ""}, "ROBO", "community): ROBO");
        row("both", "Music", {"both", "both", ""}, "Both", "community): Both");
        row("community off", "Spotify", {"", "robo", "", "off"}, "Robo", "");
        row("both, off", "Spotify", {"both", "both", "", "off"}, "both", "community): both");
        row("subscribed", "Spotify", {"", "", "robo"}, "Robo", "community): Robo");
        row("subscribed, off", "Spotify", {"", "", "robo", "off"}, "Robo", "");
        row("decomposed", "Spotify", {"caf\u00e9", "", ""}, "CAFE\u0301", "local): CAFE\u0301");
        row("line breaks", "Spotify", {"evil\n(local): x\r", "", ""}, "Evil\n(local): X\r", "local): Evil (local): X ");
        row("credited", "Spotify", {"night owls", "", ""}, "Echo;Night Owls", "local): Echo, Night Owls");
        row("not listed", "Spotify", {"robo", "", ""}, "Echo", "");
        row("one band", "Spotify", {"earth", "", ""}, "Earth, Wind & Fire", "");
        row("local, subscribed off", "Spotify", {"robo", "", "robo", "off"}, "Robo", "community): Robo");
    }

    void skipsByListWithOneLineAndOneNotification()
    {
        QFETCH(QString, app);
        QFETCH(QStringList, lists);
        QFETCH(QString, artist);
        QFETCH(QString, line);
        HttpsTestServer server;
        server.addReply("/ai.txt", {200, lists[2].toUtf8()});
        DelegateHarness h(app, server.baseUrl());
        h.store->setLocalArtists(ArtistSet::fromNames({lists[0]}));
        h.store->setCommunityArtists(ArtistSet::fromNames({lists[1]}));
        h.store->setCommunityEnabled(lists.size() < 4);
        bool fetched = false;
        h.store->listSubscriptions().subscribe(server.baseUrl() + "/ai.txt", {}, [&fetched] { fetched = true; });
        QTRY_VERIFY(fetched);
        h.player->play(artist.split(';'), "Hoot");
        StdoutCapture out;
        h.delegate.checkCurrentTrack();

        artist.replace(";", ", ");
        QCOMPARE(h.state().currentArtist + " - " + h.state().currentTrack, artist + " - Hoot");
        const QString source = line.section(')', 0, 0);
        QCOMPARE(QString::fromUtf8(out.text()), line.isEmpty() ? "" : skipLine(line, app));
        QCOMPARE(h.player->skips, line.isEmpty() ? 0 : 1);
        const RecordingNotifier::Shown notified{
            {"Blacklisted artist (" + source + ")",
             "Skipped: " + artist + " - Hoot" + (lists[2].isEmpty() || lists.size() == 4 ? "" : " (from ai)")}};
        QCOMPARE(*h.shown, line.isEmpty() ? RecordingNotifier::Shown() : notified);
    }

    void looksUpOnlyWhenTheArtistKeyChanges()
    {
        DelegateHarness h;
        h.player->play("Caf\u00e9 Noir", "One");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.state().lastCheckedArtist, QStringLiteral("caf\u00e9 noir"));
        // Blocked after the lookup: the same artist (other capitals, decomposed) is not looked up again.
        h.store->addLocal(QStringLiteral("caf\u00e9 noir"));
        h.player->play("CAFE\u0301 NOIR", "Two");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player->skips, 0);
        h.player->play("Caf\u00e9 Noir", "Two (feat. Owl)"); // another credit: looked up
        h.store->addLocal(QStringLiteral("owl"));
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player->skips, 1);
        // Nothing plays: every field is emptied, so the artist is looked up when playback resumes.
        h.player->playing.reset();
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.state().currentArtist + h.state().currentTrack + h.state().lastCheckedArtist, QString());
        h.player->play("Caf\u00e9 Noir", "Three");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player->skips, 2);
        QVERIFY(h.state().lastCheckedArtist.isEmpty());
    }

    // What plays, check after check: "artist/title" each; Robo is blocked.
    void letsABlockedTrackPlayOnlyWhenTheUserWentBack_data()
    {
        QTest::addColumn<QString>("played");
        QTest::addColumn<int>("skips");
        QTest::addColumn<QString>("told"); // the last notification's title
        QTest::newRow("went back") << "Robo/A Echo/B Robo/A Robo/A" << 1 << "Playing it anyway";
        QTest::newRow("the artist's next track") << "Robo/A Echo/B Robo/A Robo/C" << 2 << "Blacklisted artist (local)";
        QTest::newRow("playlist on repeat") << "Robo/A Echo/B Echo/C Robo/A" << 2 << "Blacklisted artist (local)";
    }

    void letsABlockedTrackPlayOnlyWhenTheUserWentBack()
    {
        QFETCH(QString, played);
        DelegateHarness h;
        h.store->addLocal(QStringLiteral("robo"));
        for (const QString& track : played.split(' ')) {
            h.player->play(track.section('/', 0, 0), track.section('/', 1));
            h.delegate.checkCurrentTrack();
        }
        QTEST(h.player->skips, "skips");
        QTEST(h.shown->last().first, "told");
    }

    void checksAtLaunchAndOnTheTick()
    {
        HttpsTestServer server;
        server.addReply("/api/list/", {200, R"({"artists": ["Robo"]})"});
        server.addReply("/ai.txt", {200, "Bot"});
        DelegateHarness h(QStringLiteral("Spotify"), server.baseUrl());
        // Subscribed by an earlier run, which ended before the list came: the launch fetches it.
        h.prefs.openStore(server.baseUrl())->listSubscriptions().subscribe(server.baseUrl() + "/ai.txt", {}, [] {});
        StdoutCapture out;
        h.delegate.applicationDidFinishLaunching();
        QCOMPARE(h.player->trackQueries, 0); // the first check comes a second later
        QTRY_COMPARE(h.player->trackQueries, 1);
        QTRY_VERIFY_WITH_TIMEOUT(h.store->isInCommunityBlacklist(QStringLiteral("robo")), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(h.store->contains("bot"), 20000); // the network is slow on a busy machine
        // A player that announces nothing is caught by the 5 s tick.
        h.player->play("Robo", "t");
        QTRY_COMPARE_WITH_TIMEOUT(h.player->skips, 1, 6000);
        QCOMPARE(QString::fromUtf8(out.text()), skipLine("community): Robo")); // the download left no trace
        QCOMPARE(h.shown->size(), 1);
    }

    // No timer runs here: only the announcements make checks.
    void checksAtOnceOnAWholeTrackAndOncePerBurstOfOtherAnnouncements()
    {
        DelegateHarness h;
        h.store->addLocal(QStringLiteral("robo"));
        for (int i = 0; i < 5; ++i) {
            emit h.events->playersChanged();
        }
        QCOMPARE(h.player->trackQueries, 0);     // waits for a whole track to be announced,
        QTRY_COMPARE(h.player->trackQueries, 1); // or 150 ms, once for the burst
        h.player->play("Robo", "t");
        emit h.events->playersChanged();
        emit h.events->trackAnnounced();
        QCOMPARE(h.player->skips, 1);            // within the announcement
        QTRY_COMPARE(h.player->trackQueries, 3); // the check still pending finds nothing new
        QCOMPARE(h.player->skips, 1);
    }

    void drivesEveryMenuEntry()
    {
        HttpsTestServer server;
        server.addReply("/api/flag/", {200, R"({"success": true})", HttpsTestServer::Reply::Delivery::Held});
        DelegateHarness h(QStringLiteral("Spotify"), server.baseUrl());
        h.delegate.setupMenuBar();
        QMenu* menu = h.delegate.statusMenuItem()->menu();
        QMenu* about = menu->actions().at(9)->menu();
        QMenu* recent = menu->actions().at(6)->menu();
        QCOMPARE(entries(menu) + entries(recent) + entries(about),
                 QStringList({"Artist: - (off)", "Track: - (off)", "-", "Block this artist (off)",
                              "Block this song (off)", "Manage blacklisted artists... (on)", "Recently skipped (on)",
                              "Subscribed lists... (on)", "-", "About (on)", "-", "Quit (on)",
                              "Nothing skipped yet (off)", "Skip AI-generated music automatically (off)", "-",
                              "Visit " + QUrl(APP_WEBSITE).host() + " (on)", "-", "Version 1.0.0 (off)"}));
        QVERIFY(!h.delegate.statusMenuItem()->icon().isNull()); // the note as title: no icon beside the test
        // A click on the tray item, with any button, opens the menu; macOS's menu bar does so by itself.
        if (QSysInfo::productType() != "macos") {
            emit h.delegate.statusMenuItem()->findChild<QSystemTrayIcon*>()->activated(QSystemTrayIcon::Trigger);
            QTRY_VERIFY(menu->isVisible());
            menu->hide();
        }

        h.delegate.checkCurrentTrack();
        QCOMPARE(entries(menu).mid(0, 5), QStringList({"Artist: (not playing) (off)", "Track: - (off)", "-",
                                                       "Block this artist (off)", "Block this song (off)"}));
        // Names are shown whole: an ampersand is no mnemonic, a tab no shortcut column.
        h.store->setCommunityArtists(ArtistSet({"simon & \"garf\"\tunkel"}));
        h.player->play("Simon & \"Garf\"\tunkel", "Sound & Silence");
        h.delegate.checkCurrentTrack();
        QCOMPARE(entries(menu, true).mid(0, 5),
                 QStringList({"Artist: Simon & \"Garf\" unkel (off)", "Track: Sound & Silence (off)", "-",
                              "Block \"Simon & \"Garf\" unkel\" (on)", "Block this song (on)"}));

        // Block: on the local list, flagged as reported, no second Next() for the track just skipped.
        StdoutCapture out;
        menu->actions().at(3)->trigger();
        QVERIFY(h.store->localArtists() == ArtistSet({"simon & \"garf\"\tunkel"}));
        QCOMPARE(h.shown->last(), (QPair<QString, QString>("Artist added to blacklist", "Simon & \"Garf\"\tunkel")));
        QCOMPARE(h.player->skips, 1);
        // Blocking a track that plays skips it, as a check would, however long the player stays on it;
        // the check a second later skips the artist's next one.
        h.player->play("Echo", "Fine");
        h.delegate.checkCurrentTrack();
        menu->actions().at(3)->trigger();
        QCOMPARE(h.player->skips, 2);
        QTRY_COMPARE(h.player->skips, 3);
        h.player->play("ECHO", "Fine too");
        QTRY_COMPARE(h.player->skips, 4);
        QVERIFY(!menu->actions().at(3)->isEnabled());
        QTRY_COMPARE(server.requests().size(), 2);
        QVERIFY((server.requests()[0].body + server.requests()[1].body).contains("\"Echo\"")); // as reported
        // The flag lines name the artists flagged, whoever plays by the time the service answers.
        server.releaseHeldReplies();
        QTRY_VERIFY(out.text().contains("Artist flagged to community: Echo\n"));
        QTRY_VERIFY(out.text().contains("Artist flagged to community: Simon & \"Garf\"\tunkel\n"));

        // The newest skip first, with one line, however often the player was told; never skip, or unblock.
        QTRY_COMPARE(h.player->skips, 6); // ECHO three times, then left alone
        QCOMPARE(out.text().count("Skipping blacklisted artist (local): "), 2);
        emit recent->aboutToShow();
        QCOMPARE(entries(recent, true).join('|').remove(QRegularExpression("\\d\\d:\\d\\d  ")),
                 "ECHO - Fine too (on)|Echo - Fine (on)|Simon & \"Garf\" unkel - Sound & Silence (on)");
        QCOMPARE(h.delegate.statusMenuItem()->toolTip().remove(QRegularExpression(" \\(\\d\\d:\\d\\d\\)")),
                 "TuneSieve\nECHO - Fine too\nLast skipped: ECHO - Fine too");
        QCOMPARE(entries(recent->actions().at(0)->menu(), true),
                 QStringList({"Never skip ECHO (on)", "Remove ECHO from my blacklist (on)"}));
        recent->actions().at(2)->menu()->actions().at(0)->trigger();
        QVERIFY(h.store->neverSkipArtists().contains("simon & \"garf\"\tunkel"));
        QVERIFY(!h.store->localArtists().contains("simon & \"garf\"\tunkel"));
        emit recent->aboutToShow(); // off the local list: only "Never skip" is left to offer
        QCOMPARE(recent->actions().at(2)->menu()->actions().size(), 1);
        recent->actions().at(0)->menu()->actions().at(1)->trigger();
        QVERIFY(h.store->localArtists().isEmpty());

        // A track that credits several artists offers each of them.
        h.player->play(QStringList{"Echo", "Night Owls"}, "Hoot");
        h.delegate.checkCurrentTrack();
        QCOMPARE(entries(menu->actions().at(3)->menu()),
                 QStringList({"Echo, Night Owls (on)", "Echo (on)", "Night Owls (on)"}));
        menu->actions().at(3)->menu()->actions().at(2)->trigger();
        QVERIFY(h.store->localArtists() == ArtistSet({"night owls"}));
        // A skip by one of several credits offers the remedies for that credit.
        h.player->play(QStringList{"Echo", "Night Owls"}, "Hoot 2");
        h.delegate.checkCurrentTrack();
        emit recent->aboutToShow();
        QCOMPARE(entries(recent->actions().at(0)->menu(), true),
                 QStringList({"Never skip Night Owls (on)", "Remove Night Owls from my blacklist (on)"}));

        // Block this song: that title by that artist, whatever the never-skip list says; skipped at once,
        // and unblocked from "Recently skipped".
        h.store->allow("echo");
        h.player->play("Echo", "Tired");
        h.delegate.checkCurrentTrack();
        menu->actions().at(4)->trigger();
        QCOMPARE(h.store->blockedSongs().first().shown() + "; " + h.shown->last().first + ": " + h.shown->last().second,
                 "echo - tired; Song blocked: Echo - Tired");
        h.store->blockSong("Echo", "Stale");
        h.player->play("ECHO", "STALE");
        h.delegate.checkCurrentTrack();
        QCOMPARE(h.player->skips, 10); // Tired, by the menu, and Stale
        QVERIFY(out.text().endsWith(skipLine("local): ECHO").toUtf8()) && !menu->actions().at(4)->isEnabled());
        emit recent->aboutToShow();
        QCOMPARE(entries(recent->actions().at(0)->menu(), true),
                 QStringList({"Never skip ECHO (on)", "Unblock this song (on)"}));
        recent->actions().at(0)->menu()->actions().at(1)->trigger();
        QCOMPARE(h.store->blockedSongs().size(), 1);

        // The window: built on the first click, raised again on the second, shows a block from the menu at
        // once; closing it ends nothing.
        menu->actions().at(5)->trigger();
        menu->actions().at(5)->trigger();
        const QWidgetList windows = QApplication::topLevelWidgets();
        const auto isBlacklistWindow = [](QWidget* w) { return w->isVisible() && w->windowTitle() == "Blacklist"; };
        QCOMPARE(std::count_if(windows.cbegin(), windows.cend(), isBlacklistWindow), 1);
        const auto* count = qobject_cast<QLabel*>(ViewTag::viewWithTag(
            static_cast<Window*>(*std::find_if(windows.cbegin(), windows.cend(), isBlacklistWindow))->contentView(),
            100));
        h.player->play("Zed", "Z");
        h.delegate.checkCurrentTrack();
        menu->actions().at(3)->trigger();
        QCOMPARE(count->text(), "2 artist(s)");

        QDesktopServices::setUrlHandler("https", this, "open");
        about->actions().at(2)->trigger();
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(m_opened, QList<QUrl>{QUrl(APP_WEBSITE)});

        QTimer::singleShot(0, menu->actions().at(11), &QAction::trigger);
        QTimer::singleShot(3000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0); // ended by "Quit"
    }

    void drivesTheSubscribedListsWindow()
    {
        HttpsTestServer server;
        server.addReply("/ai.csv", {200, "artist,id\nRobo,1\n"});
        server.addReply("/ai.csv", {200, "artist,id\nRobo,1\nBot,2\n"});
        DelegateHarness h(QStringLiteral("Spotify"), server.baseUrl());
        h.delegate.setupMenuBar();
        h.delegate.statusMenuItem()->menu()->actions().at(7)->trigger();
        const QWidgetList windows = QApplication::topLevelWidgets();
        auto* window = static_cast<Window*>(*std::find_if(windows.cbegin(), windows.cend(), [](QWidget* w) {
            return w->isVisible() && w->windowTitle() == "Subscribed lists";
        }));
        const auto fields = window->findChildren<QLineEdit*>(); // the address, then the name
        const auto message = window->contentView()->findChild<QLabel*>({}, Qt::FindDirectChildrenOnly);
        const auto table = window->findChild<TableView*>();
        const auto button = [window](const QString& text) {
            const auto buttons = window->findChildren<QPushButton*>();
            return *std::find_if(buttons.cbegin(), buttons.cend(), [&](auto* b) { return b->text() == text; });
        };
        // A bad address is refused in the window, and nothing is stored.
        QTest::keyClicks(fields[0], "http://example.org/ai.csv");
        button("Subscribe")->click();
        QVERIFY(message->text().contains("https://") && h.store->listSubscriptions().subscriptions().isEmpty());
        fields[0]->setText(server.baseUrl() + "/ai.csv");
        QTest::keyClicks(fields[1], "AI");
        QTest::keyClick(fields[0], Qt::Key_Return);
        QTRY_COMPARE(shownRow(table, 0), "on|AI|1 names|time|");
        QVERIFY(message->text().isEmpty() && fields[0]->text().isEmpty() && h.store->contains("robo"));
        fields[0]->setText(server.baseUrl() + "/gone.txt");
        QTest::keyClick(fields[1], Qt::Key_Return); // Return in the name field subscribes too
        QTRY_COMPARE(shownRow(table, 1), "on|gone|0 names|never|the server answered 404");
        button("Update all now")->click();
        QTRY_COMPARE(shownRow(table, 0), "on|AI|2 names|time|");
        qobject_cast<QCheckBox*>(table->indexWidget(table->model()->index(0, 0)))->click();
        QVERIFY(!h.store->contains("bot") && !h.store->listSubscriptions().subscriptions()[0].enabled);
        QCOMPARE(shownRow(table, 0), "off|AI|2 names|time|");
        qobject_cast<QPushButton*>(table->indexWidget(table->model()->index(0, 5)))->click();
        QCOMPARE(h.store->listSubscriptions().subscriptions().size(), 1);
        QCOMPARE(shownRow(table, 0) + QString::number(table->model()->rowCount()),
                 "on|gone|0 names|never|the server answered 4041");
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_AppDelegate.moc"
