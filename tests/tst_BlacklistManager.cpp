#include "blacklist/ArtistName.h"
#include "blacklist/BlacklistManager.h"
#include "support/TempPreferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

QJsonObject fileObject(const TempPreferences& prefs)
{
    return QJsonDocument::fromJson(prefs.readFile()).object();
}

QStringList storedArray(const TempPreferences& prefs, const QString& key)
{
    QStringList names;
    for (const QJsonValue& value : fileObject(prefs).value(key).toArray()) {
        names.append(value.toString());
    }
    return names;
}

void writeKey(const TempPreferences& prefs, const QString& key, const QJsonValue& value)
{
    QJsonObject object = fileObject(prefs);
    object.insert(key, value);
    prefs.writeFile(QJsonDocument(object).toJson());
}

} // namespace

class TestBlacklistManager : public QObject
{
    Q_OBJECT

private slots:
    void lowerCasesNamesWithoutOtherFolding()
    {
        TempPreferences prefs;
        auto store = prefs.openStore();
        store->addLocal(QStringLiteral("Night Owls"));
        QCOMPARE(storedArray(prefs, "localBlacklistedArtists"), QStringList{"night owls"});
        QVERIFY(store->contains(QStringLiteral("NIGHT OWLS")));
        QVERIFY(store->contains(QStringLiteral("night owls")));

        store->addLocal(QStringLiteral(" x "));
        QVERIFY(store->contains(QStringLiteral(" X ")));
        QVERIFY(!store->contains(QStringLiteral("x")));

        // Full mappings without context: İ gains a combining dot, a final Σ becomes σ (never ς).
        QCOMPARE(ArtistName::normalized(QStringLiteral("İstanbul")), QStringLiteral("i\u0307stanbul"));
        store->addLocal(QStringLiteral("ΟΔΟΣ"));
        QVERIFY(store->localArtists().contains(QStringLiteral("οδοσ")));
        QVERIFY(!store->contains(QStringLiteral("οδος")));
        QCOMPARE(ArtistName::normalized(QStringLiteral("STRASSE ß")), QStringLiteral("strasse ß"));
    }

    void treatsCanonicallyEquivalentNamesAsOne()
    {
        TempPreferences prefs;
        auto store = prefs.openStore();
        const QString precomposed = QStringLiteral("caf\u00e9");
        const QString decomposed = QStringLiteral("cafe\u0301");
        store->addLocal(decomposed);
        QVERIFY(store->contains(precomposed));
        store->addLocal(precomposed);
        QCOMPARE(store->localArtists().size(), 1);
        store->removeLocal(precomposed);
        QVERIFY(store->localArtists().isEmpty());
        QVERIFY(store->allBlockedArtists() == ArtistSet({}));
    }

    void writesListsDedupedInCodePointOrder()
    {
        TempPreferences prefs;
        prefs.writeFile(R"({"localBlacklistedArtists": ["B", "b", "a"]})");
        auto store = prefs.openStore();
        QVERIFY(store->localArtists() == ArtistSet({"a", "b"}));
        store->removeLocal(QStringLiteral("zzz"));
        QCOMPARE(storedArray(prefs, "localBlacklistedArtists"), (QStringList{"a", "b"}));

        // UTF-16 order would put the emoji (a surrogate pair) before the fullwidth letter.
        store->setCommunityArtists(ArtistSet({"\U0001F3B5", "\uFF41", "z", "\u00e9", "Z"}));
        QCOMPARE(storedArray(prefs, "communityBlacklistedArtists"),
                 (QStringList{"Z", "z", "\u00e9", "\uFF41", "\U0001F3B5"}));
        QVERIFY(ArtistName::codePointLess("\uFF41", "\U0001F3B5"));
        QVERIFY(!ArtistName::codePointLess("\U0001F3B5", "\uFF41"));
        QVERIFY(ArtistName::codePointLess("ab", "abc"));
        QVERIFY(!ArtistName::codePointLess("abc", "abc"));
    }

