#include "blacklist/ArtistCredits.h"
#include "blacklist/BlacklistManager.h"
#include "blacklist/CommunityWireFormat.h"
#include "support/HttpsTestServer.h"
#include "support/TempPreferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>
#include <QUuid>

using Delivery = HttpsTestServer::Reply::Delivery;
Q_DECLARE_METATYPE(HttpsTestServer::Reply)

namespace {

const QDateTime earlierSync = QDateTime::fromSecsSinceEpoch(0);
const QString failed = QStringLiteral("false 0 [old] old date"); // a failure that changed nothing

// A store that holds an earlier download's list and date, and whose community service is `server`.
struct Client
{
    explicit Client(bool trusted = true) : server(trusted) { open(server.baseUrl()); }

    void open(const QString& baseUrl, int timeoutMs = 60000)
    {
        store = std::make_shared<BlacklistManager>(
            prefs.openDomain(),
            CommunitySettings{baseUrl, std::chrono::milliseconds(timeoutMs), HttpsTestServer::trustedCertificates()});
        store->setCommunityArtists(ArtistSet({"old"}));
        store->setLastSyncDate(earlierSync);
    }

    // Downloads the list, or flags `artist`. Answers the completion's calls so far, e.g. "true 3"
    // (success, count), marked "off" when made off the main thread; shared with the completion, so
    // that a late call cannot touch a finished test's stack.
    std::shared_ptr<QStringList> start(const QString& artist = {})
    {
        auto calls = std::make_shared<QStringList>();
        const auto done = [calls](bool success, int count = 0) {
            const bool off = QThread::currentThread() != qApp->thread();
            *calls << QStringLiteral("%1 %2%3").arg(success ? "true" : "false").arg(count).arg(off ? " off" : "");
        };
        artist.isNull() ? store->syncCommunityBlacklist(done) : store->flagArtist(artist, done);
        return calls;
    }

    // Waits for the completion, and a little longer to see that it does not come twice. Answers its
    // calls, the community list in the file and whether the sync date changed: "true 1 [a] new date".
    QString reported(const std::shared_ptr<QStringList>& calls) const
    {
        (void)QTest::qWaitFor([&] { return !calls->isEmpty(); }, 20000); // none: the report shows no call
        QTest::qWait(30);
        const QVariant names = QJsonDocument::fromJson(prefs.readFile())["communityBlacklistedArtists"].toVariant();
        const bool newDate = store && store->lastSyncDate() != earlierSync;
        return calls->join(" + ") + " [" + names.toStringList().join(", ") + (newDate ? "] new date" : "] old date");
    }

    HttpsTestServer server;
    TempPreferences prefs;
    std::shared_ptr<BlacklistManager> store;
};

} // namespace

