#include "support/AgentSandbox.h"
#include "support/PrivateBus.h"
#include "support/TestMprisPlayer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <csignal>

namespace {

const QByteArray kSkipLine = "\xE2\x8F\xAD\xEF\xB8\x8F Skipping blacklisted artist (local): Night Owls on Spotify\n";

// Reads what the agent has printed so far into `output`; true once it holds `expected`.
bool printed(QProcess& agent, QByteArray& output, const QByteArray& expected)
{
    output += agent.readAllStandardOutput();
    return output.contains(expected);
}

} // namespace

// The built agent, end to end: real processes on a private bus with a test player.
class TestAgentProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_bus.isRunning());
        m_sandbox.writePreferences(R"({"localBlacklistedArtists": ["night owls"]})");
        QVERIFY(m_player.isRegistered());
        m_player.setTrack({"Night Owls"}, "Hoot");
        m_player.setPlaybackStatus("Playing");
    }

    void skipsSoonAfterLaunchAndEndsCleanlyOnASignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void skipsSoonAfterLaunchAndEndsCleanlyOnASignal()
    {
        QFETCH(int, signalNumber);
        QProcess agent;
        QElapsedTimer sinceLaunch;
        sinceLaunch.start();
        QVERIFY(AgentSandbox::start(agent));

        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT(printed(agent, output, kSkipLine), 10000);
        // The check one second after launch found it, not the first five-second tick.
        QVERIFY2(sinceLaunch.elapsed() < 4500, qPrintable(QString::number(sinceLaunch.elapsed())));
        QTRY_VERIFY(m_player.nextCalls() >= 1);

        QCOMPARE(::kill(agent.processId(), signalNumber), 0);
        QVERIFY(agent.waitForFinished(10000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 0);
        // The agent added its identifier and switch and kept the list.
        QVERIFY(m_sandbox.preferencesAreValid());
        const QJsonObject stored = QJsonDocument::fromJson(m_sandbox.readPreferences()).object();
        QCOMPARE(stored.value("localBlacklistedArtists").toArray(), QJsonArray{"night owls"});
        QVERIFY(!stored.value("deviceId").toString().isEmpty());
        QCOMPARE(stored.value("communityBlacklistEnabled"), QJsonValue(true));
    }

    void runsOneCopyAtATime()
    {
        QProcess first;
        QVERIFY(AgentSandbox::start(first));
        QByteArray firstOutput;
        QTRY_VERIFY_WITH_TIMEOUT(printed(first, firstOutput, kSkipLine), 10000);
        const QByteArray preferences = m_sandbox.readPreferences();
        const QDateTime modified = QFileInfo(m_sandbox.preferencesPath()).lastModified();

        QProcess second;
        QVERIFY(AgentSandbox::start(second));
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardError(), QByteArray("TuneSieve is already running.\n"));
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        // The first copy goes on skipping, and its file is as it was.
        const int nextCalls = m_player.nextCalls();
        QTRY_VERIFY_WITH_TIMEOUT(m_player.nextCalls() > nextCalls, 10000);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(m_sandbox.readPreferences(), preferences);
        QCOMPARE(QFileInfo(m_sandbox.preferencesPath()).lastModified(), modified);

        // A copy killed outright leaves nothing behind that blocks the next one.
        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        QProcess third;
        QVERIFY(AgentSandbox::start(third));
        QByteArray thirdOutput;
        QTRY_VERIFY_WITH_TIMEOUT(printed(third, thirdOutput, kSkipLine), 10000);
        QCOMPARE(third.state(), QProcess::Running);
        third.terminate();
        QVERIFY(third.waitForFinished(10000));
        QCOMPARE(third.exitCode(), 0);
    }

private:
    PrivateBus m_bus;
    AgentSandbox m_sandbox;
    TestMprisPlayer m_player{m_bus, "spotify", "Spotify"};
};

QTEST_GUILESS_MAIN(TestAgentProcess)
#include "tst_AgentProcess.moc"
