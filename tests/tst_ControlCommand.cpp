#include "app/ControlInterface.h"
#include "support/DelegateHarness.h"
#include "support/HttpsTestServer.h"
#include "support/StdoutCapture.h"
#include "support/TestMprisPlayer.h"

#include <QSignalSpy>
#include <QTest>

// tunesieve-ctl, the built command, run against a delegate of the test's own that serves the control
// interface on a private bus: what each command prints and exits with, and what it did to the lists,
// the player (Next() calls), the community (flags) and the notifications.
class TestControlCommand : public QObject
{
    Q_OBJECT
    PrivateBus m_bus;

    // Runs the command while this thread serves the bus: its exit code, then its output and errors.
    static QString run(const QStringList& arguments)
    {
        QProcess command;
        command.setProcessChannelMode(QProcess::MergedChannels);
        QSignalSpy finished(&command, &QProcess::finished);
        command.start(TUNESIEVE_CTL, arguments);
        return finished.wait(20000) ? QString::number(command.exitCode()) + ' ' + command.readAll() : "hangs";
    }

    // "own|never|songs|Next() calls|flags|notifications".
    static QString effect(const DelegateHarness& h, const HttpsTestServer& server)
    {
        const QList<HttpsTestServer::Request> requests = server.requests();
        QStringList songs;
        for (const BlockedSong& song : h.store->blockedSongs()) {
            songs << song.shown();
        }
        return QStringList{h.store->localArtists().sorted().join(','),
                           h.store->neverSkipArtists().sorted().join(','),
                           songs.join(','),
                           QString::number(h.player->skips),
                           QString::number(std::count_if(requests.cbegin(), requests.cend(),
                                                         [](const auto& r) { return r.path == "/api/flag/"; })),
                           QString::number(h.shown->size())}
            .join('|');
    }

private slots:
    void initTestCase() { QVERIFY(m_bus.isRunning()); }

    void doesWhatTheMenuDoes_data()
    {
        QTest::addColumn<QString>("playing"); // "artist;artist|title", or empty
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output"); // exit code, then a part of what it prints
        QTest::addColumn<QString>("effect");
        const QString listed = "robo|echo|echo - hoot|0|0|0"; // as set up: nothing changed
        QTest::newRow("block") << "Night Owls|Hoot" << QStringList{"block"} << "0 Night Owls\n"
                               << "night owls,robo|echo|echo - hoot|1|1|1";
        QTest::newRow("block, nothing plays") << "" << QStringList{"block"} << "1 tunesieve-ctl: Nothing is playing\n"
                                              << listed;
        QTest::newRow("block a credit") << "Echo;Night Owls|Owl" << QStringList{"block", "night owls"} << "0 "
                                        << "night owls,robo|echo|echo - hoot|1|1|1";
        QTest::newRow("block another") << "Day Larks|Chirp" << QStringList{"block", " Night Owls\t"} << "0 "
                                       << "night owls,robo|echo|echo - hoot|0|1|1";
        QTest::newRow("block it again") << "" << QStringList{"block", "ROBO"} << "1 tunesieve-ctl: ROBO is on your"
                                        << listed;
        QTest::newRow("block a blank") << "" << QStringList{"block", " "}
                                       << "1 tunesieve-ctl: An artist's name cannot be empty" << listed;
        QTest::newRow("never-skip two lines")
            << "" << QStringList{"never-skip", "A\nB"} << "1 tunesieve-ctl: An artist's name cannot hold" << listed;
        QTest::newRow("block-song") << "Day Larks|Chirp" << QStringList{"block-song"} << "0 Day Larks - Chirp\n"
                                    << "robo|echo|day larks - chirp,echo - hoot|1|0|1";
        QTest::newRow("unblock") << "" << QStringList{"unblock", "Robo"} << "0 "
                                 << "|echo|echo - hoot|0|0|0";
        QTest::newRow("unblock, not listed")
            << "" << QStringList{"unblock", "Bot"} << "1 tunesieve-ctl: Bot is not on your blacklist\n"
            << listed;
        QTest::newRow("never-skip") << "" << QStringList{"never-skip", "Robo"} << "0 "
                                    << "|echo,robo|echo - hoot|0|0|0";
        QTest::newRow("list") << "" << QStringList{"list"} << "0 robo\n" << listed;
        QTest::newRow("list community") << "" << QStringList{"--json", "list", "community"} << "0 [\"bot\"]\n"
                                        << listed;
        QTest::newRow("list never") << "" << QStringList{"list", "never"} << "0 echo\n" << listed;
        QTest::newRow("list songs") << "" << QStringList{"list", "songs"} << "0 echo\thoot\n" << listed;
        QTest::newRow("list subscriptions")
            << "" << QStringList{"list", "subscriptions"} << "0 Bots\ttrue\t0\t" << listed;
        QTest::newRow("status") << "Echo;Night Owls|Owl" << QStringList{"status"}
                                << "0 artist\tEcho, Night Owls\ncommunity\ttrue\ncommunityCount\t1\ncredits\tEcho, "
                                   "Night Owls\tEcho\tNight Owls\nlastSync\t\nneverSkipCount\t1\nownCount\t1\nplayer\t"
                                   "Spotify\nsongCount\t1\nsubscriptionCount\t1\ntitle\tOwl\n"
                                << listed;
        QTest::newRow("status, nothing plays")
            << "" << QStringList{"--json", "status"} << "0 \"player\":\"\"" << listed;
        QTest::newRow("skipped") << "Robo|Beep" << QStringList{"skipped"} << "0 Z\tSpotify\tRobo\tBeep\tlocal\tRobo\n"
                                 << "robo|echo|echo - hoot|1|0|1";
        QTest::newRow("sync") << "" << QStringList{"sync"} << "0 2\n" << listed;
        QTest::newRow("unknown") << "" << QStringList{"blok"} << "2 tunesieve-ctl: unknown command \"blok\"" << listed;
        QTest::newRow("no name") << "" << QStringList{"unblock"} << "2 tunesieve-ctl: \"unblock\" needs a name"
                                 << listed;
        QTest::newRow("help") << "" << QStringList{"--help"} << "0 Usage: tunesieve-ctl" << listed;
    }

