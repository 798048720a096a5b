// The agent, unchanged, against tunesieve-community as people run it: behind the repository's nginx
// site over HTTPS, and two servers on one database.
#include "support/DelegateHarness.h"
#include "support/NginxProcess.h"
#include "support/ServiceProcess.h"
#include "support/StdoutCapture.h"
#include "support/TestMprisPlayer.h"

#include "blacklist/ArtistListFile.h"

#include <QJsonArray>
#include <QMenu>

namespace {

// This build installed with `cmake --install` into a temporary prefix, and its agent run with
// preferences of its own (XDG_CONFIG_HOME) and trusting the test's CA.
class InstalledAgent
{
public:
    InstalledAgent()
    {
        QProcess install;
        install.start(TUNESIEVE_CMAKE_COMMAND, {"--install", TUNESIEVE_BUILD_DIR, "--prefix", m_prefix.path()});
        QVERIFY(install.waitForFinished(60000) && install.exitCode() == 0 && QDir(m_config.path()).mkpath("tunesieve"));
        m_process.setEnvironment(QProcess::systemEnvironment()
                                 << "XDG_CONFIG_HOME=" + m_config.path() << "XDG_RUNTIME_DIR=" + m_config.path()
                                 << "XDG_DATA_HOME=" + m_config.path() << "SSL_CERT_FILE=" + kTlsFolder + "ca.pem");
    }
    ~InstalledAgent() { stop(); }

    // With `preferences`, in a new preferences file; without, on the file as the last run left it.
    void start(const QJsonObject& preferences = {})
    {
        QVERIFY(preferences.isEmpty() || (m_file.open(QIODevice::WriteOnly) &&
                                          m_file.write(QJsonDocument(preferences).toJson()) > 0 && m_file.flush()));
        m_file.close();
        m_process.start(m_prefix.filePath("bin/tunesieve"), {});
    }
    void stop() { m_process.terminate(), m_process.waitForFinished(10000); }
    // The community list as its last sync stored it.
    QStringList communityList() { return m_communityList.names().toSet().sorted(); }

private:
    QTemporaryDir m_prefix, m_config;
    QFile m_file{m_config.filePath("tunesieve/com.tunesieve.blacklist.json")};
    const ArtistListFile m_communityList{m_config.filePath("tunesieve/communityBlacklistedArtists.names")};
    QProcess m_process;
};

} // namespace

class tst_CommunityAgent : public QObject
{
    Q_OBJECT

private slots:
    // Three agents, each on a network of its own behind nginx, block a name from their menus; a fourth,
    // the installed agent pointed by its communityServiceURL at a second server on the same database,
    // skips the name from its next sync, and plays it again from the sync after a moderator rejected it.
    // The three are driven in-process, as the tray menu is their only control; the fourth is a real
    // agent process on a private bus.
    void blockedByThreeSkippedByAFourth()
    {
        Service service;
        Service direct({"--tls-cert", kTlsFolder + "server.pem", "--tls-key", kTlsFolder + "server.key"}, &service);
        Nginx nginx(service.port(), 3);
        for (int network = 1; network <= 3; ++network) {
            DelegateHarness agent(QStringLiteral("Spotify"), nginx.baseUrl(network));
            agent.delegate.setupMenuBar();
            agent.player->play("Robo Crooner", "Hoot");
            agent.delegate.checkCurrentTrack();
            StdoutCapture out;
            agent.delegate.statusMenuItem()->menu()->actions().at(3)->trigger(); // "Block "Robo Crooner""
            QTRY_VERIFY(out.text().endsWith("Artist flagged to community: Robo Crooner\n"));
        }
        // nginx keeps the list for its clients; the operator's endpoints stay behind it but its health.
        const QByteArray caching[] = {"200 MISS", "200 HIT", "200 ", "404 "};
        const QByteArray paths[] = {"/api/list/", "/api/list/", "/healthz", "/metrics"};
        for (int request = 0; request < 4; ++request) {
            const HttpReply reply = httpRequest(nginx.ports().first(), true, "GET", paths[request]);
            QCOMPARE(QByteArray::number(reply.status) + ' ' + reply.headers.value("x-cache-status"), caching[request]);
        }

        PrivateBus bus;
        TestMprisPlayer player(bus, "spotify", "Spotify");
        QVERIFY(bus.isRunning() && player.isRegistered());
        player.setPlaybackStatus("Playing");
        InstalledAgent agent;
        QTRY_COMPARE(direct.listed(), QStringList{"robo crooner"}); // the second server follows the first
        agent.start({{"communityServiceURL", direct.baseUrl()}, {"localBlacklistedArtists", QJsonArray{"night owls"}}});
        QTRY_COMPARE_WITH_TIMEOUT(agent.communityList(), QStringList{"robo crooner"}, 15000);
        player.setTrack({"Robo Crooner"}, "Hoot");
        QTRY_VERIFY_WITH_TIMEOUT(player.nextCalls("Hoot") > 0, 15000);

        QCOMPARE(service.moderate({"reject", "Robo Crooner"}), "0 rejected: robo crooner\n");
        QTRY_COMPARE(direct.listed(), QStringList{});
        agent.stop();
        agent.start();
        QTRY_COMPARE_WITH_TIMEOUT(agent.communityList(), QStringList{}, 15000);
        player.setTrack({"Robo Crooner"}, "Hoot again");
        player.setTrack({"Night Owls"}, "Owl"); // skipped by the local list, after the track before it
        QTRY_COMPARE_WITH_TIMEOUT(player.nextCalls("Owl"), 1, 15000);
        QCOMPARE(player.nextCalls("Hoot again"), 0);
    }
};

QTEST_MAIN(tst_CommunityAgent)
#include "tst_CommunityAgent.moc"
