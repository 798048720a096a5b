#include "support/PrivateBus.h"
#include "support/TestMprisPlayer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The built agent, end to end: a real process on a private bus with a test player.
class TestAgentProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_bus.isRunning()); }

    void skipsABlockedArtistSoonAfterLaunch()
    {
        QTemporaryDir config;
        QVERIFY(QDir(config.path()).mkpath("tunesieve"));
        QFile prefs(config.filePath("tunesieve/com.tunesieve.blacklist.json"));
        QVERIFY(prefs.open(QIODevice::WriteOnly));
        prefs.write(R"({"localBlacklistedArtists": ["night owls"]})");
        prefs.close();

        TestMprisPlayer player(m_bus, "spotify", "Spotify");
        QVERIFY(player.isRegistered());
        player.setTrack({"Night Owls"}, "Hoot");
        player.setPlaybackStatus("Playing");

        QProcess agent;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config.path());
        environment.insert("DBUS_SESSION_BUS_ADDRESS", m_bus.address());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        agent.setProcessEnvironment(environment);
        QElapsedTimer sinceLaunch;
        sinceLaunch.start();
        agent.start(TUNESIEVE_BINARY, QStringList());
        QVERIFY(agent.waitForStarted());

        const QByteArray expected =
            "\xE2\x8F\xAD\xEF\xB8\x8F Skipping blacklisted artist (local): Night Owls on Spotify\n";
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += agent.readAllStandardOutput()).contains(expected), 10000);
        // The check one second after launch found it, not the first five-second tick.
        QVERIFY2(sinceLaunch.elapsed() < 4500, qPrintable(QString::number(sinceLaunch.elapsed())));
        QTRY_VERIFY(player.nextCalls() >= 1);
        QCOMPARE(agent.state(), QProcess::Running);

        agent.terminate();
        QVERIFY(agent.waitForFinished(5000));
        // The agent added its identifier and switch and kept the list.
        QVERIFY(prefs.open(QIODevice::ReadOnly));
        const QJsonObject stored = QJsonDocument::fromJson(prefs.readAll()).object();
        QCOMPARE(stored.value("localBlacklistedArtists").toArray(), QJsonArray{"night owls"});
        QVERIFY(!stored.value("deviceId").toString().isEmpty());
        QCOMPARE(stored.value("communityBlacklistEnabled"), QJsonValue(true));
    }

private:
    PrivateBus m_bus;
};

QTEST_GUILESS_MAIN(TestAgentProcess)
#include "tst_AgentProcess.moc"
