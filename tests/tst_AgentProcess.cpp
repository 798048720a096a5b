#include "support/HttpsTestServer.h"
#include "support/TestMprisPlayer.h"

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
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

// The widths of the images in an a(iiay) of the StatusNotifierItem protocol, with their byte counts.
QStringList imageSizes(const QDBusArgument& images)
{
    QStringList sizes;
    images.beginArray();
    for (int width = 0, height = 0; !images.atEnd(); images.endStructure()) {
        QByteArray argb;
        images.beginStructure();
        images >> width >> height >> argb;
        sizes << QString::number(width) + ':' + QString::number(argb.size());
    }
    images.endArray();
    return sizes;
}

// Each label of a com.canonical.dbusmenu layout (ia{sv}av) as a host shows it: "__" is an underscore,
// another "_" marks the mnemonic.
void readLabels(const QDBusArgument& layout, QStringList& labels)
{
    int id = 0;
    QVariantMap properties;
    layout.beginStructure();
    layout >> id >> properties;
    labels << properties.value("label").toString().replace(QRegularExpression("_(_?)"), "\\1");
    layout.beginArray();
    while (!layout.atEnd()) {
        QDBusVariant child;
        layout >> child;
        readLabels(qvariant_cast<QDBusArgument>(child.variant()), labels);
    }
    layout.endArray();
    layout.endStructure();
}

