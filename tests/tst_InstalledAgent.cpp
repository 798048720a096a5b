#include "player/MusicController.h"
#include "player/linux/MprisScriptRunner.h"
#include "support/AgentSandbox.h"
#include "support/MpvPlayer.h"
#include "support/PrivateBus.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The distinct lines of `output`, in the order they first appear: a check that comes before the
// player has moved on rightly skips the same track again.
QStringList distinctLines(const QByteArray& output)
{
    QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.removeDuplicates();
    return lines;
}

QString playing(MusicController& bridge)
{
    const std::optional<NowPlaying> track = bridge.getCurrentTrack();
    return track ? track->artist : QString();
}

} // namespace

// This build, installed with `cmake --install` into a temporary prefix, the way a user or a
// package installs it; the installed agent then runs end to end on a private bus with mpv.
class TestInstalledAgent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_bus.isRunning());
        QVERIFY(m_prefix.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        install.setStandardOutputFile(QProcess::nullDevice());
        install.start(TUNESIEVE_CMAKE_COMMAND, {"--install", TUNESIEVE_BUILD_DIR, "--prefix", m_prefix.path()});
        QVERIFY(install.waitForFinished(60000));
        QCOMPARE(install.exitCode(), 0);
    }

    void installsEverythingUnderThePrefix()
    {
        QVERIFY(QFileInfo(m_prefix.filePath("bin/tunesieve")).isExecutable());
        // The installed agent looks for its status icon in ../share/tunesieve beside bin/.
        for (const QString icon : {"menubar_icon.png", "menubar_icon@2x.png"}) {
            const QByteArray installed = readFile(m_prefix.filePath("share/tunesieve/" + icon));
            QVERIFY2(!installed.isEmpty(), qPrintable(icon));
            QCOMPARE(installed, readFile(TUNESIEVE_SOURCE_DIR "/resources/" + icon));
        }
        QCOMPARE(QImage(m_prefix.filePath("share/icons/hicolor/256x256/apps/tunesieve.png")).size(), QSize(256, 256));
        QVERIFY(QFileInfo(m_prefix.filePath("share/icons/hicolor/scalable/apps/tunesieve.svg")).isFile());

        const QString desktopEntry = m_prefix.filePath("share/applications/tunesieve.desktop");
        const QList<QByteArray> lines = readFile(desktopEntry).split('\n');
        for (const QByteArray line :
             {"Type=Application", "Name=TuneSieve", "Comment=Skip AI-generated music automatically",
              "Categories=AudioVideo;Audio;", "Exec=tunesieve", "Icon=tunesieve", "X-GNOME-Autostart-enabled=true"}) {
            QVERIFY2(lines.contains(line), line.constData());
        }
        // Listed in the application menu.
        QVERIFY(!lines.contains("NoDisplay=true") && !lines.contains("Hidden=true"));

        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty()) {
            QSKIP("desktop-file-validate is not installed (scripts/setup installs it)");
        }
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(validator, {desktopEntry});
        QVERIFY(validate.waitForFinished(10000));
        QVERIFY2(validate.exitCode() == 0, validate.readAll().constData());
    }

    // On a looping playlist that starts at its 3rd track, the agent skips the 3rd and the 1st
    // (both blocked) and stays on the 2nd.
    void skipsBlockedArtistsOnARealPlayer()
    {
        if (const QString missing = MpvPlayer::missingReason(); !missing.isEmpty()) {
            QSKIP(qPrintable(missing));
        }
        m_sandbox.writePreferences(R"({"localBlacklistedArtists": ["ash arbor", "cedar cove"]})");
        const MpvPlayer mpv({{"Ash Arbor", "First"}, {"Birch Bay", "Second"}, {"Cedar Cove", "Third"}}, 2);
        QVERIFY(mpv.isRunning());
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        QTRY_COMPARE_WITH_TIMEOUT(playing(bridge), QString("Cedar Cove"), 20000);

        QProcess agent;
        QVERIFY(AgentSandbox::start(agent, m_prefix.filePath("bin/tunesieve")));
        const QStringList skips = {"\u23ED\uFE0F Skipping blacklisted artist (local): Cedar Cove on Music",
                                   "\u23ED\uFE0F Skipping blacklisted artist (local): Ash Arbor on Music"};
        QByteArray output;
        QTRY_COMPARE_WITH_TIMEOUT(distinctLines(output += agent.readAllStandardOutput()), skips, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(playing(bridge), QString("Birch Bay"), 10000);
        // Past the check that follows the last skip and the next poll tick, it still plays.
        QTest::qWait(6000);
        QCOMPARE(distinctLines(output + agent.readAllStandardOutput()), skips);
        QCOMPARE(playing(bridge), QString("Birch Bay"));

        QCOMPARE(::kill(agent.processId(), SIGTERM), 0);
        QVERIFY(agent.waitForFinished(10000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 0);
        QVERIFY(m_sandbox.preferencesAreValid());
        const QJsonObject stored = QJsonDocument::fromJson(m_sandbox.readPreferences()).object();
        QCOMPARE(stored.value("localBlacklistedArtists").toArray(), (QJsonArray{"ash arbor", "cedar cove"}));
    }

private:
    PrivateBus m_bus;
    AgentSandbox m_sandbox;
    QTemporaryDir m_prefix;
};

QTEST_GUILESS_MAIN(TestInstalledAgent)
#include "tst_InstalledAgent.moc"
