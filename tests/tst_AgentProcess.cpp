#include "support/TestMprisPlayer.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

const QByteArray kSkipLine = "\xE2\x8F\xAD\xEF\xB8\x8F Skipping blacklisted artist (local): Night Owls on Spotify\n";
const QByteArray kHeadlessLine =
    "TuneSieve finds no display: it runs on without its tray icon; edit its blacklist file by hand.\n";
// env(1)'s arguments for a user who chose no Qt platform and has no display but the row's.
const QStringList kNoPlatform = {"-u", "QT_QPA_PLATFORM", "-u", "WAYLAND_DISPLAY", "-u", "DISPLAY"};

// This build installed with `cmake --install` into a temporary prefix, the way a user or a package
// installs it, and the installed agent run on a private bus where a test player plays a track by a
// blocked artist, with preferences and lock of the test's own.
class TestAgentProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_bus.isRunning() && m_player.isRegistered() && QDir(m_config.path()).mkpath("tunesieve"));
        QFile preferences(m_config.filePath("tunesieve/com.tunesieve.blacklist.json"));
        QVERIFY(preferences.open(QIODevice::WriteOnly) &&
                preferences.write(R"({"localBlacklistedArtists": ["night owls"]})") > 0 && preferences.flush());
        m_player.setTrack({"Night Owls"}, "Hoot");
        m_player.setPlaybackStatus("Playing");
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        QProcess install;
        install.start(TUNESIEVE_CMAKE_COMMAND, {"--install", TUNESIEVE_BUILD_DIR, "--prefix", m_prefix.path()});
        QVERIFY(install.waitForFinished(60000) && install.exitCode() == 0);
        m_xvfb.start("Xvfb", {"-displayfd", "1"});
        QVERIFY(m_xvfb.waitForReadyRead(10000));
    }

    void cleanupTestCase() { m_xvfb.terminate(), m_xvfb.waitForFinished(); }

    // Each file lies where the installed agent, the desktop and systemd look for it, as it is in
    // resources/ (a template there names the installed agent); systemd, where installed, finds no fault
    // in the unit.
    void installsItsFiles_data()
    {
        QTest::addColumn<QString>("path");
        for (const char* path :
             {"share/tunesieve/menubar_icon.png", "share/tunesieve/menubar_icon@2x.png",
              "share/applications/tunesieve.desktop", "share/icons/hicolor/256x256/apps/tunesieve.png",
              "share/icons/hicolor/scalable/apps/tunesieve.svg", "share/systemd/user/tunesieve.service"}) {
            QTest::newRow(path) << QString(path);
        }
    }

    void installsItsFiles()
    {
        QFETCH(QString, path);
        const auto read = [](const QString& name) {
            QFile file(name);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QString source = TUNESIEVE_SOURCE_DIR "/resources/" + QFileInfo(path).fileName();
        QCOMPARE(read(m_prefix.filePath(path)).replace(QFile::encodeName(m_agent), "@TUNESIEVE_BINARY@"),
                 read(QFile::exists(source) ? source : source + ".in"));
        if (path.endsWith(".service") && !QStandardPaths::findExecutable("systemd-analyze").isEmpty()) {
            QProcess verify; // whose warnings, such as a value it ignores, leave its status 0
            verify.start("systemd-analyze", {"verify", "--user", m_prefix.filePath(path)});
            QVERIFY(verify.waitForFinished(30000));
            QCOMPARE(verify.readAllStandardError() + QByteArray::number(verify.exitCode()), "0");
        }
    }

    // Whatever becomes of its standard output, with a display or none, it skips and goes on skipping,
    // and SIGTERM ends it cleanly. Offline, so that no network write has ignored SIGPIPE for it.
    void skipsWhateverBecomesOfItsOutput_data()
    {
        QTest::addColumn<bool>("readerGone");
        QTest::addColumn<bool>("pipeFull");
        QTest::addColumn<QStringList>("environment"); // none: the test's offscreen platform
        QTest::addColumn<bool>("headless");
        const QString display = "DISPLAY=:" + m_xvfb.peek(16).trimmed();
        QTest::newRow("a reader") << false << false << QStringList() << false;
        QTest::newRow("the reader gone") << true << false << QStringList() << false;
        QTest::newRow("a full pipe never read") << false << true << QStringList() << false;
        QTest::newRow("no display") << false << false << kNoPlatform << true;
        QTest::newRow("a display gone") << false << false << kNoPlatform + QStringList("DISPLAY=:65534") << true;
        QTest::newRow("a display") << false << false << kNoPlatform + QStringList(display) << false;
    }

    void skipsWhateverBecomesOfItsOutput()
    {
        QFETCH(bool, readerGone);
        QFETCH(bool, pipeFull);
        QFETCH(QStringList, environment);
        QFETCH(bool, headless);
        int pipeFds[2];
        QCOMPARE(::pipe2(pipeFds, O_CLOEXEC), 0);
        const auto [readEnd, writeEnd] = pipeFds;
        ::fcntl(readEnd, F_SETFL, O_NONBLOCK); // the agent's end blocks, as a terminal's or journal's does
        if (readerGone) {
            ::close(readEnd);
        }
        if (pipeFull) { // one page, filled
            QCOMPARE(::fcntl(writeEnd, F_SETPIPE_SZ, PIPE_BUF), PIPE_BUF);
            QCOMPARE(::write(writeEnd, QByteArray(PIPE_BUF, 'x').constData(), PIPE_BUF), PIPE_BUF);
        }
        QProcess agent;
        agent.setChildProcessModifier([writeEnd = writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
        const int nextCalls = m_player.nextCalls();
        agent.start("env", environment << m_agent);
        QVERIFY(agent.waitForStarted(10000));
        // The player stays on its track, so the agent skips it again and again.
        QTRY_VERIFY_WITH_TIMEOUT(m_player.nextCalls() >= nextCalls + 3, 15000);
        if (!readerGone && !pipeFull) {
            // Each line is in the pipe before its Next() is sent.
            QFile output;
            QVERIFY(output.open(readEnd, QIODevice::ReadOnly | QIODevice::Unbuffered));
            QCOMPARE(output.read(kSkipLine.size()), kSkipLine);
        }
        QCOMPARE(::kill(agent.processId(), SIGTERM), 0);
        QVERIFY(agent.waitForFinished(10000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 0);
        // Headless, the one line it prints and nothing else; otherwise not that line.
        const QByteArray errors = agent.readAllStandardError();
        QCOMPARE(errors.contains(kHeadlessLine) ? errors : QByteArray(), headless ? kHeadlessLine : QByteArray());
        ::close(readEnd); // fails harmlessly for a reader gone
        ::close(writeEnd);
    }

    // A second copy leaves at once; a copy killed outright leaves nothing that stops the next.
    void runsOneCopyAtATime()
    {
        QProcess first, second, third;
        first.start(m_agent, {});
        QTRY_COMPARE_WITH_TIMEOUT(first.peek(kSkipLine.size()), kSkipLine, 10000);
        second.start(m_agent, {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.readAllStandardError(), QByteArray("TuneSieve is already running.\n"));
        QCOMPARE(second.exitCode(), 0);
        first.kill();
        QVERIFY(first.waitForFinished(10000));
        third.start(m_agent, {});
        QTRY_COMPARE_WITH_TIMEOUT(third.peek(kSkipLine.size()), kSkipLine, 10000);
    }

private:
    PrivateBus m_bus;
    TestMprisPlayer m_player{m_bus, "spotify", "Spotify"};
    QTemporaryDir m_prefix, m_config, m_runtime;
    const QString m_agent = m_prefix.filePath("bin/tunesieve");
    QProcess m_xvfb; // an X server whose display number it prints
};

QTEST_GUILESS_MAIN(TestAgentProcess)
#include "tst_AgentProcess.moc"