class TestBlacklistManager : public QObject
{
    Q_OBJECT

private slots:
    void takesOnlyWholeRepliesOfTheExpectedShape_data()
    {
        QTest::addColumn<QString>("flagged"); // the artist flagged; none for a download
        QTest::addColumn<HttpsTestServer::Reply>("reply");
        QTest::addColumn<QString>("outcome");
        QString flagged;
        const auto row = [&flagged](const char* name, HttpsTestServer::Reply reply, const QString& outcome) {
            QTest::newRow(name) << flagged << reply << outcome;
        };
        // Lower-cased without trimming or case folding (ß, ς), one entry per canonically equivalent spelling,
        // in code-point order (UTF-16 order would put the emoji, a surrogate pair, before the ａ).
        const QByteArray names = R"({"artists":["Owl","OWL"," STRAẞE ς","Café","CAFE\u0301","\uD83C\uDFB5","Ａ"]})";
        const QString stored = "true 7 [ straße ς, café, owl, ａ, \U0001F3B5] new date";
        const QByteArray more = QByteArray(", \"A\"").repeated(CommunityWireFormat::maxListNames - 1);
        const QByteArray huge = QByteArray(CommunityTransport::maxBodyBytes, ' ');
        const QByteArray longest = QByteArray("\xf0\x9f\x8e\xb5").repeated(CommunityWireFormat::maxNameLength);
        row("ok", {200, names}, stored);
        row("status 500 unexamined", {500, names}, stored);
        row("most names", {200, "{\"artists\": [\"A\"" + more + "]}"}, "true 1000000 [a] new date");
        row("too many names", {200, "{\"artists\": [\"A\", \"A\"" + more + "]}"}, failed);
        row("longest name", {200, "{\"artists\": [\"" + longest + "\"]}"}, "true 1 [" + longest + "] new date");
        row("name too long", {200, "{\"artists\": [\"A" + longest + "\"]}"}, failed);
        row("number among names", {200, R"({"artists": ["a", 1]})"}, failed);
        row("lone surrogate", {200, R"({"artists": ["a\ud800"]})"}, failed);
        row("never answered", {200, names, Delivery::Held}, failed);
        row("cut off", {200, names + QByteArray(20000, ' '), Delivery::CutOff}, failed);
        row("too large", {200, names.chopped(1) + ", \"pad\": \"" + huge + "\"}"}, failed);
        row("announced too large", {200, names + huge, Delivery::Stalled}, failed);
        flagged = QStringLiteral("Night Owls");
        row("flag true", {200, R"({"success": true, "id": 4})"}, "true 0 [old] old date");
        row("flag false", {200, R"({"success": false})"}, failed);
        row("flag 201", {201, R"({"success": true})"}, failed);
        row("flag string true", {200, R"({"success": "true"})"}, failed);
    }

    void takesOnlyWholeRepliesOfTheExpectedShape()
    {
        QFETCH(QString, flagged);
        QFETCH(HttpsTestServer::Reply, reply);
        QFETCH(QString, outcome);
        Client client;
        // A reply that never comes must end by the timeout; nothing else may.
        client.open(client.server.baseUrl(), reply.delivery == Delivery::Held ? 1500 : 60000);
        client.server.addReply(flagged.isNull() ? "/api/list/" : "/api/flag/", reply);
        QCOMPARE(client.reported(client.start(flagged)), outcome);
        QCOMPARE(client.server.requests().size(), 1);
        const HttpsTestServer::Request sent = client.server.requests().first();
        const QByteArray id = client.store->deviceId().toUtf8();
        QVERIFY(sent.head.startsWith(flagged.isNull() ? "GET /api/list/ " : "POST /api/flag/ "));
        QVERIFY(sent.head.contains(flagged.isNull() ? "Accept: application/json" : "Content-Type: application/json"));
        QCOMPARE(sent.body, flagged.isNull() ? "" : "{\"artist\":\"Night Owls\",\"device_id\":\"" + id + "\"}");
    }