// This build installed with `cmake --install` into a temporary prefix, the way a user or a package
// installs it, and the installed agent run on a private bus where a test player plays a track by a
// blocked artist, with preferences and lock of the test's own.
// The test is also the desktop's StatusNotifierWatcher, with a host registered, for an agent with a display.
class TestAgentProcess : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER m_hostRegistered)
    bool m_hostRegistered = true;
    QStringList m_items, m_heard;

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service) { m_items << service; }
    void heard(const QDBusMessage& update) { m_heard << update.member(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_bus.isRunning() && m_player.isRegistered() && QDir(m_config.path()).mkpath("tunesieve"));
        QVERIFY(QDBusConnection::sessionBus().registerObject("/StatusNotifierWatcher", this,
                                                             QDBusConnection::ExportScriptableContents) &&
                QDBusConnection::sessionBus().registerService("org.kde.StatusNotifierWatcher"));
        QFile file(m_config.filePath("tunesieve/com.tunesieve.blacklist.json")); // closed before any agent starts
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(R"({"localBlacklistedArtists": ["night owls"]})") > 0);
        m_player.setTrack({"Night Owls"}, "Hoot");
        m_player.setPlaybackStatus("Playing");
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        QProcess install;
        install.start(TUNESIEVE_CMAKE_COMMAND, {"--install", TUNESIEVE_BUILD_DIR, "--prefix", m_prefix.path()});
        QVERIFY(install.waitForFinished(60000) && install.exitCode() == 0);
        const QString cookies = m_config.filePath("Xauthority"); // the only cookie the second server lets in
        QVERIFY(QFile(cookies).open(QIODevice::WriteOnly));      // there, so that xauth does not say it made it
        QCOMPARE(QProcess::execute("xauth", {"-f", cookies, "add", ":0", ".", QString(32, 'a')}), 0);
        m_xvfb.start("Xvfb", {"-displayfd", "1"});
        m_refusingXvfb.start("Xvfb", {"-displayfd", "1", "-auth", cookies});
        QVERIFY(m_xvfb.waitForReadyRead(10000) && m_refusingXvfb.waitForReadyRead(10000));
    }

    void cleanupTestCase()
    {
        for (QProcess* xvfb : {&m_xvfb, &m_refusingXvfb}) {
            xvfb->terminate(), xvfb->waitForFinished();
        }
    }

    // A second copy leaves at once; a copy killed outright leaves nothing that stops the next, such as the
    // copies of the tests that follow.
    void runsOneCopyAtATime()
    {
        QProcess first, second;
        first.start(m_agent, {});
        QTRY_COMPARE_WITH_TIMEOUT(first.peek(kSkipLine.size()), kSkipLine, 10000);
        second.start(m_agent, {});
        QVERIFY(second.waitForFinished(10000) && second.exitCode() == 0);
        QCOMPARE(second.readAllStandardError(), QByteArray("TuneSieve is already running.\n"));
        QProcess command; // the installed command reaches the first copy on the bus
        command.start(m_prefix.filePath("bin/tunesieve-ctl"), {"skipped"});
        QVERIFY(command.waitForFinished(10000) &&
                command.readAll().contains("\tNight Owls\tHoot\tlocal\tNight Owls\n"));
        first.kill();
        QVERIFY(first.waitForFinished(10000));
    }

    // Each file lies where the installed agent, the desktop and systemd look for it; systemd finds no fault in
    // the unit, such as an agent that is not where the unit says.
    void installsItsFiles()
    {
        for (const char* path :
             {"tunesieve/menubar_icon.png", "tunesieve/menubar_icon@2x.png", "applications/tunesieve.desktop",
              "icons/hicolor/256x256/apps/tunesieve.png", "icons/hicolor/scalable/apps/tunesieve.svg",
              "tunesieve/tunesieve-community.nginx", "man/man1/tunesieve-ctl.1"}) {
            QVERIFY2(QFile::exists(m_prefix.filePath("share/") + path), path);
        }
        // The agent's user unit, and the community service's system unit with its sandbox.
        for (const QString unit : {"--user share/systemd/user/tunesieve.service",
                                   "--system lib/systemd/system/tunesieve-community.service"}) {
            QProcess verify; // whose warnings, such as a value it ignores, leave its status 0
            verify.start("systemd-analyze",
                         {"verify", unit.section(' ', 0, 0), m_prefix.filePath(unit.section(' ', 1))});
            QVERIFY(verify.waitForFinished(30000));
            QCOMPARE(verify.readAllStandardError() + QByteArray::number(verify.exitCode()), "0");
        }
    }

    // As a StatusNotifier host reads it: named after the installed symbolic icon, with its images in both
    // sizes, titled; names whole in the exported menu; and nothing sent while nothing changes.
    void showsItselfToATrayHost()
    {
        m_player.setTrack({"my_band & co"}, "Hoot");
        const auto cleanup = qScopeGuard([&] { m_player.setTrack({"Night Owls"}, "Hoot"); });
        QProcess agent;
        agent.start("env", kNoPlatform + QStringList{"DISPLAY=:" + m_xvfb.peek(16).trimmed(),
                                                     "XDG_DATA_DIRS=" + m_prefix.filePath("share"), m_agent});
        QTRY_COMPARE_WITH_TIMEOUT(m_items.size(), 1, 10000);
        // Plain calls: a QDBusInterface would introspect, and Qt keeps what that parses to the end.
        const auto call = [&](const QString& path, const QString& interface, const QString& method,
                              const QVariantList& arguments) {
            QDBusMessage message = QDBusMessage::createMethodCall(m_items[0], path, interface, method);
            message.setArguments(arguments);
            return QDBusConnection::sessionBus().call(message);
        };
        const auto get = [&](const char* name) {
            const QDBusMessage reply = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                            {"org.kde.StatusNotifierItem", name});
            return reply.arguments().value(0).value<QDBusVariant>().variant();
        };
        const QString menuPath = get("Menu").value<QDBusObjectPath>().path();
        const auto labels = [&] {
            QStringList labels; // none while the menu is not there
            const QDBusMessage layout = call(menuPath, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
            if (layout.type() == QDBusMessage::ReplyMessage) {
                readLabels(qvariant_cast<QDBusArgument>(layout.arguments().value(1)), labels);
            }
            return labels;
        };
        QTRY_VERIFY_WITH_TIMEOUT(labels().contains("Artist: my_band & co"), 10000);
        QCOMPARE(get("IconName").toString(), "tunesieve-symbolic");
        QCOMPARE(imageSizes(get("IconPixmap").value<QDBusArgument>()), QStringList({"18:1296", "36:5184"}));
        QCOMPARE(get("Title").toString(), "TuneSieve");
        // Every signal of the item and of its menu.
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.connect(m_items[0], "/StatusNotifierItem", "org.kde.StatusNotifierItem", {}, this,
                            SLOT(heard(QDBusMessage))) &&
                bus.connect(m_items[0], menuPath, "com.canonical.dbusmenu", {}, this, SLOT(heard(QDBusMessage))));
        const qsizetype reads = m_player.calls().size();
        QTRY_VERIFY_WITH_TIMEOUT(m_player.calls().size() >= reads + 2, 15000); // two checks, one of them polled
        QCOMPARE(m_heard, QStringList());

        agent.terminate();
        QVERIFY(agent.waitForFinished(10000));
    }

    // Whatever becomes of its standard output, with a display or none, it skips and goes on skipping,
    // and SIGTERM ends it cleanly. Offline, so that no network write has ignored SIGPIPE for it.
    void skipsWhateverBecomesOfItsOutput_data()
    {
        QTest::addColumn<QString>("output");          // read, its reader gone, or a full pipe never read
        QTest::addColumn<QStringList>("environment"); // none: the test's offscreen platform
        QTest::addColumn<QByteArray>("errors");       // headless, the one line it prints, and nothing else
        const QString display = "DISPLAY=:" + m_xvfb.peek(16).trimmed();
        QTcpServer port; // a TCP port above 6000 that nothing listens on once it is closed
        QVERIFY(port.listen(QHostAddress::LocalHost));
        const QString unheard = "DISPLAY=127.0.0.1:" + QString::number(port.serverPort() - 6000);
        port.close();
        const QStringList refusing = {"DISPLAY=:" + m_refusingXvfb.peek(16).trimmed(),
                                      "XAUTHORITY=" + m_config.filePath("no cookies")};
        QTest::newRow("a reader") << QString("read") << QStringList() << QByteArray();
        QTest::newRow("the reader gone") << QString("gone") << QStringList() << QByteArray();
        QTest::newRow("a full pipe never read") << QString("full") << QStringList() << QByteArray();
        QTest::newRow("no display") << QString("read") << kNoPlatform << kHeadlessLine;
        QTest::newRow("a display gone") << QString("read") << kNoPlatform + QStringList("DISPLAY=:65534")
                                        << kHeadlessLine;
        QTest::newRow("a remote display nothing listens on")
            << QString("read") << kNoPlatform + QStringList(unheard) << kHeadlessLine;
        QTest::newRow("a display that refuses us") << QString("read") << kNoPlatform + refusing << kHeadlessLine;
        QTest::newRow("a display") << QString("read") << kNoPlatform + QStringList(display) << QByteArray();
    }

    void skipsWhateverBecomesOfItsOutput()
    {
        QFETCH(QString, output);
        QFETCH(QStringList, environment);
        int pipeFds[2];
        QCOMPARE(::pipe2(pipeFds, O_CLOEXEC), 0);
        auto& [readEnd, writeEnd] = pipeFds;
        ::fcntl(readEnd, F_SETFL, O_NONBLOCK); // the agent's end blocks, as a terminal's or journal's does
        if (output == "gone") {
            ::close(std::exchange(readEnd, -1));
        }
        if (output == "full") { // one page, filled
            QCOMPARE(::fcntl(writeEnd, F_SETPIPE_SZ, PIPE_BUF), PIPE_BUF);
            QCOMPARE(::write(writeEnd, QByteArray(PIPE_BUF, 'x').constData(), PIPE_BUF), PIPE_BUF);
        }
        QProcess agent;
        agent.setChildProcessModifier([writeEnd = writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
        const int nextCalls = m_player.nextCalls();
        agent.start("env", environment << m_agent);
        // The player stays on its track, so the agent skips it again and again; the track's one line is in
        // the pipe before the first Next() is sent.
        QTRY_VERIFY_WITH_TIMEOUT(m_player.nextCalls() >= nextCalls + 3, 15000);
        QByteArray line(kSkipLine.size(), '\0');
        QVERIFY(output != "read" || (::read(readEnd, line.data(), line.size()) == line.size() && line == kSkipLine));
        QCOMPARE(::kill(agent.processId(), SIGTERM), 0);
        QVERIFY(agent.waitForFinished(10000) && agent.exitStatus() == QProcess::NormalExit && agent.exitCode() == 0);
        const QByteArray errors = agent.readAllStandardError(); // the headless line, or not that line
        QTEST(errors.contains(kHeadlessLine) ? errors : QByteArray(), "errors");
        ::close(readEnd); // fails harmlessly for a reader gone
        ::close(writeEnd);
    }

    // A thousand subscribed lists (edited in by hand, past the cap), all due at start and answered by a
    // server the agent trusts through SSL_CERT_FILE, hold up neither a skip nor the end. Last: it leaves
    // the player on a blocked track and the file full of lists.
    void staysQuickWhileAThousandListsArrive()
    {
        HttpsTestServer server;
        QJsonArray subscriptions;
        for (int i = 0; i < 1000; ++i) {
            const QByteArray path = "/" + QByteArray::number(i);
            server.addReply(path, {200, QByteArray("Robo " + path + "\n").repeated(50)});
            subscriptions.append(QString(R"({"url": "%1"})").arg(server.baseUrl() + path));
        }
        QFile file(m_config.filePath("tunesieve/com.tunesieve.blacklist.json"));
        const QJsonObject prefs{{"localBlacklistedArtists", QJsonArray{"night owls"}},
                                {"listSubscriptions", subscriptions}};
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(prefs).toJson()) > 0 && file.flush());
        m_player.setTrack({"Day Larks"}, "Chirp");
        QProcess agent;
        agent.start("env", {"SSL_CERT_FILE=" + kTlsFolder + "ca.pem", m_agent});
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().size() >= 50, 120000); // the replies are being stored
        const int nextCalls = m_player.nextCalls();
        QElapsedTimer clock;
        clock.start();
        m_player.setTrack({"Night Owls"}, "Hoot");
        QTRY_VERIFY_WITH_TIMEOUT(m_player.nextCalls() > nextCalls, 1000);
        const qint64 skipMs = clock.restart();
        QCOMPARE(::kill(agent.processId(), SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(agent.state() == QProcess::NotRunning, 2000);
        qInfo("skipped in %lld ms, ended %lld ms after SIGTERM, with %lld of the lists asked for", skipMs,
              clock.elapsed(), qint64(server.requests().size()));
        QVERIFY(agent.exitStatus() == QProcess::NormalExit && agent.exitCode() == 0 && server.requests().size() < 1000);
    }

private:
    PrivateBus m_bus;
    TestMprisPlayer m_player{m_bus, "spotify", "Spotify"};
    QTemporaryDir m_prefix, m_config, m_runtime;
    const QString m_agent = m_prefix.filePath("bin/tunesieve");
    QProcess m_xvfb, m_refusingXvfb; // X servers that print their display numbers, the second with a cookie
};

QTEST_GUILESS_MAIN(TestAgentProcess)
#include "tst_AgentProcess.moc"
