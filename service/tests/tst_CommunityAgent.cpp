// The agent's own community client, unchanged, against tunesieve-community over HTTPS.
#include "support/DelegateHarness.h"
#include "support/ServiceProcess.h"
#include "support/StdoutCapture.h"

#include <QMenu>

class tst_CommunityAgent : public QObject
{
    Q_OBJECT

private slots:
    // Three agents block a name from their menus, each from its own installation (all from loopback,
    // so one network: the threshold is 1 here), and flag it again and another name; the service
    // counts each device once per name, and a fourth agent downloads the listed name. A name the
    // moderators rejected is counted, never listed.
    void flagsAreCountedAndSynced()
    {
        Service service(
            {"--tls-cert", kTlsFolder + "server.pem", "--tls-key", kTlsFolder + "server.key", "--threshold", "1"});
        QCOMPARE(service.moderate({"reject", "Human Band"}).left(1), "0");
        const QString baseUrl = QStringLiteral("https://127.0.0.1:%1").arg(service.port());
        for (int installations = 0; installations < 3; ++installations) {
            DelegateHarness agent(QStringLiteral("Spotify"), baseUrl);
            agent.delegate.setupMenuBar();
            agent.player->play("Robo Crooner", "Hoot");
            agent.delegate.checkCurrentTrack();
            StdoutCapture out;
            agent.delegate.statusMenuItem()->menu()->actions().at(3)->trigger(); // "Block "Robo Crooner""
            QTRY_VERIFY(out.text().endsWith("Artist flagged to community: Robo Crooner\n"));
            const auto& store = agent.store;
            for (const char* artist : {"Robo Crooner", "HUMAN BAND"}) {
                std::optional<bool> flagged;
                store->flagArtist(artist, [&flagged](bool success) { flagged = success; });
                QTRY_VERIFY(flagged.has_value());
                QVERIFY(*flagged);
            }
        }
        TempPreferences fourth;
        const auto store = fourth.openStore(baseUrl);
        std::optional<int> count;
        store->syncCommunityBlacklist([&count](bool success, int names) { count = success ? names : -1; });
        QTRY_VERIFY(count.has_value());
        QCOMPARE(*count, 1);
        QVERIFY(store->isInCommunityBlacklist("robo crooner"));
        QVERIFY(service.moderate({"status"}).contains("\nflags: 6\n"));
    }
};

QTEST_MAIN(tst_CommunityAgent)
#include "tst_CommunityAgent.moc"
