#include "blacklist/ArtistCredits.h"
#include "blacklist/BlacklistManager.h"
#include "blacklist/CommunityWireFormat.h"
#include "support/HttpsTestServer.h"
#include "support/StdoutCapture.h"
#include "support/TempPreferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTest>
#include <QUuid>

using Reply = HttpsTestServer::Reply;
using namespace std::chrono_literals;
Q_DECLARE_METATYPE(Reply)

namespace {

const QDateTime earlierSync = QDateTime::fromSecsSinceEpoch(0);
const QString failed = QStringLiteral("false 0 [old]"); // a failure that changed nothing

// Puts a file that is no list of names at `path`, the way another program would.
void breakListFile(const QString& path)
{
    QSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("Robo\n") == 5 && file.commit());
}

// The request's If-... header lines, joined by ", ".
QString conditions(const HttpsTestServer::Request& request)
{
    return QString::fromLatin1(request.head).split("\r\n").filter(QRegularExpression("^If-")).join(", ");
}

// A store that holds an earlier download's list and date, and whose community service is `server`.
struct Client
{
    explicit Client(int timeoutMs = 60000, bool trusting = true) { open(server.baseUrl(), timeoutMs, trusting); }

    void open(const QString& baseUrl, int timeoutMs = 60000, bool trusting = true)
    {
        const auto trusted = trusting ? HttpsTestServer::trustedCertificates() : QList<QSslCertificate>();
        store = std::make_shared<BlacklistManager>(
            prefs.openDomain(), CommunitySettings{baseUrl, std::chrono::milliseconds(timeoutMs), trusted},
            prefs.folder());
        store->setCommunityArtists(ArtistSet({"old"}));
        store->setLastSyncDate(earlierSync);
    }