    void failsSafelyWithoutATrustedServerOrStore()
    {
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost));
        const QString plainUrl = QStringLiteral("http://127.0.0.1:%1").arg(plain.serverPort());
        Client client;
        QCOMPARE(*client.start(QStringLiteral("Night") + QChar(0xD800)), QStringList{"false 0"});
        for (const QString& baseUrl : {plainUrl, client.server.baseUrl() + " x", QString()}) {
            client.open(baseUrl); // at once, before the operation returns
            QCOMPARE(*client.start() + *client.start("Night Owls"), QStringList({"false 0", "false 0"}));
        }
        client.open(client.server.baseUrl());
        client.server.addReply("/api/flag/", {302, {}, Delivery::Whole, "Location: " + plainUrl.toUtf8() + "/\r\n"});
        QCOMPARE(client.reported(client.start("Night Owls")), failed);
        QVERIFY(!plain.hasPendingConnections());

        Client untrusted(false);
        untrusted.server.addReply("/api/list/", {200, R"({"artists": ["Intruder"]})"});
        QCOMPARE(untrusted.reported(untrusted.start()), failed);

        // A reply that comes when the store is gone changes nothing.
        client.server.addReply("/api/list/", {200, R"({"artists": ["Orphan"]})"});
        const auto calls = client.start();
        client.store.reset(); // before the reply can come: only the event loop, in reported(), takes it
        QCOMPARE(client.reported(calls), failed);
    }

    void blocksATrackByAnyOfItsCredits_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("communityOn");
        QTest::addColumn<QString>("credits");
        QTest::addColumn<QString>("blocked"); // the first credit blocked, and its source word
        const auto row = [](const char* name, const QString& artist, const QString& title, const QString& credits,
                            const QString& blocked, bool communityOn = true) {
            QTest::newRow(name) << artist << title << communityOn << credits << blocked;
        };
        // Local: b, owls, earth, wind & fire, prince, garfunkel, ghost, dc, both. Community: c, both.
        row("player's list", "Echo, Owls", "S", "Echo, Owls | Echo | Owls", "Owls local");
        row("feat.", "A feat. B", "S", "A feat. B | A | B", "B local");
        row("ft, no dot", "A ft B", "S", "A ft B | A | B", "B local");
        row("Featuring, &", "A Featuring C & B", "S", "A Featuring C & B | A | C | B", "C community");
        row("FEAT, lower-cased", "A FEAT b", "S", "A FEAT b | A | b", "b local");
        row("title (feat.)", "A", "Song (feat. C, B)", "A | C | B", "B local", false);
        row("title [ft.]", "A", "Song [ft. C]", "A | C", "C community");
        row("community off", "A", "Song [ft. C]", "A | C", "", false);
        row("both lists, off", "A", "Song (feat. Both)", "A | Both", "Both community", false);
        row("once each", "B, b", "Song (feat. B)", "B, b | B", "B local");
        row("& in a name", "Simon & Garfunkel", "The Boxer", "Simon & Garfunkel", "");
        row("// in a name", "Ghost//Signal", "S", "Ghost//Signal", "");
        row("/ in a name", "AC/DC", "S", "AC/DC", "");
        row("ft in a word", "Daft Punk, Lifted", "S", "Daft Punk, Lifted | Daft Punk | Lifted", "");
        row("whole", "Earth, Wind & Fire", "S", "Earth, Wind & Fire | Earth | Wind & Fire", "Earth, Wind & Fire local");
        row("prefixes", "Princess ft. Princ", "S", "Princess ft. Princ | Princess | Princ", "");
    }

    void blocksATrackByAnyOfItsCredits()
    {
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(bool, communityOn);
        TempPreferences prefs;
        auto store = prefs.openStore();
        store->setLocalArtists(
            ArtistSet({"b", "owls", "earth, wind & fire", "prince", "garfunkel", "ghost", "dc", "both"}));
        store->setCommunityArtists(ArtistSet({"c", "both"}));
        store->setCommunityEnabled(communityOn);
        const QStringList credits = ArtistCredits::credits(artist, title);
        QTEST(credits.join(" | "), "credits");
        const auto block = store->firstBlocked(credits);
        QTEST(block ? block->artist + (block->onCommunityList ? " community" : " local") : QString(), "blocked");
    }

    // How names are lower-cased and ordered is seen on downloaded names, above.
    void keepsListsSwitchAndIdentifierInTheFile()
    {
        TempPreferences prefs;
        const QString id = prefs.openStore()->deviceId();
        QCOMPARE(QUuid(id).version(), QUuid::Random);
        QCOMPARE(QUuid(id).toString(QUuid::WithoutBraces).toUpper(), id);
        QVERIFY(prefs.openStore()->isCommunityEnabled());
        prefs.openStore()->setCommunityEnabled(false);
        auto store = prefs.openStore();
        QCOMPARE(store->deviceId(), id);
        store->setCommunityArtists(ArtistSet({"robo"}));
        QVERIFY(!store->contains(QStringLiteral("Robo")) && store->isInCommunityBlacklist(QStringLiteral("Robo")));
        store->setCommunityEnabled(true);
        QVERIFY(store->contains(QStringLiteral("ROBO")));

        // Another program's edit is seen on the next read; an identifier removed behind the store's
        // back is made up anew on each read, and not stored.
        prefs.writeFile(R"({"localBlacklistedArtists": ["Omega"]})");
        QVERIFY(store->contains(QStringLiteral("OMEGA")) && !store->contains(QStringLiteral("robo")));
        QVERIFY(store->deviceId() != store->deviceId());
        QCOMPARE(prefs.readFile(), R"({"localBlacklistedArtists": ["Omega"]})");
    }

    void keepsNeverSkipListAndSkipHistoryInTheFile()
    {
        TempPreferences prefs;
        auto store = prefs.openStore();
        const auto inFile = [&prefs](const char* key) { return QJsonDocument::fromJson(prefs.readFile())[key]; };
        store->setLocalArtists(ArtistSet({"owls", "both"}));
        store->setCommunityArtists(ArtistSet({"c", "both"}));
        // Allowed artists are never blocked, the switch staying on; another credit still blocks.
        store->allow(QStringLiteral("C"));
        store->allow(QStringLiteral("Both"));
        QCOMPARE(inFile("neverSkipArtists").toVariant().toStringList(), QStringList({"both", "c"}));
        QCOMPARE(store->localArtists(), ArtistSet({"owls"}));
        QVERIFY(store->isCommunityEnabled() && !store->contains("c"));
        QCOMPARE(store->firstBlocked({"BOTH", "Owls"})->artist, "Owls");
        store->addLocal(QStringLiteral("C"));
        QVERIFY(store->contains("c") && store->neverSkipArtists() == ArtistSet({"both"}));

        // Newest first, the newest 50, kept for the next store on the file.
        for (int i = 0; i < 51; ++i) {
            store->recordSkip({QDateTime::fromMSecsSinceEpoch(i).toUTC(), "vlc", QString::number(i), "T", "local"});
        }
        const auto skips = prefs.openStore()->recentSkips();
        const auto text = [](const BlacklistManager::SkipRecord& r) {
            return r.time.toString(Qt::ISODateWithMs) + ' ' + r.player + ' ' + r.artist + ' ' + r.title + ' ' + r.list;
        };
        QCOMPARE(text(skips.first()) + ", " + QString::number(skips.size()) + ", " + skips.last().artist,
                 "1970-01-01T00:00:00.050Z vlc 50 T local, 50, 1");

        // A wrong-typed value reads as empty, an unreadable entry is left out alone, the other keys stay.
        const QJsonValue good = inFile("recentlySkipped")[0];
        const QJsonArray entries{"{", good, "[]", R"({"time":"noon","player":"","artist":"","title":"","list":""})"};
        prefs.writeFile(QJsonDocument(QJsonObject{{"localBlacklistedArtists", QJsonArray{"c"}},
                                                  {"neverSkipArtists", 7},
                                                  {"recentlySkipped", entries}})
                            .toJson());
        QCOMPARE(store->recentSkips().size(), 1);
        QVERIFY(store->neverSkipArtists().isEmpty() && store->contains("c"));
        prefs.writeFile(R"({"localBlacklistedArtists": ["c"], "neverSkipArtists": ["x", 1], "recentlySkipped": "x"})");
        QVERIFY(store->recentSkips().isEmpty() && store->neverSkipArtists().isEmpty());
        store->allow(QStringLiteral("Owls"));
        store->recordSkip({});
        QCOMPARE(inFile("localBlacklistedArtists").toVariant().toStringList() +
                     inFile("neverSkipArtists").toVariant().toStringList(),
                 QStringList({"c", "owls"}));
    }
};

QTEST_GUILESS_MAIN(TestBlacklistManager)
#include "tst_BlacklistManager.moc"
