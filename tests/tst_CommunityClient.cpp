#include "blacklist/BlacklistManager.h"
#include "support/HttpsTestServer.h"
#include "support/TempPreferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>
#include <QThread>

using Delivery = HttpsTestServer::Reply::Delivery;
using namespace std::chrono_literals;

namespace {

const QByteArray listPath = "/api/list/";
const QByteArray flagPath = "/api/flag/";
const QDateTime earlierSync(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);

// What a completion reported, and how.
struct Outcome
{
    int calls = 0;
    bool success = false;
    int count = -1;
    bool returned = false;      // the operation has returned
    bool deliveredLater = true; // every call came after the operation returned, on the main thread

    void record(bool reportedSuccess, int reportedCount)
    {
        ++calls;
        success = reportedSuccess;
        count = reportedCount;
        deliveredLater =
            deliveredLater && returned && QThread::currentThread() == QCoreApplication::instance()->thread();
    }
};

// Outcomes are shared with the completion, so that a late call cannot touch a finished test's stack.
std::shared_ptr<Outcome> startSync(BlacklistManager& store)
{
    auto outcome = std::make_shared<Outcome>();
    store.syncCommunityBlacklist([outcome](bool success, int count) { outcome->record(success, count); });
    outcome->returned = true;
    return outcome;
}

std::shared_ptr<Outcome> startFlag(BlacklistManager& store, const QString& artist)
{
    auto outcome = std::make_shared<Outcome>();
    store.flagArtist(artist, [outcome](bool success) { outcome->record(success, 0); });
    outcome->returned = true;
    return outcome;
}

// Waits for the completion, then a little longer to see that it does not come twice.
bool completedOnce(const Outcome& outcome)
{
    if (!QTest::qWaitFor([&outcome] { return outcome.calls > 0; }, 20000)) {
        return false;
    }
    QTest::qWait(30);
    return outcome.calls == 1 && outcome.deliveredLater;
}

std::shared_ptr<BlacklistManager> openStore(const TempPreferences& prefs, const QString& baseUrl,
                                            std::chrono::milliseconds timeout = 30s)
{
    return std::make_shared<BlacklistManager>(
        prefs.openDomain(), CommunitySettings{baseUrl, timeout, HttpsTestServer::trustedCertificates()});
}

// A store whose community list and sync date were set by an earlier download.
std::shared_ptr<BlacklistManager> openSyncedStore(const TempPreferences& prefs, const QString& baseUrl,
                                                  std::chrono::milliseconds timeout = 30s)
{
    auto store = openStore(prefs, baseUrl, timeout);
    store->setCommunityArtists(ArtistSet({"old"}));
    store->setLastSyncDate(earlierSync);
    return store;
}

QStringList storedCommunityList(const TempPreferences& prefs)
{
    QStringList names;
    const QJsonObject file = QJsonDocument::fromJson(prefs.readFile()).object();
    for (const QJsonValue& value : file.value("communityBlacklistedArtists").toArray()) {
        names.append(value.toString());
    }
    return names;
}

bool keptEarlierSync(const TempPreferences& prefs, const BlacklistManager& store)
{
    return storedCommunityList(prefs) == QStringList{"old"} && store.lastSyncDate() == earlierSync;
}

// Runs a download that must fail once, later, and leave the earlier download's list and date alone.
bool syncFails(BlacklistManager& store, const TempPreferences& prefs)
{
    const auto outcome = startSync(store);
    return completedOnce(*outcome) && !outcome->success && outcome->count == 0 && keptEarlierSync(prefs, store);
}

// Runs a flag that must fail once, later.
bool flagFails(BlacklistManager& store)
{
    const auto outcome = startFlag(store, QStringLiteral("Night Owls"));
    return completedOnce(*outcome) && !outcome->success;
}

QByteArray listBody(const QStringList& names)
{
    return QJsonDocument(QJsonObject{{"artists", QJsonArray::fromStringList(names)}}).toJson();
}

} // namespace

class TestCommunityClient : public QObject
{
    Q_OBJECT

private slots:
    void downloadReplacesListOnlyForTheExpectedShape_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("count");          // -1: the download fails
        QTest::addColumn<QStringList>("stored"); // the list stored after a success