    void readsWrongTypesAsEmpty()
    {
        TempPreferences prefs;
        prefs.writeFile(R"({"localBlacklistedArtists": "just one",
                            "communityBlacklistedArtists": ["ok", 42],
                            "lastCommunitySync": "2026-12-06T19:55:40.123Z",
                            "communityBlacklistEnabled": "yes"})");
        auto store = prefs.openStore();
        QVERIFY(store->localArtists().isEmpty());
        QVERIFY(store->communityArtists().isEmpty());
        QVERIFY(!store->lastSyncDate());
        QVERIFY(!store->isCommunityEnabled());
        // The next write of a key replaces what stood there.
        store->addLocal(QStringLiteral("Echo"));
        QCOMPARE(storedArray(prefs, "localBlacklistedArtists"), QStringList{"echo"});
        QCOMPARE(fileObject(prefs).value("communityBlacklistEnabled").toString(), QStringLiteral("yes"));
    }

    void setsUpSwitchAndDeviceIdOnce()
    {
        TempPreferences prefs;
        QString firstId;
        {
            auto store = prefs.openStore();
            QVERIFY(store->isCommunityEnabled());
            QVERIFY(!store->lastSyncDate());
            firstId = store->deviceId();
            static const QRegularExpression uuidV4(
                "^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
            QVERIFY2(uuidV4.match(firstId).hasMatch(), qPrintable(firstId));
            QCOMPARE(fileObject(prefs).value("deviceId").toString(), firstId);
            store->setCommunityEnabled(false);
        }
        auto again = prefs.openStore();
        QCOMPARE(again->deviceId(), firstId);
        QVERIFY(!again->isCommunityEnabled());

        // Removed behind the store's back: each read makes up a new identifier and stores nothing.
        QJsonObject object = fileObject(prefs);
        object.remove("deviceId");
        object.remove("communityBlacklistEnabled");
        prefs.writeFile(QJsonDocument(object).toJson());
        QVERIFY(again->deviceId() != again->deviceId());
        QVERIFY(!fileObject(prefs).contains("deviceId"));
        QVERIFY(!again->isCommunityEnabled());
    }

    void communitySwitchAffectsBlockingOnly()
    {
        TempPreferences prefs;
        auto store = prefs.openStore();
        store->setCommunityArtists(ArtistSet({"robo", "both"}));
        store->addLocal(QStringLiteral("Both"));
        store->setCommunityEnabled(false);
        QVERIFY(!store->contains(QStringLiteral("Robo")));
        QVERIFY(store->isInCommunityBlacklist(QStringLiteral("Robo")));
        QVERIFY(store->contains(QStringLiteral("BOTH")));
        QVERIFY(store->allBlockedArtists() == ArtistSet({"both"}));
        store->setCommunityEnabled(true);
        QVERIFY(store->contains(QStringLiteral("Robo")));
        QVERIFY(store->allBlockedArtists() == ArtistSet({"both", "robo"}));
    }

    void storesAndRemovesTheSyncDate()
    {
        TempPreferences prefs;
        auto store = prefs.openStore();
        const QDateTime moment = QDateTime::fromString("2026-12-06T19:55:40.123Z", Qt::ISODateWithMs);
        store->setLastSyncDate(moment);
        QCOMPARE(fileObject(prefs).value("lastCommunitySync").toObject().value("$date").toString(),
                 QStringLiteral("2026-12-06T19:55:40.123Z"));
        QCOMPARE(store->lastSyncDate(), std::optional<QDateTime>(moment));
        store->setLastSyncDate(std::nullopt);
        QVERIFY(!fileObject(prefs).contains("lastCommunitySync"));
        QVERIFY(!store->lastSyncDate());
    }

    void seesAnotherProcessEditOnNextRead()
    {
        TempPreferences prefs;
        auto store = prefs.openStore();
        store->setCommunityArtists(ArtistSet({"alpha"}));
        QVERIFY(store->contains(QStringLiteral("alpha")));

        // Another program rewrites the file in place, keeping its size, within the same second.
        QProcess editor;
        editor.start("sh", {"-c", "sed -i.bak 's/alpha/omega/' \"$0\"", prefs.path()});
        QVERIFY(editor.waitForFinished());
        QCOMPARE(editor.exitCode(), 0);
        QVERIFY(!store->contains(QStringLiteral("alpha")));
        QVERIFY(store->contains(QStringLiteral("OMEGA")));

        writeKey(prefs, "localBlacklistedArtists", QJsonArray{"Gamma"});
        QVERIFY(store->contains(QStringLiteral("gamma")));
        // The other writer's keys survive our next write.
        store->addLocal(QStringLiteral("delta"));
        QCOMPARE(storedArray(prefs, "localBlacklistedArtists"), (QStringList{"delta", "gamma"}));
        QCOMPARE(storedArray(prefs, "communityBlacklistedArtists"), QStringList{"omega"});
    }
};

QTEST_GUILESS_MAIN(TestBlacklistManager)
#include "tst_BlacklistManager.moc"
