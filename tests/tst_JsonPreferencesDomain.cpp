#include "platform/JsonPreferencesDomain.h"
#include "platform/PreferencesFactory.h"
#include "support/TempPreferences.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestJsonPreferencesDomain : public QObject
{
    Q_OBJECT

private slots:
    void everyStringSurvivesWriteAndRead()
    {
        QString controls;
        for (char16_t c = 0; c < 0x20; ++c) {
            controls.append(QChar(c));
        }
        const QStringList names{controls,
                                QStringLiteral("\"quoted\" \\ back\\slash / {\"$date\": \"x\"}"),
                                QStringLiteral("\U0001F3B5 \u2028\u2029 \uFEFF e\u0301"),
                                QStringLiteral("\uFEFFnight owls"),
                                QString(10000, QChar(u'\u00e9')),
                                QString()};
        TempPreferences prefs;
        {
            auto domain = prefs.openDomain();
            domain->setValue("list", names);
            domain->setValue("one", names.first());
            domain->setValue("flag", false);
        }
        auto reopened = prefs.openDomain();
        QCOMPARE(reopened->stringArray("list"), std::optional<QStringList>(names));
        QCOMPARE(reopened->string("one"), std::optional<QString>(controls));
        QCOMPARE(reopened->value("flag"), QVariant(false));
        QVERIFY(!reopened->boolean("flag"));
        QVERIFY(!reopened->value("missing").isValid());

        // Another program may write a leading U+FEFF unescaped.
        prefs.writeFile("{\"\xEF\xBB\xBFkey\": [\"\xEF\xBB\xBFname\"]}");
        QCOMPARE(prefs.openDomain()->stringArray(QStringLiteral("\uFEFFkey")),
                 std::optional<QStringList>(QStringList{QStringLiteral("\uFEFFname")}));
    }

    void keepsValuesOfOtherTypesAsTheyAre()
    {
        TempPreferences prefs;
        prefs.writeFile(R"({"n": 4.5, "z": null, "o": {"a": [1, {"b": true}]}, "mixed": ["a", 1],
                            "notDate": {"$date": "yesterday"}, "date": {"$date": "2026-01-02T03:04:05.006Z"},
                            "beforeYearOne": {"$date": "0001-01-01T00:30:00+01:00"}})");
        auto domain = prefs.openDomain();
        // In UTC that moment lies in the year before 1, which the date text cannot hold.
        QVERIFY(!domain->date("beforeYearOne"));
        domain->setValue("copy", domain->value("beforeYearOne"));
        QCOMPARE(prefs.openDomain()->value("copy"), domain->value("beforeYearOne"));
        QVERIFY(!domain->stringArray("mixed"));
        QVERIFY(!domain->string("n"));
        QVERIFY(!domain->date("notDate"));
        QCOMPARE(domain->date("date")->toMSecsSinceEpoch(),
                 QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6), Qt::UTC).toMSecsSinceEpoch());
        domain->setValue("added", QStringLiteral("x"));
        const QJsonObject written = QJsonDocument::fromJson(prefs.readFile()).object();
        QCOMPARE(written.value("n").toDouble(), 4.5);
        QVERIFY(written.value("z").isNull());
        QCOMPARE(QJsonDocument(written.value("o").toObject()).toJson(QJsonDocument::Compact),
                 QByteArray(R"({"a":[1,{"b":true}]})"));
        QCOMPARE(written.value("notDate").toObject().value("$date").toString(), QStringLiteral("yesterday"));
        QCOMPARE(written.value("date").toObject().value("$date").toString(),
                 QStringLiteral("2026-01-02T03:04:05.006Z"));
        domain->setValue("added", QVariant());
        QVERIFY(!QJsonDocument::fromJson(prefs.readFile()).object().contains("added"));
    }

    void movesACorruptFileAsideBeforeWriting_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not JSON") << QByteArray("{\"localBlacklistedArtists\": [\"half");
        QTest::newRow("top-level array") << QByteArray("[\"a\", \"b\"]");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe garbage", 12);
    }

    void movesACorruptFileAsideBeforeWriting()
    {
        QFETCH(QByteArray, content);
        TempPreferences prefs;
        prefs.writeFile(content);
        auto store = prefs.openStore(); // construction writes the switch and the identifier
        QVERIFY(store->localArtists().isEmpty());
        store->addLocal(QStringLiteral("Echo"));

        const QStringList aside =
            QDir(prefs.folder()).entryList({QStringLiteral("*.corrupt-*")}, QDir::Files | QDir::Hidden);
        QCOMPARE(aside.size(), 1);
        QFile moved(QDir(prefs.folder()).filePath(aside.first()));
        QVERIFY(moved.open(QIODevice::ReadOnly));
        QCOMPARE(moved.readAll(), content);
        QVERIFY(QJsonDocument::fromJson(prefs.readFile()).isObject());
        QVERIFY(store->contains(QStringLiteral("echo")));
    }

    void tellsWhichKeysChanged()
    {
        TempPreferences prefs;
        auto domain = prefs.openDomain();
        domain->setValue("big", QStringList{"a", "b"});
        domain->setValue("small", false);
        const quint64 big = domain->revision("big");
        const quint64 small = domain->revision("small");

        domain->setValue("small", true);
        QCOMPARE(domain->revision("big"), big);
        QVERIFY(domain->revision("small") != small);

        // Another writer rewrites the whole file, changing one key: only that key counts as changed.
        QJsonObject edited = QJsonDocument::fromJson(prefs.readFile()).object();
        edited.insert("big", QJsonArray{"a", "b", "c"});
        prefs.writeFile(QJsonDocument(edited).toJson(QJsonDocument::Compact));
        const quint64 smallBefore = domain->revision("small");
        QVERIFY(domain->revision("big") != big);
        QCOMPARE(domain->revision("small"), smallBefore);

        // A key that goes away changes too.
        prefs.writeFile("{}");
        QVERIFY(domain->revision("small") != smallBefore);
        QVERIFY(!domain->value("small").isValid());
    }

    void replacesTheFileAtomically()
    {
        TempPreferences prefs;
        auto domain = prefs.openDomain();
        for (int i = 0; i < 20; ++i) {
            domain->setValue("counter", QString::number(i));
        }
        QCOMPARE(QDir(prefs.folder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"com.tunesieve.blacklist.json"});
        QCOMPARE(prefs.openDomain()->string("counter"), std::optional<QString>("19"));
    }

    void fallsBackToTheStandardDomain()
    {
        TempPreferences prefs;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(prefs.folder()));
        QVERIFY(QDir(prefs.folder()).mkpath("tunesieve/com.tunesieve.blacklist.json"));
        auto domain = openUserPreferences(QStringLiteral("com.tunesieve.blacklist"));
        auto* json = dynamic_cast<JsonPreferencesDomain*>(domain.get());
        QVERIFY(json);
        QCOMPARE(json->path(), prefs.folder() + "/tunesieve/tunesieve.json");
        BlacklistManager store(std::move(domain));
        store.addLocal(QStringLiteral("Echo"));
        QVERIFY(store.contains(QStringLiteral("echo")));
        QVERIFY(QFileInfo(prefs.folder() + "/tunesieve/com.tunesieve.blacklist.json").isDir());
    }

    void keepsWorkingWhereNothingCanBeSaved()
    {
        TempPreferences prefs;
        const QString blocker = prefs.folder() + "/tunesieve";
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(prefs.folder()));
        BlacklistManager store(openUserPreferences(QStringLiteral("com.tunesieve.blacklist")));
        store.addLocal(QStringLiteral("Echo"));
        QVERIFY(!store.contains(QStringLiteral("echo")));
        QVERIFY(QFileInfo(blocker).isFile());
    }
};

QTEST_GUILESS_MAIN(TestJsonPreferencesDomain)
#include "tst_JsonPreferencesDomain.moc"