        const QByteArray nightOwls = R"({"artists": ["Night Owls", "NIGHT OWLS", "Echo"], "version": 7})";
        QTest::newRow("ok") << 200 << nightOwls << 3 << QStringList{"echo", "night owls"};
        QTest::newRow("status 500 unexamined") << 500 << nightOwls << 3 << QStringList{"echo", "night owls"};
        QTest::newRow("status 400 unexamined") << 400 << nightOwls << 3 << QStringList{"echo", "night owls"};
        QTest::newRow("empty list") << 200 << QByteArray(R"({"artists": []})") << 0 << QStringList{};
        QTest::newRow("equivalent spellings")
            << 200 << QByteArray("{\"artists\": [\"Caf\xc3\xa9\", \"CAFE\xcc\x81\"]}") << 2 << QStringList{"caf\u00e9"};
        QTest::newRow("control characters") << 200 << QByteArray(R"({"artists": ["A\u0007B", "a\u0000b", "\t"]})") << 3
                                            << QStringList{"\t", QString::fromUtf8("a\0b", 3), "a\u0007b"};
        QByteArray manyDuplicates = "{\"artists\": [\"x\"";
        manyDuplicates += QByteArray(",\"X\"").repeated(999999) + "]}";
        QTest::newRow("a million names") << 200 << manyDuplicates << 1000000 << QStringList{"x"};

