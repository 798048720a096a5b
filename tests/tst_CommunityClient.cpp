#include "blacklist/BlacklistManager.h"
#include "support/HttpsTestServer.h"
#include "support/TempPreferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTest>
#include <QThread>

using Certificate = HttpsTestServer::Certificate;
using Delivery = HttpsTestServer::Reply::Delivery;
using namespace std::chrono_literals;

namespace {

const QByteArray listPath = "/api/list/";
const QByteArray flagPath = "/api/flag/";
const QDateTime earlierSync(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
// What an operation reported and left in the store (see Client::reported): a failure that changed
// nothing, and a flag the service accepted.
const QString failed = QStringLiteral("false 0 [old] old date");
const QString flagged = QStringLiteral("true 0 [old] old date");

// Each call of a completion, as "true 3" (success, count), marked "at once" when it came before the
// operation returned and "off the main thread" when it came from another thread. Shared with the
// completion, so that a late call cannot touch a finished test's stack.
using Calls = std::shared_ptr<QStringList>;

template <typename Operation> Calls start(Operation operation)
{
    auto calls = std::make_shared<QStringList>();
    auto returned = std::make_shared<bool>(false);
    operation([calls, returned](bool success, int count = 0) {
        const bool mainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        *calls << QString("%1 %2").arg(success ? "true" : "false").arg(count) + (*returned ? "" : " at once") +
                      (mainThread ? "" : " off the main thread");
    });
    *returned = true;
    return calls;
}

// A store that holds an earlier download's list and date, and whose community service is `server`.
struct Client
{
    explicit Client(Certificate certificate = Certificate::Trusted) : server(certificate) { open(server.baseUrl()); }

    void open(const QString& baseUrl, std::chrono::milliseconds timeout = 30s)
    {
        store = std::make_shared<BlacklistManager>(
            prefs.openDomain(), CommunitySettings{baseUrl, timeout, HttpsTestServer::trustedCertificates()});
        store->setCommunityArtists(ArtistSet({"old"}));
        store->setLastSyncDate(earlierSync);
    }

    Calls sync()
    {
        return start([this](auto done) { store->syncCommunityBlacklist(done); });
    }
    Calls flag(const QString& artist = "Night Owls")
    {
        return start([&](auto done) { store->flagArtist(artist, done); });
    }

    // The community list as the file holds it.
    QString stored() const
    {
        const QJsonArray names = QJsonDocument::fromJson(prefs.readFile())["communityBlacklistedArtists"].toArray();
        return "[" + QVariant(names.toVariantList()).toStringList().join(", ") + "]";
    }
    // Waits for the completion, then a little longer to see that it does not come twice. Answers
    // its calls, the stored list, and whether the sync date is the earlier one or a new one, e.g.
    // "true 2 [echo, night owls] new date".
    QString reported(const Calls& calls) const
    {
        (void)QTest::qWaitFor([&] { return !calls->isEmpty(); }, 20000); // none: the report shows no call
        QTest::qWait(30);
        const auto date = store ? store->lastSyncDate() : earlierSync;
        const bool recent = date && qAbs(date->secsTo(QDateTime::currentDateTimeUtc())) < 60;
        const char* when = date == earlierSync ? "old date" : recent ? "new date" : "odd date";
        return calls->join(" + ") + " " + stored() + " " + when;
    }
    QString download() { return reported(sync()); }
    QString verdict() { return reported(flag()); }

    HttpsTestServer server;
    TempPreferences prefs;
    std::shared_ptr<BlacklistManager> store;
};

} // namespace

class TestCommunityClient : public QObject
{
    Q_OBJECT

private slots:
    void acceptsOnlyReplyBodiesOfTheExpectedShape_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome");
        QByteArray path = listPath;
        const auto row = [&path](const char* name, int status, const QByteArray& body, const QString& outcome) {
            QTest::newRow(name) << path << status << body << outcome;
        };
        const QByteArray nightOwls = R"({"artists": ["Night Owls", "NIGHT OWLS", "Echo"], "version": 7})";
        row("ok", 200, nightOwls, "true 3 [echo, night owls] new date");
        row("status 500 unexamined", 500, nightOwls, "true 3 [echo, night owls] new date");
        row("empty list", 200, R"({"artists": []})", "true 0 [] new date");
        row("equivalent spellings", 200, "{\"artists\": [\"Café\", \"CAFE\xcc\x81\"]}", "true 2 [café] new date");
        row("control characters", 200, R"({"artists": ["A\u0007B", "a\u0000b", "\t"]})",
            "true 3 [\t, a" + QString(QChar(0)) + "b, a\u0007b] new date");
        row("a million names", 200, "{\"artists\": [\"x\"" + QByteArray(",\"X\"").repeated(999999) + "]}",
            "true 1000000 [x] new date");
        row("number among names", 200, R"({"artists": ["a", 1]})", failed);
        row("null among names", 200, R"({"artists": ["a", null]})", failed);
        row("top-level array", 200, R"(["a", "b"])", failed);
        row("no artists member", 200, R"({"names": ["a"]})", failed);
        row("artists not an array", 200, R"({"artists": "a"})", failed);
        row("empty body", 200, "", failed);
        row("cut-off JSON", 200, R"({"artists": ["a")", failed);
        row("invalid UTF-8", 200, "{\"artists\": [\"a\xff\"]}", failed);
        row("lone surrogate", 200, R"({"artists": ["a\ud800"]})", failed);
        row("deep nesting", 200, "{\"artists\": [" + QByteArray(100000, '[') + QByteArray(100000, ']') + "]}", failed);

