#include "platform/SettingsPreferencesDomain.h"
#include "support/DelegateHarness.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>
#include <atomic>
#include <thread>

class TestPreferencesDomain : public QObject
{
    Q_OBJECT

private slots:
    // What another program or a hand edit left reads as the right kind and stays as it is when saved back.
    // A file that is no JSON object reads as empty and is moved aside whole before that save.
    void keepsEveryValue_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("date") << QByteArray(R"({"k": {"$date": "2026-12-06T19:55:40.123Z"}})")
                              << QVariant(QDateTime(QDate(2026, 12, 6), QTime(19, 55, 40, 123), Qt::UTC));
        QTest::newRow("BOM") << QByteArray("{\"k\": [\"\xEF\xBB\xBF\"]}") << QVariant(QStringList(QChar(0xFEFF)));
        QTest::newRow("mixed") << QByteArray(R"({"k": ["", 1]})") << QVariant::fromValue(QJsonValue(QJsonArray{"", 1}));
        QTest::newRow("not JSON") << QByteArray("{\"k\": [\"half") << QVariant();
        QTest::newRow("array") << QByteArray(R"(["a", "b"])") << QVariant();
    }

    void keepsEveryValue()
    {
        QFETCH(QByteArray, content);
        QFETCH(QVariant, expected);
        TempPreferences prefs;
        prefs.writeFile(content);
        QCOMPARE(prefs.openDomain()->value("k"), expected);
        prefs.openDomain()->setValue("k", expected);
        QCOMPARE(prefs.openDomain()->value("k"), expected);
        QFile aside(QDir(prefs.folder()).entryInfoList({"*.corrupt-*"}).value(0).filePath());
        QVERIFY(expected.isValid() ? !aside.exists() : aside.open(QIODevice::ReadOnly) && aside.readAll() == content);
    }

    void marksOnlyTheKeysThatChanged()
    {
        TempPreferences prefs;
        prefs.writeFile(R"({"big": ["a", "b"], "small": false})");
        auto domain = prefs.openDomain();
        const quint64 big = domain->revision("big"), small = domain->revision("small");
        // Another program replaces the file within the same second: one value changed, the size the same.
        prefs.writeFile(prefs.readFile().replace("\"b\"", "\"c\""));
        QVERIFY(domain->revision("big") != big && domain->revision("small") == small);
        prefs.writeFile("{}");
        QVERIFY(domain->revision("small") != small);
    }

    // Another writer, a second domain on the file, saves its key while we save ours, so often that saves
    // overlap: neither replaces a file that changed since it read it, and neither edit is lost.
    void keepsTheEditsOfAnotherWriter()
    {
        TempPreferences prefs;
        auto domain = prefs.openDomain();
        domain->setValue("padding", QStringList(3000, "makes each save take a while"));
        std::atomic<int> edits = 0;
        std::thread writer([&] {
            for (auto theirs = prefs.openDomain(); edits < 50;) {
                const QString name = QString::number(edits);
                theirs->setValue("names", theirs->stringArray("names").value_or(QStringList()) << name);
                theirs->waitUntilSaved();
                // A save of ours that checked the file just before this one replaced it still loses the edit
                // (no lock closes that window): once that save has ended, the edit is made again, not counted.
                while (!QDir(prefs.folder()).entryList({"*.tmp-*"}).isEmpty()) {
                }
                edits += prefs.openDomain()->stringArray("names").value_or(QStringList()).contains(name);
            }
        });
        int ours = 0;
        while (edits < 50) {
            domain->setValue("ours", QString::number(++ours));
        }
        writer.join();
        domain->waitUntilSaved();
        QCOMPARE(prefs.openDomain()->stringArray("names").value_or(QStringList()).size(), 50);
        // Our saves land in the order made, the last one last.
        QCOMPARE(prefs.openDomain()->string("ours"), QString::number(ours));
    }

    // A dotfiles setup: the preferences path links to a file elsewhere. A reader that opened that file before a
    // save still reads all of the old one: the save replaced it rather than rewrote it.
    // While the folder it leads to is gone, a write stays and is retried ever later; it lands once the folder is back.
    void writesThroughASymlinkAndKeepsWhatCannotBeSaved()
    {
        TempPreferences prefs;
        const QString dotfiles = prefs.folder() + "/dotfiles/";
        QFile target(dotfiles + "prefs");
        QVERIFY(QDir().mkpath(dotfiles) && QFile::link(target.fileName(), prefs.path()));
        JsonPreferencesDomain(target.fileName()).setValue("theirs", true);
        // Only the first is ours and stale.
        for (const QString name : {"prefs.tmp-a1B2c3", "prefs.tmp-d4E5f6", "other.tmp-a1B2c3"}) {
            QFile file(dotfiles + name);
            const QDateTime modified = QDateTime::currentDateTime().addSecs(name.endsWith("f6") ? 0 : -120);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.setFileTime(modified, QFileDevice::FileModificationTime));
        }
        QVERIFY(target.open(QIODevice::ReadOnly));
        auto domain = prefs.openDomain();
        domain->setValue("k", QStringLiteral("vvv"));
        domain->waitUntilSaved();
        QVERIFY(QFileInfo(prefs.path()).isSymLink() && JsonPreferencesDomain(target.fileName()).string("k") == "vvv");
        QCOMPARE(QJsonDocument::fromJson(target.readAll()).object().keys(), QStringList{"theirs"});
        QCOMPARE(QDir(dotfiles).entryList({"*.tmp-*"}), QStringList({"other.tmp-a1B2c3", "prefs.tmp-d4E5f6"}));
        QVERIFY(QDir(prefs.folder()).rename("dotfiles", "gone"));
        domain->setValue("k", QStringLiteral("w"));
        for (const int retryMs : {5000, 10000, 20000, 40000, 80000, 160000, 300000, 300000}) {
            domain->waitUntilSaved();
            QCOMPARE(domain->string("k"), "w");
            QCOMPARE(domain->retryIntervalMs(), retryMs);
            domain->retrySave();
        }
        domain->waitUntilSaved();
        QVERIFY(QDir(prefs.folder()).rename("gone", "dotfiles"));
        domain->retrySave();
        domain->waitUntilSaved();
        QVERIFY(JsonPreferencesDomain(target.fileName()).string("k") == "w" && domain->retryIntervalMs() == 0);
    }

    // The disk fills up: blocks made meanwhile stay and are saved once there is room, and the user is told why once
    // per time that saving stops working. On a 256 KiB file system in a mount namespace of this test's own.
    void keepsBlocksWhileTheDiskIsFull()
    {
        const QString disk = qEnvironmentVariable("TUNESIEVE_SMALL_DISK");
        if (disk.isEmpty()) {
            return runOnASmallDisk("keepsBlocksWhileTheDiskIsFull");
        }
        TempPreferences prefs;
        auto* domain = new JsonPreferencesDomain(prefs.path());
        auto store = std::make_shared<BlacklistManager>(std::unique_ptr<PreferencesDomain>(domain), CommunitySettings(),
                                                        prefs.folder());
        auto shown = std::make_shared<RecordingNotifier::Shown>();
        AppDelegate delegate(std::make_unique<MusicController>(std::make_unique<ScriptedPlayer>("Spotify")), store,
                             std::make_unique<RecordingNotifier>(shown), std::make_unique<PlayerEvents>());
        store->waitUntilSaved();
        QFile filler(disk + "/filler");
        const auto fillDisk = [&] {
            QVERIFY(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
            }
            filler.close();
        };
        fillDisk();
        store->addLocal("night owls");
        const RecordingNotifier::Shown told{
            {"Changes cannot be saved", "No space left on device. They are kept and saved once that works again."}};
        QTRY_COMPARE(*shown, told); // told while no one asks the store
        store->addLocal("robo");
        store->waitUntilSaved();
        QVERIFY(*shown == told && store->localArtists().sorted() == QStringList({"night owls", "robo"}));
        QVERIFY(filler.remove());
        domain->retrySave();
        store->waitUntilSaved();
        QCOMPARE(BlacklistManager(prefs.openDomain()).localArtists().sorted(), QStringList({"night owls", "robo"}));
        fillDisk();
        store->addLocal("third");
        store->waitUntilSaved();
        QCOMPARE(*shown, told + told);
    }

    // The macOS backend, on QSettings kept in memory, where every value keeps its type as in a property list: what
    // `defaults write` leaves, and dates as local time, which alone become dates there.
    void settingsAnswerTypedValues_data()
    {
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<QVariant>("read");
        QTest::addColumn<bool>("boolean");
        QTest::addColumn<QStringList>("strings"); // as an array of strings; "-" for none
        const QDateTime utc(QDate(2026, 12, 6), QTime(19, 55), Qt::UTC);
        QTest::newRow("strings") << QVariant(QVariantList{"a", "b"}) << QVariant(QStringList{"a", "b"}) << false
                                 << QStringList{"a", "b"};
        QTest::newRow("one odd element") << QVariant(QVariantList{"a", 1, "b"}) << QVariant(QVariantList{"a", 1, "b"})
                                         << false << QStringList{"a", "b"};
        QTest::newRow("date") << QVariant(utc) << QVariant(utc) << false << QStringList("-");
        QTest::newRow("-bool") << QVariant(true) << QVariant(true) << true << QStringList("-");
        QTest::newRow("-int 1") << QVariant(1) << QVariant(1) << true << QStringList("-");
        QTest::newRow("-int 0") << QVariant(0) << QVariant(0) << false << QStringList("-");
        QTest::newRow("-float") << QVariant(0.5) << QVariant(0.5) << true << QStringList("-");
        QTest::newRow("-string YES") << QVariant("YES") << QVariant("YES") << true << QStringList("-");
        QTest::newRow("-string True") << QVariant("True") << QVariant("True") << true << QStringList("-");
        QTest::newRow("-string no") << QVariant("no") << QVariant("no") << false << QStringList("-");
        QTest::newRow("unreadable suite") << QVariant("x") << QVariant("x") << false << QStringList("-");
        QTest::newRow("unwritable") << QVariant("x") << QVariant("x") << false << QStringList("-");
    }

    void settingsAnswerTypedValues()
    {
        QFETCH(QVariant, written);
        static const auto format = QSettings::registerFormat(
            "memory", [](QIODevice&, QSettings::SettingsMap&) { return true; },
            [](QIODevice&, const QSettings::SettingsMap&) {
                return QTest::currentDataTag() != QByteArray("unwritable");
            });
        // The application that holds the domain: its own, or where it falls back to.
        const QString where = QTest::currentDataTag() == QByteArray("unreadable suite") ? "TuneSieve" : "blacklist";
        TempPreferences prefs;
        QSettings::setPath(format, QSettings::UserScope, prefs.folder());
        QVERIFY(QDir().mkpath(prefs.folder() + (where == "blacklist" ? "" : "/tunesieve.com/blacklist.memory")));
        qint64 now = 0;
        auto domain = SettingsPreferencesDomain::openSuite("com.tunesieve.blacklist", format, [&] { return now; });
        QSettings other(format, QSettings::UserScope, "tunesieve.com", where); // shares what the domain holds
        QStringList failures;
        domain->setSaveFailureHandler([&](const QString& reason) { failures << reason; });
        for (int twice = 0; twice < 2; ++twice) {
            domain->setValue("k", written);
            domain->synchronize();
        }
        // What cannot be written stays, and the user hears of it once.
        QCOMPARE(failures.join(' '),
                 QTest::currentDataTag() == QByteArray("unwritable") ? "The preferences cannot be written" : "");
        QTEST(domain->value("k"), "read");
        QTEST(domain->boolean("k"), "boolean");
        QTEST(domain->stringArray("k").value_or(QStringList("-")), "strings");
        QSettings(format, QSettings::UserScope, "tunesieve.com").setValue("elsewhere", 1); // the organisation's
        QVERIFY(!domain->value("elsewhere").isValid());
        QCOMPARE(other.value("k").toDateTime().timeSpec(), Qt::LocalTime);
        // The revision moves at once on our own write; on another program's change within a second,
        // and only then: the domain is not read again meanwhile.
        const quint64 revision = domain->revision("k");
        other.setValue("k", "changed");
        now += 999;
        QCOMPARE(domain->revision("k"), revision);
        now += 1;
        const quint64 changed = domain->revision("k");
        QVERIFY(changed != revision && domain->revision("k") == changed);
        domain->setValue("k", "ours");
        QVERIFY(domain->revision("k") != changed);
    }