        QTest::newRow("number among names") << 200 << QByteArray(R"({"artists": ["a", 1]})") << -1 << QStringList();
        QTest::newRow("null among names") << 200 << QByteArray(R"({"artists": ["a", null]})") << -1 << QStringList();
        QTest::newRow("top-level array") << 200 << QByteArray(R"(["a", "b"])") << -1 << QStringList();
        QTest::newRow("no artists member") << 200 << QByteArray(R"({"names": ["a"]})") << -1 << QStringList();
        QTest::newRow("artists not an array") << 200 << QByteArray(R"({"artists": "a"})") << -1 << QStringList();
        QTest::newRow("empty body") << 200 << QByteArray() << -1 << QStringList();
        QTest::newRow("cut-off JSON") << 200 << QByteArray(R"({"artists": ["a")") << -1 << QStringList();
        QTest::newRow("invalid UTF-8") << 200 << QByteArray("{\"artists\": [\"a\xff\"]}") << -1 << QStringList();
        QTest::newRow("lone surrogate") << 200 << QByteArray(R"({"artists": ["a\ud800"]})") << -1 << QStringList();
        QTest::newRow("deep nesting") << 200
                                      << "{\"artists\": [" + QByteArray(100000, '[') + QByteArray(100000, ']') + "]}"
                                      << -1 << QStringList();
    }

    void downloadReplacesListOnlyForTheExpectedShape()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, count);
        QFETCH(QStringList, stored);
        HttpsTestServer server;
        server.addReply(listPath, {status, body});
        TempPreferences prefs;
        auto store = openSyncedStore(prefs, server.baseUrl());

        if (count < 0) {
            QVERIFY(syncFails(*store, prefs));
            return;
        }
        const QDateTime before = QDateTime::currentDateTimeUtc();
        auto outcome = startSync(*store);
        QVERIFY(completedOnce(*outcome));
        QVERIFY(outcome->success);
        QCOMPARE(outcome->count, count);
        QCOMPARE(storedCommunityList(prefs), stored);
        QVERIFY(store->lastSyncDate() >= before.addMSecs(-1));
        QVERIFY(store->lastSyncDate() <= QDateTime::currentDateTimeUtc());
    }

    void flagReportsTheServiceVerdict_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("verdict");

        QTest::newRow("200 true") << 200 << QByteArray(R"({"success": true, "id": 4})") << true;
        QTest::newRow("200 false") << 200 << QByteArray(R"({"success": false})") << false;
        QTest::newRow("201 true") << 201 << QByteArray(R"({"success": true})") << false;
        QTest::newRow("500 true") << 500 << QByteArray(R"({"success": true})") << false;
        QTest::newRow("200 string true") << 200 << QByteArray(R"({"success": "true"})") << false;
        QTest::newRow("200 no success") << 200 << QByteArray(R"({"ok": true})") << false;
        QTest::newRow("200 top-level array") << 200 << QByteArray(R"([true])") << false;
        QTest::newRow("200 empty body") << 200 << QByteArray() << false;
        QTest::newRow("200 invalid UTF-8") << 200 << QByteArray("{\"success\": true, \"x\": \"\xc3\"}") << false;
    }

    void flagReportsTheServiceVerdict()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, verdict);
        HttpsTestServer server;
        server.addReply(flagPath, {status, body});
        TempPreferences prefs;
        auto store = openStore(prefs, server.baseUrl());

        auto outcome = startFlag(*store, QStringLiteral("Night Owls"));
        QVERIFY(completedOnce(*outcome));
        QCOMPARE(outcome->success, verdict);
    }

    void sendsOneWellFormedRequestPerOperation()
    {
        HttpsTestServer server;
        server.addReply(listPath, {200, R"({"artists": []})"});
        server.addReply(flagPath, {200, R"({"success": true})"});
        TempPreferences prefs;
        auto store = openStore(prefs, server.baseUrl());

        QVERIFY(completedOnce(*startSync(*store)));
        QVERIFY(completedOnce(*startFlag(*store, QStringLiteral("Night Owls"))));
        QCOMPARE(server.requests().size(), 2);
        const HttpsTestServer::Request& list = server.requests().at(0);
        QCOMPARE(list.method, QByteArray("GET"));
        QCOMPARE(list.path, listPath);
        QCOMPARE(list.header("Accept"), QByteArray("application/json"));
        QVERIFY(list.body.isEmpty());

        const HttpsTestServer::Request& flag = server.requests().at(1);
        QCOMPARE(flag.method, QByteArray("POST"));
        QCOMPARE(flag.path, flagPath);
        QCOMPARE(flag.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(flag.body, R"({"artist":"Night Owls","device_id":")" + store->deviceId().toUtf8() + R"("})");
        // Flagging leaves the store alone: adding the artist locally is the caller's business.
        QVERIFY(store->localArtists().isEmpty());
    }

    void failsAtOnceWhenTheRequestCannotBeFormed()
    {
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost));
        const QString plainUrl = QStringLiteral("http://127.0.0.1:%1").arg(plain.serverPort());
        TempPreferences prefs;
        for (const QString& baseUrl :
             {QStringLiteral("https://127.0.0.1:%1 x").arg(plain.serverPort()), plainUrl, QString()}) {
            auto store = openSyncedStore(prefs, baseUrl);
            auto sync = startSync(*store);
            auto flag = startFlag(*store, QStringLiteral("Night Owls"));
            QCOMPARE(sync->calls, 1);
            QVERIFY(!sync->success);
            QCOMPARE(sync->count, 0);
            QCOMPARE(flag->calls, 1);
            QVERIFY(!flag->success);
        }

        // A name that is not valid Unicode cannot be sent as it is.
        HttpsTestServer server;
        auto store = openStore(prefs, server.baseUrl());
        auto flag = startFlag(*store, QStringLiteral("Night") + QChar(0xD800));
        QCOMPARE(flag->calls, 1);
        QVERIFY(!flag->success);

        QTest::qWait(200);
        QVERIFY(!plain.hasPendingConnections());
        QVERIFY(server.requests().isEmpty());
        QVERIFY(keptEarlierSync(prefs, *store));
    }

    void copesWithSlowStalledAndCutOffReplies()
    {
        HttpsTestServer server;
        const QByteArray body = listBody({"Slow", "Steady"}) + QByteArray(20000, ' ');
        server.addReply(listPath, {200, {}, Delivery::Held});
        server.addReply(listPath, {200, body, Delivery::Stalled});
        server.addReply(listPath, {200, body, Delivery::Truncated});
        server.addReply(listPath, {200, body, Delivery::SlowChunks, {}, 2000, 20});
        TempPreferences prefs;
        auto store = openSyncedStore(prefs, server.baseUrl(), 1500ms);

        QVERIFY(syncFails(*store, prefs)); // held: never answered
        QVERIFY(syncFails(*store, prefs)); // stalled midway
        QVERIFY(syncFails(*store, prefs)); // cut off
        // Slow as long as it keeps coming, which the timeout allows.
        auto outcome = startSync(*store);
        QVERIFY(completedOnce(*outcome));
        QVERIFY(outcome->success);
        QCOMPARE(storedCommunityList(prefs), (QStringList{"slow", "steady"}));
        QCOMPARE(server.requests().size(), 4);
    }

    void refusesUntrustedCertificates()
    {
        HttpsTestServer server(HttpsTestServer::Certificate::Untrusted);
        server.addReply(listPath, {200, listBody({"Intruder"})});
        server.addReply(flagPath, {200, R"({"success": true})"});
        TempPreferences prefs;
        auto store = openSyncedStore(prefs, server.baseUrl());

        QVERIFY(syncFails(*store, prefs));
        QVERIFY(flagFails(*store));
        QVERIFY(server.requests().isEmpty());
    }

    void refusesBodiesOverTheLimit()
    {
        const QByteArray names = "{\"artists\": [\"Huge\"], \"padding\": \"";
        const QByteArray oversized = names + QByteArray(CommunityTransport::maxBodyBytes, ' ') + "\"}";
        HttpsTestServer server;
        // Announced too large: refused as soon as the headers arrive, not after the 30 s timeout.
        server.addReply(listPath, {200, oversized, Delivery::Stalled});
        // Not announced: refused once the running size passes the limit.
        server.addReply(listPath, {200, oversized, Delivery::CloseDelimited});
        server.addReply(flagPath, {200, "{\"success\": true, \"padding\": \"" + oversized, Delivery::Stalled});
        TempPreferences prefs;
        auto store = openSyncedStore(prefs, server.baseUrl());

        QVERIFY(syncFails(*store, prefs));
        QVERIFY(syncFails(*store, prefs));
        QVERIFY(flagFails(*store));
        QCOMPARE(server.requests().size(), 3);
    }

    void followsRedirectsOnlyWhileTheyStayOnHttps()
    {
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost));
        HttpsTestServer server;
        const QByteArray moved = server.baseUrl().toUtf8() + "/moved/";
        const QByteArray insecure = QStringLiteral("http://127.0.0.1:%1/api/list/").arg(plain.serverPort()).toUtf8();
        server.addReply(listPath, {302, {}, Delivery::Whole, {{"Location", moved}}});
        server.addReply(listPath, {302, {}, Delivery::Whole, {{"Location", insecure}}});
        server.addReply("/moved/", {200, listBody({"Moved"})});
        TempPreferences prefs;
        auto store = openSyncedStore(prefs, server.baseUrl());

        auto followed = startSync(*store);
        QVERIFY(completedOnce(*followed));
        QVERIFY(followed->success);
        QCOMPARE(storedCommunityList(prefs), QStringList{"moved"});

        store->setCommunityArtists(ArtistSet({"old"}));
        store->setLastSyncDate(earlierSync);
        QVERIFY(syncFails(*store, prefs));
        QVERIFY(!plain.hasPendingConnections());
    }

    void laterReplyWinsWhateverTheRequestOrder()
    {
        HttpsTestServer server;
        server.addReply(listPath, {200, listBody({"First", "Request"}), Delivery::Held});
        server.addReply(listPath, {200, listBody({"Second", "Request", "Here"})});
        TempPreferences prefs;
        auto store = openSyncedStore(prefs, server.baseUrl());

        auto one = startSync(*store);
        auto two = startSync(*store);
        // Whichever request came second is answered first.
        QVERIFY(QTest::qWaitFor([&] { return one->calls + two->calls == 1; }, 20000));
        QCOMPARE(storedCommunityList(prefs), (QStringList{"here", "request", "second"}));
        server.releaseHeldReplies();
        QVERIFY(completedOnce(*one));
        QVERIFY(completedOnce(*two));
        QCOMPARE(one->count + two->count, 5);
        QCOMPARE(storedCommunityList(prefs), (QStringList{"first", "request"}));
    }

    void reportsFailureWhenTheStoreIsGone()
    {
        HttpsTestServer server;
        server.addReply(listPath, {200, listBody({"Orphan"}), Delivery::Held});
        TempPreferences prefs;
        auto store = openSyncedStore(prefs, server.baseUrl());

        auto outcome = startSync(*store);
        QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 1, 20000);
        store.reset();
        server.releaseHeldReplies();
        QVERIFY(completedOnce(*outcome));
        QVERIFY(!outcome->success);
        QCOMPARE(outcome->count, 0);
        QCOMPARE(storedCommunityList(prefs), QStringList{"old"});
    }
};

QTEST_GUILESS_MAIN(TestCommunityClient)
#include "tst_CommunityClient.moc"