    // Downloads the list, or flags `artist`, waits for the completion and a little longer to see that
    // it does not come twice, and answers its calls, the community list in the file and whether the
    // sync date changed: "true 3 [a] new date" (success, count). Calls are marked "off" when made off
    // the main thread, "at once" when made before the operation returned. With `dropStore`, the store
    // is let go as soon as the operation returns.
    QString run(const QString& artist = {}, bool dropStore = false)
    {
        // Shared with the completion, so that a late call cannot touch a finished test's stack.
        auto calls = std::make_shared<QStringList>();
        const auto done = [calls](bool success, int count = 0) {
            const bool off = QThread::currentThread() != QCoreApplication::instance()->thread();
            *calls << QStringLiteral("%1 %2%3").arg(success ? "true" : "false").arg(count).arg(off ? " off" : "");
        };
        artist.isNull() ? store->syncCommunityBlacklist(done) : store->flagArtist(artist, done);
        const QString atOnce = calls->isEmpty() ? "" : " at once";
        dropStore ? store.reset() : void();
        (void)QTest::qWaitFor([&] { return !calls->isEmpty(); }, 20000); // none: the answer shows no call
        QTest::qWait(30);
        store ? store->waitUntilSaved() : void();
        const ArtistListFile file(prefs.folder() + "/communityBlacklistedArtists.names");
        const QStringList names = file.names().toSet().sorted();
        const bool newDate = store && store->lastSyncDate() != earlierSync;
        return calls->join(" + ") + atOnce + " [" + names.join(", ") + (newDate ? "] new date" : "]");
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
    // Rows named "flag ..." flag an artist; the others download the list, and those named "... again" once
    // more after that, with the copy or its validators broken as their name says, and show the sync date of
    // the second, and the If-... lines its request carried.
    void takesOnlyWholeRepliesOfTheExpectedShape_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* name, Reply r, QString outcome) { QTest::newRow(name) << r << outcome; };
        // Lower-cased without trimming or case folding (ß, ς), one entry per canonically equivalent spelling,
        // in code-point order (UTF-16 order would put the emoji, a surrogate pair, before the ａ).
        const QByteArray names = R"({"artists":["Owl","OWL"," STRAẞE ς","Café","CAFE\u0301","\uD83C\uDFB5","Ａ"]})";
        const QByteArray more = QByteArray("\", \"A").repeated(CommunityWireFormat::maxListNames - 1) + "\"]}";
        const QByteArray huge = QByteArray(CommunityTransport::maxBodyBytes, ' ');
        const QByteArray longest = QByteArray("\xf0\x9f\x8e\xb5").repeated(CommunityWireFormat::maxNameLength);
        row("status 500 unexamined", {500, names}, "true 7 [ straße ς, café, owl, ａ, \U0001F3B5] new date");
        row("at the caps", {200, "{\"artists\": [\"" + longest + more}, "true 1000000 [a, " + longest + "] new date");
        row("too many names", {200, "{\"artists\": [\"A\", \"A" + more}, failed);
        row("name too long", {200, "{\"artists\": [\"A" + longest + "\"]}"}, failed);
        row("other members, escapes",
            {200, "{\"n\": [-0.5e+2, true, null, {\"artists\": [1]}], \"artists\": [\"\\u00C9t\\u00e9 \\\"L\\\"\\/\", "
                  "\"a\"]}"},
            "true 2 [a, été \"l\"/] new date");
        row("cut off", {200, R"({"artists": ["a"])"}, failed);
        row("text after", {200, R"({"artists": ["a"]} x)"}, failed);
        row("two lists", {200, R"({"artists": ["a"], "artists": ["b"]})"}, failed);
        row("not an object", {200, R"(["a"])"}, failed);
        row("bad number", {200, R"({"n": 01, "artists": ["a"]})"}, failed);
        row("invalid UTF-8", {200, "{\"artists\": [\"a\xff\"]}"}, failed);
        row("number among names", {200, R"({"artists": ["a", 1]})"}, failed);
        row("lone surrogate", {200, R"({"artists": ["a\ud800"]})"}, failed);
        row("never ends", {200, names, Reply::Delivery::Held}, failed);
        row("too large", {200, names.chopped(1) + ", \"pad\": \"" + huge + "\"}"}, failed);
        row("announced too large", {200, names, Reply::Delivery::Held, "Content-Length: 99999999\r\n"}, failed);
        const Reply tagged{200, R"({"artists": ["A", "b"]})", Reply::Delivery::Whole, "ETag: \"v1\"\r\n"};
        const QString twice = "true 2 [a, b] new date / true 2 [a, b] new date / ";
        row("etag, again", tagged, twice + "If-None-Match: \"v1\"");
        row("last-modified, again", {200, tagged.body, {}, "Last-Modified: Mon, 07 Dec 2026 12:00:00 GMT\r\n"},
            twice + "If-Modified-Since: Mon, 07 Dec 2026 12:00:00 GMT");
        row("corrupt copy, again", tagged, twice);
        row("wrong-typed validators, again", tagged, twice);
        row("304 unasked", {304, ""}, failed);
        row("flag true", {200, R"({"success": true, "id": 4})"}, "true 0 [old]");
        row("flag false", {200, R"({"success": false})"}, failed);
        row("flag 201", {201, R"({"success": true})"}, failed);
        row("flag string true", {200, R"({"success": "true"})"}, failed);
    }

    void takesOnlyWholeRepliesOfTheExpectedShape()
    {
        QFETCH(Reply, reply);
        const QByteArray tag = QTest::currentDataTag();
        const bool flag = tag.startsWith("flag");
        // Only a reply that never ends may end by the timeout.
        Client client(tag == "never ends" ? 1500 : 60000);
        client.server.addReply(flag ? "/api/flag/" : "/api/list/", reply);
        QString outcome = client.run(flag ? "Night Owls" : QString());
        if (tag.endsWith("again")) {
            if (tag.startsWith("corrupt")) {
                breakListFile(client.prefs.folder() + "/communityBlacklistedArtists.names");
            } else if (tag.startsWith("wrong-typed")) {
                QJsonObject file = QJsonDocument::fromJson(client.prefs.readFile()).object();
                file["communityListValidators"] = 7;
                QVERIFY(client.prefs.writeFile(QJsonDocument(file).toJson()));
            }
            client.store->setLastSyncDate(earlierSync);
            outcome += " / " + client.run();
            outcome += " / " + conditions(client.server.requests().last());
        }
        QTEST(outcome, "outcome");
        QCOMPARE(client.server.requests().size(), tag.endsWith("again") ? 2 : 1);
        const HttpsTestServer::Request sent = client.server.requests()[0];
        const QByteArray id = client.store->deviceId().toUtf8();
        QVERIFY(sent.head.contains(flag ? "\nContent-Type: application/json" : "\nAccept: application/json"));
        QCOMPARE(sent.body, flag ? "{\"artist\":\"Night Owls\",\"device_id\":\"" + id + "\"}" : "");
    }

    void failsSafelyWithoutATrustedServerOrStore()
    {
        const QString refused = QStringLiteral("false 0 at once [old]");
        Client client;
        QCOMPARE(client.run(QStringLiteral("Night") + QChar(0xD800)), refused);
        // A reply that comes when the store is gone changes nothing.
        client.server.addReply("/api/list/", {200, R"({"artists": ["Intruder"]})"});
        QCOMPARE(client.run({}, true), failed);
        // A server of its own: for a while after an exchange, the network layer reuses what it set up
        // for the same host and port, certificate check included.
        Client untrusting(60000, false);
        untrusting.server.addReply("/api/list/", {200, R"({"artists": ["Intruder"]})"});
        QCOMPARE(untrusting.run(), failed);
        for (const QString& baseUrl : {QString("http://127.0.0.1:9"), client.server.baseUrl() + " x", QString()}) {
            client.open(baseUrl);
            QCOMPARE(client.run() + client.run("Night Owls"), refused + refused);
        }
    }

    // The user's communityServiceURL: taken when it is an https:// address, else the build's stays.
    void takesOnlyAnHttpsServiceUrl()
    {
        for (const QString row :
             {"https://s.example/ > https://s.example", "https://s.example:8443/c > https://s.example:8443/c",
              "http://s.example >", "s.example >", "https:// >", "https://u@s.example >", "https://s.example/?a=1 >"}) {
            CommunitySettings settings;
            const QString used = row.section(" >", 1).trimmed();
            QCOMPARE(settings.useServiceUrl(row.section(" >", 0, 0)), !used.isEmpty());
            QCOMPARE(settings.baseUrl, used.isEmpty() ? CommunitySettings().baseUrl : used);
        }
        QVERIFY(!CommunitySettings().useServiceUrl(true));
    }

    // What a subscribed list holds and shows after one fetch: "names | count | updated | error".
    void keepsEachSubscribedListAsItsReplyAllows_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* name, Reply r, QString outcome) { QTest::newRow(name) << r << outcome; };
        const QString unreadable = " | 0 | never | not a list TuneSieve can read";
        row("community object", {200, R"({"artists": ["Owl", "OWL", "Café"]})"}, "café, owl | 2 | updated | ");
        row("community object, marked", {200, "\xEF\xBB\xBF \n{\"artists\": [\"X\"]}"}, "x | 1 | updated | ");
        row("community object, number", {200, R"({"artists": ["a", 1]})"}, unreadable);
        row("community object, long name", {200, "{\"artists\": [\"" + QByteArray(1001, 'a') + "\"]}"},
            " | 0 | never | a name longer than 1000 characters");
        row("strings",
            {200, "\xEF\xBB\xBF"
                  R"(["B", "a"])"},
            "a, b | 2 | updated | ");
        row("names", {200, R"([{"name": "N", "artist": "x", "id": 1}, {"name": "M"}])"}, "m, n | 2 | updated | ");
        row("artists", {200, R"([{"artist": "A"}])"}, "a | 1 | updated | ");
        row("csv", {200, "artist,id\r\n\"Sm,\"\"J\"\"\",1\r\n\"L\r\nB\",2\r\nP,\"3\""},
            "l\r\nb, p, sm,\"j\" | 3 | updated | ");
        row("csv name later", {200, "id,Name ,x\n1,Zed,q\n2,,r\n3,Ann"}, "ann, zed | 2 | updated | ");
        row("csv spaces", {200, "id, artist\n1, Night Owls \n"}, "night owls | 1 | updated | ");
        row("titled lines", {200, "Artist\r\nEarth, Wind & Fire\r\n\"A, \"\"B\"\"\""},
            "a, \"b\", earth, wind & fire | 2 | updated | ");
        row("text", {200, "# AI acts, 2026\n\n  Robo \r\n#Gone\nBot"}, "bot, robo | 2 | updated | ");
        row("text, CR ends", {200, "Robo\rBot\r"}, "bot, robo | 2 | updated | ");
        row("open quote", {200, "artist,id\n\"Open,1\n"},
            " | 0 | never | a CSV list with a quote left open or misplaced");
        row("no column", {200, "id,title\n1,x\n"}, " | 0 | never | a CSV list without an artist or name column");
        row("web page", {200, "<!DOCTYPE html>\n<p>Sign in"}, unreadable);
        row("number", {200, R"(["a", 1])"}, unreadable);
        row("empty", {200, R"({"artists": []})"}, " | 0 | never | the list came back empty");
        row("name too long", {200, QByteArray(1001, 'a')}, " | 0 | never | a name longer than 1000 characters");
        row("not found", {404, "Robo"}, " | 0 | never | the server answered 404");
        row("trickles", {200, QByteArray(40, 'a'), Reply::Delivery::Trickled},
            " | 0 | never | the download took longer than 1 s");
        row("to http", {302, "", {}, "Location: http://127.0.0.1:9/l\r\n"}, " | 0 | never | Insecure redirect");
        row("http address", {200, "Robo"}, "refused: TuneSieve reads lists only over HTTPS");
        row("user info", {200, "Robo"},
            "refused: TuneSieve takes no addresses with a user name or password, which it would keep in plain text");
    }

    void keepsEachSubscribedListAsItsReplyAllows()
    {
        QFETCH(Reply, reply);
        HttpsTestServer server;
        server.addReply("/l", reply);
        TempPreferences prefs;
        const QByteArray tag = QTest::currentDataTag();
        CommunitySettings settings; // a trickle, never silent for 500 ms, goes on past its deadline of 1 s
        settings.timeout = tag == "trickles" ? 500ms : settings.timeout;
        settings.deadline = tag == "trickles" ? 1s : settings.deadline;
        const auto store = prefs.openStore(server.baseUrl(), settings);
        ListSubscriptions& lists = store->listSubscriptions();
        bool done = false;
        const QString url = server.baseUrl().replace("https://", tag == "http address" ? "http://"
                                                                 : tag == "user info"  ? "https://me:secret@"
                                                                                       : "https://") +
                            "/l";
        if (const auto refusal = lists.subscribe(url, {}, [&done] { done = true; })) {
            store->waitUntilSaved();
            QVERIFY(lists.subscriptions().isEmpty() && !prefs.readFile().contains("listSubscriptions"));
            QTEST("refused: " + refusal->section(':', 0, 0), "outcome");
            return;
        }
        QTRY_VERIFY(done);
        const ListSubscriptions::Subscription list = lists.subscriptions().value(0);
        QTEST(lists.names(url).sorted().join(", ") + " | " + QString::number(list.count) + " | " +
                  (list.updated ? "updated" : "never") + " | " + list.error,
              "outcome");
    }

    // A fetch that fails keeps the copy from before, which blocks after a restart as the community list does.
    void keepsTheLastGoodCopyOfASubscribedList()
    {
        HttpsTestServer server;
        server.addReply("/ai.csv", {200, "artist,id\nRobo,1\n"});
        server.addReply("/ai.csv", {500, "artist\nOther"});
        TempPreferences prefs;
        auto store = prefs.openStore(server.baseUrl());
        const QString url = server.baseUrl() + "/ai.csv";
        int done = 0;
        store->listSubscriptions().subscribe(url, " ", [&done] { ++done; });
        QTRY_COMPARE(done, 1);
        store->listSubscriptions().subscribe(url, "Other name", [&done] { ++done; }); // the same list, fetched again
        QTRY_COMPARE(done, 2);
        store->waitUntilSaved();
        const auto lists = store->listSubscriptions().subscriptions();
        QCOMPARE(lists.size(), 1);
        QCOMPARE(lists[0].name + " " + QString::number(lists[0].count) + " " + lists[0].error,
                 "ai 1 the server answered 500");
        const QString copy = QDir(prefs.folder()).entryList({"listSubscription-*.names"}).value(0);
        QVERIFY(lists[0].updated && !copy.isEmpty() && !prefs.readFile().contains("listSubscription-"));

        // An earlier version's file, with the copies in it: on the first start they move into list files, every
        // name kept, and leave the preferences; a copy that no subscription names goes. An entry that cannot be
        // read is left out, and the list still blocks.
        QJsonObject file = QJsonDocument::fromJson(prefs.readFile()).object();
        file["listSubscriptions"] = QJsonArray{"{", file["listSubscriptions"][0], "[]"};
        file[copy.chopped(6)] = QJsonArray{"Robo", "Zed", "Ünï"};
        file["communityBlacklistedArtists"] = QJsonArray{"Old", "Café", "Cafe\u0301"};
        file["listSubscription-0123456789abcdef"] = QJsonArray{"echo"}; // a copy that no subscription names
        QFile::remove(prefs.folder() + "/" + copy);
        prefs.writeFile(QJsonDocument(file).toJson());
        store = prefs.openStore();
        store->waitUntilSaved();
        QVERIFY(!prefs.readFile().contains("listSubscription-") && !prefs.readFile().contains("communityBlacklisted"));
        QCOMPARE(store->listSubscriptions().names(url), ArtistSet({"robo", "zed", "ünï"}));
        QCOMPARE(store->communityArtists(), ArtistSet({"old", "café"}));
        const auto block = store->firstBlocked({"Echo", "ROBO"});
        QCOMPARE(block->artist + " " + block->listName + " " + (block->onCommunityList ? "community " : "local ") +
                     QString::number(store->listSubscriptions().subscriptions().size()),
                 "ROBO ai community 1");
        store->listSubscriptions().setEnabled(url, false);
        QVERIFY(!store->contains("robo"));
        store->listSubscriptions().setEnabled(url, true);
        store->setCommunityEnabled(false);
        QVERIFY(!store->contains("robo"));
        store->setCommunityEnabled(true);
        store->allow("Robo");
        QVERIFY(!store->contains("robo"));
        store->removeNeverSkip("Robo");
        QVERIFY(store->contains("robo"));
        store->listSubscriptions().unsubscribe(url);
        store->waitUntilSaved();
        QVERIFY(!store->contains("robo") && QDir(prefs.folder()).entryList({"listSubscription-*"}).isEmpty());
    }

    // A failed fetch is tried again after 1, 5 and 15 minutes, on the test's own clock, then no more;
    // a hundred lists are all that are taken.
    void retriesAFailedListAndTakesAHundredLists()
    {
        TempPreferences prefs; // and lists on a closed port
        QStringList others, delays;
        for (int i = 1; i < ListSubscriptions::maxSubscriptions; ++i) {
            others << QString("{\"url\": \"https://127.0.0.1:9/%1\"}").arg(i);
        }
        prefs.writeFile(QJsonDocument(QJsonObject{{"listSubscriptions", QJsonArray::fromStringList(others)}}).toJson());
        QList<std::function<void()>> retries;
        const auto lists = std::make_shared<ListSubscriptions>(
            prefs.openDomain(), CommunityTransport(CommunitySettings()), prefs.folder(),
            [&](std::chrono::milliseconds delay, auto retry) {
                delays << QString::number(std::chrono::duration_cast<std::chrono::minutes>(delay).count());
                retries << retry;
            });
        int done = 0;
        const QString url = "https://127.0.0.1:9/l";
        QVERIFY(!lists->subscribe(url, {}, [&done] { ++done; }));
        QCOMPARE(lists->subscribe(url + "2", {}, {}).value_or("").section(':', 0, 0),
                 "TuneSieve follows at most 100 lists");
        for (int retry = 1; retry <= 3; ++retry) {
            QTRY_COMPARE(delays.size(), retry);
            retries.takeFirst()();
        }
        lists->update(url, [&done] { ++done; }); // answered by the last retry, which asks for no more
        QTRY_COMPARE(done, 2);
        QCOMPARE(delays.join(' ') + " " + lists->subscriptions().last().error, "1 5 15 Connection refused");
    }

    // A subscribed list fetched once, with an ETag (or failed), then the agent restarted some time later: what
    // the restart fetches, "If-... lines sent | names | count | when updated | error", or the retry it sets.
    void fetchesOnlyTheListsDueAfterARestart_data()
    {
        QTest::addColumn<int>("status"); // of the first fetch
        QTest::addColumn<int>("ageSecs");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* name, int status, int age, QString outcome) {
            QTest::newRow(name) << status << age << outcome;
        };
        row("good, just now", 200, 0, "not fetched");
        row("good, 23 h ago", 200, 23 * 3600, "not fetched");
        row("good, a day ago", 200, 24 * 3600, "If-None-Match: \"v1\" | robo | 1 | now | ");
        row("corrupt copy, a day ago", 200, 24 * 3600, " | robo | 1 | now | ");
        row("failed, 30 s ago", 500, 30, "retry in 30 s");
        row("failed, 2 min ago", 500, 120, " | robo | 1 | now | ");
    }

    void fetchesOnlyTheListsDueAfterARestart()
    {
        QFETCH(int, status);
        QFETCH(int, ageSecs);
        HttpsTestServer server;
        status == 200 ? void() : server.addReply("/l", {status, "Other"});
        server.addReply("/l", {200, "Robo", {}, "ETag: \"v1\"\r\n"});
        TempPreferences prefs;
        QStringList retries;
        const auto open = [&](const std::shared_ptr<PreferencesDomain>& domain) {
            return std::make_shared<ListSubscriptions>(
                domain, CommunityTransport({{}, 60s, HttpsTestServer::trustedCertificates()}), prefs.folder(),
                [&retries](std::chrono::milliseconds delay, auto) {
                    retries << QString::number(qRound(delay.count() / 1000.0));
                });
        };
        const QString url = server.baseUrl() + "/l";
        int done = 0;
        std::shared_ptr<PreferencesDomain> domain = prefs.openDomain();
        auto lists = open(domain);
        QVERIFY(!lists->subscribe(url, {}, [&done] { ++done; }));
        QTRY_COMPARE(done, 1);
        domain->waitUntilSaved();
        lists.reset();
        // The restart, that long after the fetch.
        QJsonObject file = QJsonDocument::fromJson(prefs.readFile()).object();
        QJsonObject record = QJsonDocument::fromJson(file["listSubscriptions"][0].toString().toUtf8()).object();
        for (const char* time : {"tried", "updated"}) {
            const QDateTime at = QDateTime::fromString(record[time].toString(), Qt::ISODateWithMs);
            record[time] = at.isValid() ? at.addSecs(-ageSecs).toString(Qt::ISODateWithMs) : "";
        }
        file["listSubscriptions"] = QJsonArray{QString(QJsonDocument(record).toJson(QJsonDocument::Compact))};
        QVERIFY(prefs.writeFile(QJsonDocument(file).toJson()));
        QTest::currentDataTag() == QByteArray("corrupt copy, a day ago")
            ? breakListFile(QDir(prefs.folder()).entryInfoList({"listSubscription-*"}).value(0).filePath())
            : void();
        retries.clear();
        lists = open(domain = prefs.openDomain());
        lists->updateEnabled(true, [&done] { ++done; });
        (void)QTest::qWaitFor([&done] { return done == 2; }, 500); // none: not fetched
        const auto list = lists->subscriptions().value(0);
        const bool recent = list.updated && list.updated->secsTo(QDateTime::currentDateTimeUtc()) < 10;
        QTEST(done == 1 ? (retries.isEmpty() ? "not fetched" : "retry in " + retries.join(", ") + " s")
                        : conditions(server.requests().last()) + " | " + lists->names(url).sorted().join(", ") + " | " +
                              QString::number(list.count) + " | " + (recent ? "now" : "before") + " | " + list.error,
              "outcome");
    }

    // A track is "artist — title". Rows named "... off" turn the community list off.
    void blocksATrackByAnyOfItsCredits_data()
    {
        QTest::addColumn<QString>("track");
        QTest::addColumn<QString>("credits"); // then the first one blocked, and its source word
        const auto row = [](const char* name, auto... cells) { (QTest::newRow(name) << ... << QString(cells)); };
        // Local: b, earth, prince, garfunkel, ghost, both. Community: c, both, duo & co. Never: never me, b.
        // A track is "artist;artist — title": the player's entries are split on ";".
        row("ft, no dot", "A ft B", "A ft B | A | B → B local");
        row("Featuring, &", "A Featuring C & B", "A Featuring C & B | A | C & B | C | B → C community");
        row("featured group", "A feat. Duo & Co", "A feat. Duo & Co | A | Duo & Co | Duo | Co → Duo & Co community");
        row("title (feat.), off", "A — Song (feat. C, B)", "A | C | B → B local");
        row("title [ft.]", "A — Song [ft. C]", "A | C → C community");
        row("both lists, off", "A — Song (feat. Both)", "A | Both → Both community");
        row("once each", "B;b — Song (feat. B)", "B, b | B → B local");
        row("& in a name", "Simon & Garfunkel — The Boxer", "Simon & Garfunkel → none");
        row("/ in a name", "Ghost//Signal", "Ghost//Signal → none");
        row("ft in a word", "Daft Punk;Lifted", "Daft Punk, Lifted | Daft Punk | Lifted → none");
        row("one entry", "Earth, Wind & Fire", "Earth, Wind & Fire → none");
        row("entries", "Earth;Wind & Fire", "Earth, Wind & Fire | Earth | Wind & Fire → Earth local");
        row("never skipped whole", "Never Me;B", "Never Me, B | Never Me | B → none");
        row("prefixes", "Princess ft. Princ", "Princess ft. Princ | Princess | Princ → none");
    }

    void blocksATrackByAnyOfItsCredits()
    {
        QFETCH(QString, track);
        const QStringList credits =
            ArtistCredits::credits(track.section(" — ", 0, 0).split(';'), track.section(" — ", 1));
        TempPreferences prefs; // the store opened last must keep the switch it finds in the file
        prefs.writeFile(
            R"({"localBlacklistedArtists": ["b", "earth", "prince", "garfunkel", "ghost", "both"], )"
            R"("communityBlacklistedArtists": ["c", "both", "duo & co"], "neverSkipArtists": ["never me, b"]})");
        prefs.openStore()->setCommunityEnabled(!QByteArray(QTest::currentDataTag()).endsWith("off"));
        const auto block = prefs.openStore()->firstBlocked(credits);
        const QString verdict = block ? block->artist + (block->onCommunityList ? " community" : " local") : "none";
        QTEST(credits.join(" | ") + " → " + verdict, "credits");
    }

    // The community list's file as another program may leave it while the store has it mapped: replaced by
    // another list (seen at the next look-up), or broken (read as no copy, said once, until the next download).
    void readsABrokenOrReplacedListFileAsNoCopy_data()
    {
        QTest::addColumn<QByteArray>("edit");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("replaced") << QByteArray("other") << "other | ";
        QTest::newRow("truncated") << QByteArray("cut") << " | is truncated or not a list of names";
        QTest::newRow("name changed") << QByteArray("flip") << " | is corrupt";
        QTest::newRow("plain text") << QByteArray("Robo\n") << " | is truncated or not a list of names";
    }

    void readsABrokenOrReplacedListFileAsNoCopy()
    {
        QFETCH(QByteArray, edit);
        TempPreferences prefs, other;
        const QString path = prefs.folder() + "/communityBlacklistedArtists.names";
        auto store = prefs.openStore();
        store->setCommunityArtists({"robo", "zed"});
        QVERIFY(store->isInCommunityBlacklist("ROBO"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        edit == "cut" ? bytes.chop(1) : edit == "flip" ? void(bytes[bytes.size() - 2] = 'X') : void(bytes = edit);
        if (edit == "other") {
            ArtistListFile::write(other.path(), ArtistKeys::fromSet({"other"}));
        } else {
            QFile written(other.path());
            QVERIFY(written.open(QIODevice::WriteOnly) && written.write(bytes) == bytes.size());
        }
        QVERIFY(QFile::rename(other.path(), path + ".new") &&
                std::rename(qPrintable(path + ".new"), qPrintable(path)) == 0);
        StdoutCapture err(stderr);
        const QStringList names = store->communityArtists().sorted();
        const bool blocks = store->isInCommunityBlacklist("robo") || store->isInCommunityBlacklist("zed");
        const QStringList said = QString(err.text()).split('\n').filter("tunesieve:");
        QVERIFY(!blocks && said.size() == (edit == "other" ? 0 : 1));
        QTEST(names.join(", ") + " | " + said.value(0).section(path + " ", 1).section(';', 0, 0), "outcome");
        store->setCommunityArtists({"new"}); // the next download
        QVERIFY(store->isInCommunityBlacklist("New"));
    }

    // How names are lower-cased and ordered is seen on downloaded names, above.
    void keepsTheIdentifierAndSeesOtherProgramsEdits()
    {
        TempPreferences prefs;
        const QString id = prefs.openStore()->deviceId();
        QVERIFY(QUuid(id).version() == QUuid::Random && QUuid(id).toString(QUuid::WithoutBraces).toUpper() == id);
        auto store = prefs.openStore();
        QVERIFY(store->deviceId() == id && store->isCommunityEnabled() && !store->contains(QStringLiteral("Omega")));
        // Another program's edit is seen on the next read; an identifier removed behind the store's
        // back is made up anew on each read, and not stored.
        prefs.writeFile(R"({"localBlacklistedArtists": ["Omega"]})");
        QVERIFY(store->contains(QStringLiteral("OMEGA")) && store->deviceId() != store->deviceId());
        QCOMPARE(prefs.readFile(), R"({"localBlacklistedArtists": ["Omega"]})");
    }

    void keepsNeverSkipListAndSkipHistoryInTheFile()
    {
        TempPreferences prefs;
        auto store = prefs.openStore();
        const auto inFile = [&](const char* key) {
            store->waitUntilSaved();
            return QJsonDocument::fromJson(prefs.readFile())[key];
        };
        store->setLocalArtists(ArtistSet({"owls", "both"}));
        store->setCommunityArtists(ArtistSet({"c", "both"}));
        // Allowed artists are never blocked, the switch staying on; another credit still blocks.
        store->allow(QStringLiteral("C"));
        store->allow(QStringLiteral("Both"));
        QCOMPARE(inFile("neverSkipArtists").toVariant().toStringList(), QStringList({"both", "c"}));
        QCOMPARE(store->localArtists(), ArtistSet({"owls"}));
        QVERIFY(store->isCommunityEnabled() && !store->contains("c"));
        QCOMPARE(store->firstBlocked({"Both, Owls", "BOTH", "Owls"})->artist, "Owls");
        store->addLocal(QStringLiteral("C"));
        QVERIFY(store->contains("c") && store->neverSkipArtists() == ArtistSet({"both"}));

        // Newest first, the newest 50, kept for the next store on the file.
        for (int i = 0; i < 51; ++i) {
            store->recordSkip(
                {QDateTime::fromMSecsSinceEpoch(i).toUTC(), "vlc", QString::number(i), "T", "local", "C"});
        }
        store->waitUntilSaved();
        const auto skips = prefs.openStore()->recentSkips();
        const auto text = [](const BlacklistManager::SkipRecord& r) {
            return QStringList{r.time.toString(Qt::ISODateWithMs), r.player, r.artist, r.title, r.list, r.credit}.join(
                ' ');
        };
        QCOMPARE(text(skips.first()) + ", " + QString::number(skips.size()) + ", " + skips.last().artist,
                 "1970-01-01T00:00:00.050Z vlc 50 T local C, 50, 1");

        // A wrong-typed value reads as empty, an unreadable entry or odd element is left out alone, the other keys
        // stay.
        const QJsonValue good = inFile("recentlySkipped")[0];
        const QJsonArray entries{"{", good, "[]", R"({"time":"noon","player":"","artist":"","title":"","list":""})",
                                 R"({"time":"2026-01-01T00:00:00Z","player":"","artist":"A","title":"","list":""})"};
        prefs.writeFile(QJsonDocument(QJsonObject{{"localBlacklistedArtists", QJsonArray{"c"}},
                                                  {"neverSkipArtists", 7},
                                                  {"recentlySkipped", entries}})
                            .toJson());
        QCOMPARE(store->recentSkips().size(), 2);
        QCOMPARE(store->recentSkips()[1].credit, "A");
        QVERIFY(store->neverSkipArtists().isEmpty() && store->contains("c"));
        prefs.writeFile(R"({"localBlacklistedArtists": ["c"], "neverSkipArtists": ["x", 1], "recentlySkipped": "x"})");
        QVERIFY(store->recentSkips().isEmpty() && store->neverSkipArtists().sorted() == QStringList("x"));
        store->allow(QStringLiteral("Owls"));
        store->recordSkip({});
        QCOMPARE(inFile("localBlacklistedArtists").toVariant().toStringList() +
                     inFile("neverSkipArtists").toVariant().toStringList(),
                 QStringList({"c", "owls", "x"}));
    }
};

QTEST_GUILESS_MAIN(TestBlacklistManager)
#include "tst_BlacklistManager.moc"