private:
    // Runs test function `name` of this program again in a mount namespace of its own, with a 256 KiB tmpfs as its
    // temporary folder; skips where the system lets no one mount one.
    static void runOnASmallDisk(const char* name)
    {
        QTemporaryDir mountPoint;
        const QString mountThenRun = R"(mount -t tmpfs -o size=256k tmpfs "$0" && exec "$@")";
        const QStringList inNamespace{"--user", "--map-root-user", "--mount",        "sh",
                                      "-c",     mountThenRun,      mountPoint.path()};
        QProcess probe;
        probe.start("unshare", inNamespace + QStringList{"true"});
        if (!probe.waitForFinished() || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
            QSKIP(qPrintable("cannot mount a small file system to fill: unshare --user --mount: " +
                             (probe.error() == QProcess::FailedToStart
                                  ? probe.errorString()
                                  : QString(probe.readAllStandardError()).trimmed())));
        }
        QProcess inner;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", mountPoint.path());
        environment.insert("TUNESIEVE_SMALL_DISK", mountPoint.path());
        inner.setProcessEnvironment(environment);
        inner.setProcessChannelMode(QProcess::ForwardedChannels);
        inner.start("unshare", inNamespace + QStringList{QCoreApplication::applicationFilePath(), name});
        QVERIFY(inner.waitForFinished(120000));
        QCOMPARE(inner.exitCode(), 0);
    }
};

QTEST_MAIN(TestPreferencesDomain)
#include "tst_PreferencesDomain.moc"