    void doesWhatTheMenuDoes()
    {
        QFETCH(QString, playing);
        HttpsTestServer server;
        server.addReply("/api/flag/", {200, "{\"success\": true}"});
        server.addReply("/api/list/", {200, "{\"artists\": [\"Bot\", \"Robo\"]}"});
        DelegateHarness h("Spotify", server.baseUrl());
        h.player->stopsOnNext = true;
        h.store->addLocal("Robo");
        h.store->allow("Echo");
        h.store->blockSong("Echo", "Hoot");
        h.store->setCommunityArtists(ArtistSet({"bot"}));
        QVERIFY(!h.store->listSubscriptions().subscribe(server.baseUrl() + "/bots", "Bots", [] {}));
        if (!playing.isEmpty()) {
            h.player->play(playing.section('|', 0, 0).split(';'), playing.section('|', 1));
        }
        h.delegate.checkCurrentTrack();
        publishControlInterface(h.delegate);
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        const QString printed = run(arguments);
        QVERIFY2(printed.startsWith(output.section(' ', 0, 0) + ' ') && printed.contains(output.section(' ', 1)),
                 qPrintable(printed));
        QFETCH(QString, effect);
        QTRY_COMPARE(this->effect(h, server), effect);
    }

    // It says so when no agent runs, and when a download fails; it prints each skip as it happens, and only then.
    void followsTheSkips()
    {
        QCOMPARE(run({"follow"}), "3 tunesieve-ctl: TuneSieve is not running (nothing owns org.tunesieve.TuneSieve "
                                  "on the session bus)\n");
        DelegateHarness h;
        h.store->addLocal("Robo");
        QDBusConnection other = m_bus.connect("other");
        QVERIFY(other.registerService("org.tunesieve.TuneSieve"));
        {
            DelegateHarness second; // finds the name taken, says so, and goes on
            StdoutCapture errors(stderr);
            publishControlInterface(second.delegate);
            QCOMPARE(errors.text(),
                     "TuneSieve cannot take the bus name org.tunesieve.TuneSieve (another program owns it); "
                     "tunesieve-ctl cannot reach this copy.\n");
        }
        QVERIFY(other.unregisterService("org.tunesieve.TuneSieve")); // free once this returns
        publishControlInterface(h.delegate);
        QCOMPARE(run({"sync"}), "1 tunesieve-ctl: The community list could not be downloaded\n"); // a closed port
        QProcess follow;
        follow.start(TUNESIEVE_CTL, {"--json", "follow"});
        int skips = 0;
        const auto skipAnother = [&] {
            h.player->play("Robo", QString::number(++skips));
            h.delegate.checkCurrentTrack();
            return follow.canReadLine();
        };
        QTRY_VERIFY_WITH_TIMEOUT(skipAnother(), 10000); // it listens from some moment on
        QByteArray printed;
        QTRY_VERIFY((printed += follow.readAll()).endsWith(",\"title\":\"" + QByteArray::number(skips) + "\"}\n"));
        skipAnother();
        QTRY_VERIFY(follow.canReadLine());
        QCOMPARE(QString(follow.readLine()).replace(QRegularExpression("\"time\":\"[-0-9T:.]+Z\""), "\"time\":\"\""),
                 "{\"artist\":\"Robo\",\"credit\":\"Robo\",\"list\":\"local\",\"player\":\"Spotify\",\"time\":\"\","
                 "\"title\":\"" +
                     QString::number(skips) + "\"}\n");
        follow.kill();
        QVERIFY(follow.waitForFinished());
    }
};

QTEST_GUILESS_MAIN(TestControlCommand)
#include "tst_ControlCommand.moc"
