#include "platform/SettingsPreferencesDomain.h"
#include "support/TempPreferences.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
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

    void keepsTheEditsOfAnotherWriter()
    {
        TempPreferences prefs;
        auto domain = prefs.openDomain();
        domain->setValue("padding", QStringList(3000, "makes each save take a while"));
        std::atomic<int> edits = 0;
        std::thread writer([&] {
            while (edits < 50) {
                // Kept open until the rename, so that no new file can take the number of the one read. Should
                // opening fail, `read` stays zero, which no file matches: the writer starts over.
                QFile file(prefs.path());
                struct stat read = {}, now = {};
                ::fstat(file.open(QIODevice::ReadOnly) ? file.handle() : -1, &read);
                QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
                const QString name = QString::number(edits);
                object["names"] = object["names"].toArray() + name;
                // A careful writer: it replaces the file only if that is still the one it read. Then it waits for
                // any save of ours to end: one that checked the file just before the replacement still loses the
                // edit (no lock closes that window), and then the edit is made again rather than counted.
                const auto unchanged = [&] {
                    return ::stat(QFile::encodeName(prefs.path()), &now) == 0 && now.st_ino == read.st_ino;
                };
                if (prefs.writeFile(QJsonDocument(object).toJson(), unchanged)) {
                    while (!QDir(prefs.folder()).entryList({"*.tmp-*"}).isEmpty()) {
                    }
                    edits += QJsonDocument::fromJson(prefs.readFile())["names"].toArray().contains(name);
                }
            }
        });
        int last = 0;
        while (edits < 50) {
            domain->setValue("ours", QString::number(++last));
        }
        writer.join();
        domain->setValue("ours", QString::number(++last));
        QCOMPARE(prefs.openDomain()->stringArray("names").value_or(QStringList()).size(), 50);
        QCOMPARE(prefs.openDomain()->string("ours"), QString::number(last));
    }

    // A dotfiles setup: the preferences path links to a file elsewhere. A reader that opened that file before a
    // save still reads all of the old one: the save replaced it rather than rewrote it.
    // When the folder it leads to is gone, nothing is saved and nothing pretends to be.
    void writesThroughASymlinkAndRemovesOnlyStaleTemporaryFiles()
    {
        TempPreferences prefs;
        QFile target(prefs.folder() + "/dotfiles/prefs.json");
        QVERIFY(QDir().mkpath(prefs.folder() + "/dotfiles") && QFile::link(target.fileName(), prefs.path()));
        JsonPreferencesDomain(target.fileName()).setValue("theirs", true);
        // Only the first is ours and stale.
        for (const QString& name :
             QStringList{"prefs.json.tmp-a1B2c3", "prefs.json.tmp-d4E5f6", "other.json.tmp-a1B2c3"}) {
            QFile file(prefs.folder() + "/dotfiles/" + name);
            const QDateTime modified = QDateTime::currentDateTime().addSecs(name.endsWith("f6") ? 0 : -120);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.setFileTime(modified, QFileDevice::FileModificationTime));
        }
        QVERIFY(target.open(QIODevice::ReadOnly));
        auto domain = prefs.openDomain();
        domain->setValue("k", QString(100, 'v'));
        QVERIFY(QFileInfo(prefs.path()).isSymLink() && JsonPreferencesDomain(target.fileName()).boolean("theirs") &&
                JsonPreferencesDomain(target.fileName()).string("k") == QString(100, 'v'));
        QCOMPARE(QJsonDocument::fromJson(target.readAll()).object().keys(), QStringList{"theirs"});
        QCOMPARE(QDir(prefs.folder() + "/dotfiles").entryList({"*.tmp-*"}),
                 QStringList({"other.json.tmp-a1B2c3", "prefs.json.tmp-d4E5f6"}));
        QVERIFY(QDir(prefs.folder()).rename("dotfiles", "gone"));
        domain->setValue("k", QStringLiteral("w"));
        QVERIFY(!domain->value("k").isValid());
    }

    // The macOS backend, on QSettings kept in memory, where every value keeps its type as in a property list: what
    // `defaults write` leaves, and dates as local time, which alone become dates there.
    void settingsAnswerTypedValues_data()
    {
        QTest::addColumn<QString>("where"); // the application that holds the domain
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<QVariant>("read");
        QTest::addColumn<bool>("boolean");
        const QDateTime utc(QDate(2026, 12, 6), QTime(19, 55), Qt::UTC);
        QTest::newRow("strings") << "blacklist" << QVariant(QVariantList{"a", "b"}) << QVariant(QStringList{"a", "b"})
                                 << false;
        QTest::newRow("date") << "blacklist" << QVariant(utc) << QVariant(utc) << false;
        QTest::newRow("-bool") << "blacklist" << QVariant(true) << QVariant(true) << true;
        QTest::newRow("-int 1") << "blacklist" << QVariant(1) << QVariant(1) << true;
        QTest::newRow("-int 0") << "blacklist" << QVariant(0) << QVariant(0) << false;
        QTest::newRow("-float") << "blacklist" << QVariant(0.5) << QVariant(0.5) << true;
        QTest::newRow("-string YES") << "blacklist" << QVariant("YES") << QVariant("YES") << true;
        QTest::newRow("-string True") << "blacklist" << QVariant("True") << QVariant("True") << true;
        QTest::newRow("-string no") << "blacklist" << QVariant("no") << QVariant("no") << false;
        QTest::newRow("unreadable suite") << "TuneSieve" << QVariant("x") << QVariant("x") << false;
    }

    void settingsAnswerTypedValues()
    {
        QFETCH(QString, where);
        QFETCH(QVariant, written);
        static const auto format = QSettings::registerFormat(
            "memory", [](QIODevice&, QSettings::SettingsMap&) { return true; },
            [](QIODevice&, const QSettings::SettingsMap&) { return true; });
        TempPreferences prefs;
        QSettings::setPath(format, QSettings::UserScope, prefs.folder());
        QVERIFY(QDir().mkpath(prefs.folder() + (where == "blacklist" ? "" : "/tunesieve.com/blacklist.memory")));
        auto domain = SettingsPreferencesDomain::openSuite("com.tunesieve.blacklist", format);
        QSettings other(format, QSettings::UserScope, "tunesieve.com", where); // shares what the domain holds
        domain->setValue("k", written);
        QTEST(domain->value("k"), "read");
        QTEST(domain->boolean("k"), "boolean");
        QCOMPARE(other.value("k"), written);
        QCOMPARE(other.value("k").toDateTime().timeSpec(), Qt::LocalTime);
        const quint64 revision = domain->revision("k");
        QCOMPARE(domain->revision("k"), revision);
        other.setValue("k", "changed");
        QVERIFY(domain->revision("k") != revision);
    }
};

QTEST_GUILESS_MAIN(TestPreferencesDomain)
#include "tst_PreferencesDomain.moc"