        path = flagPath;
        row("flag 200 true", 200, R"({"success": true, "id": 4})", flagged);
        row("flag 200 false", 200, R"({"success": false})", failed);
        row("flag 201 true", 201, R"({"success": true})", failed);
        row("flag 500 true", 500, R"({"success": true})", failed);
        row("flag 200 string true", 200, R"({"success": "true"})", failed);
        row("flag 200 no success", 200, R"({"ok": true})", failed);
        row("flag 200 top-level array", 200, R"([true])", failed);
        row("flag 200 empty body", 200, "", failed);
        row("flag 200 invalid UTF-8", 200, "{\"success\": true, \"x\": \"\xc3\"}", failed);
    }

    void acceptsOnlyReplyBodiesOfTheExpectedShape()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, outcome);
        Client client;
        client.server.addReply(path, {status, body});
        QCOMPARE(path == listPath ? client.download() : client.verdict(), outcome);
        // One request, with the one header each operation sets, and the compact body of a flag.
        const auto& sent = client.server.requests();
        QCOMPARE(sent.size(), 1);
        const QByteArray id = client.store->deviceId().toUtf8();
        QCOMPARE(QByteArrayList({sent[0].method, sent[0].path, sent[0].header("Accept"), sent[0].header("Content-Type"),
                                 sent[0].body})
                     .join('|'),
                 path == listPath
                     ? "GET|/api/list/|application/json||"
                     : "POST|/api/flag/||application/json|{\"artist\":\"Night Owls\",\"device_id\":\"" + id + "\"}");
        // Flagging leaves the local list alone too: adding the artist is the caller's business.
        QVERIFY(client.store->localArtists().isEmpty());
    }

    void failsMalformedRequestsAtOnceAndNeverUsesPlainHttp()
    {
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost));
        const QString plainUrl = QStringLiteral("http://127.0.0.1:%1").arg(plain.serverPort());
        Client client;
        for (const QString& baseUrl :
             {QStringLiteral("https://127.0.0.1:%1 x").arg(plain.serverPort()), plainUrl, QString()}) {
            client.open(baseUrl);
            QCOMPARE(*client.sync(), QStringList{"false 0 at once"});
            QCOMPARE(*client.flag(), QStringList{"false 0 at once"});
        }
        // A name that is not valid Unicode cannot be sent as it is.
        client.open(client.server.baseUrl());
        QCOMPARE(*client.flag(QStringLiteral("Night") + QChar(0xD800)), QStringList{"false 0 at once"});

        // Redirects are followed while they stay on HTTPS.
        const QByteArray moved = client.server.baseUrl().toUtf8() + "/moved/";
        client.server.addReply(listPath, {302, {}, Delivery::Whole, {{"Location", moved}}});
        client.server.addReply(listPath, {302, {}, Delivery::Whole, {{"Location", plainUrl.toUtf8() + listPath}}});
        client.server.addReply("/moved/", {200, R"({"artists": ["Moved"]})"});
        QCOMPARE(client.download(), "true 1 [moved] new date");
        client.open(client.server.baseUrl());
        QCOMPARE(client.download(), failed);
        QCOMPARE(client.server.requests().size(), 3); // the two downloads and the one redirect followed
        QVERIFY(!plain.hasPendingConnections());
    }

    void copesWithSlowStalledAndCutOffReplies()
    {
        Client client;
        client.open(client.server.baseUrl(), 1500ms);
        const QByteArray body = QByteArray(R"({"artists": ["Slow", "Steady"]})") + QByteArray(20000, ' ');
        client.server.addReply(listPath, {200, {}, Delivery::Held});
        client.server.addReply(listPath, {200, body, Delivery::Stalled});
        client.server.addReply(listPath, {200, body, Delivery::Truncated});
        // Slow as long as it keeps coming, which the timeout allows.
        client.server.addReply(listPath, {200, body, Delivery::SlowChunks, {}, 2000, 20});
        QCOMPARE(client.download(), failed); // held: never answered
        QCOMPARE(client.download(), failed); // stalled midway
        QCOMPARE(client.download(), failed); // cut off
        QCOMPARE(client.download(), "true 2 [slow, steady] new date");
        QCOMPARE(client.server.requests().size(), 4);
    }

    void refusesUntrustedCertificatesAndOversizedBodies()
    {
        Client untrusted(Certificate::Untrusted);
        untrusted.server.addReply(listPath, {200, R"({"artists": ["Intruder"]})"});
        untrusted.server.addReply(flagPath, {200, R"({"success": true})"});
        QCOMPARE(untrusted.download(), failed);
        QCOMPARE(untrusted.verdict(), failed);
        QVERIFY(untrusted.server.requests().isEmpty());

        Client client;
        const QByteArray padding = "\"padding\": \"" + QByteArray(CommunityTransport::maxBodyBytes, ' ') + "\"}";
        // Announced too large: refused as soon as the headers arrive, not after the 30 s timeout.
        client.server.addReply(listPath, {200, "{\"artists\": [\"Huge\"], " + padding, Delivery::Stalled});
        // Not announced: refused once the running size passes the limit.
        client.server.addReply(listPath, {200, "{\"artists\": [\"Huge\"], " + padding, Delivery::CloseDelimited});
        client.server.addReply(flagPath, {200, "{\"success\": true, " + padding, Delivery::Stalled});
        QCOMPARE(client.download(), failed);
        QCOMPARE(client.download(), failed);
        QCOMPARE(client.verdict(), failed);
        QCOMPARE(client.server.requests().size(), 3);
    }

    void laterReplyWinsWhateverTheRequestOrder()
    {
        Client client;
        client.server.addReply(listPath, {200, R"({"artists": ["First", "Request"]})", Delivery::Held});
        client.server.addReply(listPath, {200, R"({"artists": ["Second", "Request", "Here"]})"});
        const auto one = client.sync();
        const auto two = client.sync();
        // Whichever request came second is answered first.
        QVERIFY(QTest::qWaitFor([&] { return one->size() + two->size() == 1; }, 20000));
        QCOMPARE(client.stored(), "[here, request, second]");
        client.server.releaseHeldReplies();
        QVERIFY(QTest::qWaitFor([&] { return one->size() + two->size() == 2; }, 20000));
        QStringList results = {client.reported(one), client.reported(two)};
        results.sort();
        QCOMPARE(results.join(" / "), "true 2 [first, request] new date / true 3 [first, request] new date");
    }

    void reportsFailureWhenTheStoreIsGone()
    {
        Client client;
        client.server.addReply(listPath, {200, R"({"artists": ["Orphan"]})", Delivery::Held});
        const auto outcome = client.sync();
        QTRY_COMPARE_WITH_TIMEOUT(client.server.requests().size(), 1, 20000);
        client.store.reset();
        client.server.releaseHeldReplies();
        QCOMPARE(client.reported(outcome), failed);
    }
};

QTEST_GUILESS_MAIN(TestCommunityClient)
#include "tst_CommunityClient.moc"
