// tunesieve-community as its clients meet it: the built program on loopback, spoken to in raw HTTP.
#include "blacklist/ArtistListFormats.h"
#include "support/ServiceProcess.h"

#include <QRegularExpression>

namespace {

// "device@address" for each flag of one name.
using Flags = QStringList;

void flagAll(Service& service, const QString& artist, const Flags& flags)
{
    for (const QString& flag : flags) {
        QCOMPARE(service.flag(artist, flag.section('@', 0, 0), flag.section('@', 1).toLatin1()), 200);
    }
}

} // namespace

class tst_CommunityService : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { m_shared.reset(); }

    void listsAfterDevicesFromNetworks_data()
    {
        QTest::addColumn<Flags>("flags");
        QTest::addColumn<QStringList>("artistsFlagged");
        QTest::addColumn<QStringList>("listed");
        const QStringList bot{"Bot", "Bot", "Bot"};
        QTest::newRow("three devices on two /24s")
            << Flags{"a@10.0.1.1", "b@10.0.1.200", "c@10.0.2.1"} << bot << QStringList{};
        QTest::newRow("three on three") << Flags{"a@10.0.1.1", "b@10.0.2.1", "c@10.0.3.1"} << bot << QStringList{"bot"};
        QTest::newRow("one device thrice") << Flags{"a@10.0.1.1", "a@10.0.2.1", "a@10.0.3.1"} << bot << QStringList{};
        QTest::newRow("two /48s") << Flags{"a@2001:db8:1::1", "b@2001:db8:1:ff::2", "c@2001:db8:2::1"} << bot
                                  << QStringList{};
        QTest::newRow("three /48s") << Flags{"a@2001:db8:1::1", "b@2001:db8:2::1", "c@::ffff:10.0.3.1"} << bot
                                    << QStringList{"bot"};
        QTest::newRow("letter case is one name") << Flags{"a@10.0.1.1", "b@10.0.2.1", "c@10.0.3.1"}
                                                 << QStringList{"ΣIGMA", "σigma", "ΣIGMA"} << QStringList{"σigma"};
        QTest::newRow("decomposed is one name")
            << Flags{"a@10.0.1.1", "b@10.0.2.1", "c@10.0.3.1"}
            << QStringList{"Beyonc\u00e9", "beyonce\u0301", "BEYONC\u00c9"} << QStringList{"beyonc\u00e9"};
    }
    void listsAfterDevicesFromNetworks()
    {
        QFETCH(Flags, flags);
        QFETCH(QStringList, artistsFlagged);
        QFETCH(QStringList, listed);
        Service service;
        for (qsizetype index = 0; index < flags.size(); ++index) {
            flagAll(service, artistsFlagged[index], {flags[index]});
        }
        QCOMPARE(service.listed(), listed);
    }

    void refusesBadFlags_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        const auto flag = [](const QString& artist, const QString& device = "D") {
            return "POST /api/flag/ " + QJsonDocument(QJsonObject{{"artist", artist}, {"device_id", device}}).toJson();
        };
        QTest::newRow("not JSON") << QByteArray("POST /api/flag/ {artist") << 400;
        QTest::newRow("no device") << QByteArray(R"(POST /api/flag/ {"artist":"x"})") << 400;
        QTest::newRow("artist not text") << QByteArray(R"(POST /api/flag/ {"artist":1,"device_id":"D"})") << 400;
        QTest::newRow("empty artist") << flag("") << 400;
        QTest::newRow("control character") << flag("a\u0007b") << 400;
        QTest::newRow("1000 characters") << flag(QString(999, 'a') + "\U0001F3B5") << 200;
        QTest::newRow("1001 characters") << flag(QString(1001, 'a')) << 400;
        QTest::newRow("device with a space") << flag("x", "a b") << 400;
        QTest::newRow("4 KiB body") << "POST /api/flag/ " + QByteArray(4096, ' ') << 400;
        QTest::newRow("one byte over 4 KiB") << "POST /api/flag/ " + QByteArray(4097, ' ') << 413;
        QTest::newRow("list by POST") << QByteArray("POST /api/list/ {}") << 405;
        QTest::newRow("flag by GET") << QByteArray("GET /api/flag/ ") << 405;
        QTest::newRow("elsewhere") << QByteArray("GET /api/other ") << 404;
        QTest::newRow("malformed method") << QByteArray("G(T /api/list/ ") << 400;
    }
    void refusesBadFlags()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        if (!m_shared) {
            m_shared = std::make_unique<Service>();
        }
        Service& service = *m_shared;
        const QList<QByteArray> parts = request.split(' ');
        const HttpReply reply = service.request(parts[0], parts[1], "X-Forwarded-For: 10.0.0.1\r\n",
                                                request.mid(parts[0].size() + parts[1].size() + 2));
        QCOMPARE(reply.status, status);
        const QJsonObject answer = QJsonDocument::fromJson(reply.body).object();
        QCOMPARE(answer["success"].toBool(), status == 200);
        QVERIFY(status == 200 || !answer["error"].toString().isEmpty());
    }

    // A sequence of flags against limits of 2 an hour per device and 3 per network.
    void limitsFlagsPerDeviceAndNetwork()
    {
        Service service({"--device-flags-per-hour", "2", "--network-flags-per-hour", "3"});
        const struct
        {
            const char* artist;
            const char* flag;
            int status;
        } steps[] = {
            {"one", "a@10.0.1.1", 200}, {"two", "a@10.0.1.1", 200}, {"three", "a@10.0.2.1", 429}, // the device's third
            {"one", "a@10.0.1.1", 200},                             // a repeat is no new flag
            {"one", "b@10.0.1.2", 200}, {"two", "c@10.0.1.3", 429}, // the network's fourth
            {"two", "c@10.0.9.3", 200},
        };
        for (const auto& step : steps) {
            const QString flag = QString::fromLatin1(step.flag);
            QCOMPARE(service.flag(step.artist, flag.section('@', 0, 0), flag.section('@', 1).toLatin1()), step.status);
        }
    }

    void moderatorsDecideOverFlags()
    {
        Service service;
        const Flags threeNetworks{"a@10.0.1.1", "b@10.0.2.1", "c@10.0.3.1"};
        QCOMPARE(service.moderate({"reject", "Human Band", "--reason", "plays live"}), "0 rejected: human band\n");
        flagAll(service, "HUMAN BAND", threeNetworks);
        flagAll(service, "Bot", threeNetworks.mid(0, 2));
        QCOMPARE(service.listed(), QStringList{});
        QCOMPARE(service.moderate({"pending"}), "0 devices networks artist\n      2        2 bot\n");
        QCOMPARE(service.moderate({"approve", "BOT", "--reason", "checked"}), "0 approved: bot\n");
        QTRY_COMPARE(service.listed(), QStringList{"bot"});
        QCOMPARE(service.moderate({"remove", "Bot"}), "0 removed: bot\n");
        QTRY_COMPARE(service.listed(), QStringList{});
        QCOMPARE(service.moderate({"remove", "Never Seen"}), "1 not known: never seen\n");
        QCOMPARE(service.moderate({"approve", "a\tb"}), "1 refused: the artist holds a control character\n");
        const QString status = service.moderate({"status"});
        QVERIFY2(status.contains(QRegularExpression("approve bot: checked\n.*reject human band: plays live\n",
                                                    QRegularExpression::DotMatchesEverythingOption)),
                 qPrintable(status));
    }

    void publishesTheListForCaches()
    {
        Service service;
        const Flags threeNetworks{"a@10.0.1.1", "b@10.0.2.1", "c@10.0.3.1"};
        flagAll(service, "Bot, Inc.", threeNetworks);
        const HttpReply plain = service.request("GET", "/api/list/");
        const QByteArray etag = plain.headers["etag"];
        QCOMPARE(QJsonDocument::fromJson(plain.body)["count"].toInt(), 1);
        QVERIFY(plain.headers["cache-control"].contains("max-age"));
        const HttpReply gzip = service.request("GET", "/api/list/", "Accept-Encoding: br, gzip\r\n");
        QCOMPARE(gzip.headers["content-encoding"], "gzip");
        QCOMPARE(gunzip(gzip.body), plain.body);
        const struct
        {
            QByteArray headers;
            int status;
            QByteArray encoding;
        } conditionals[] = {
            {"If-None-Match: " + etag + "\r\n", 304, ""},
            {"If-None-Match: \"other\", " + gzip.headers["etag"] + "\r\nAccept-Encoding: gzip\r\n", 304, ""},
            {"If-None-Match: \"other\"\r\nAccept-Encoding: gzip;q=0\r\n", 200, ""},
        };
        for (const auto& conditional : conditionals) {
            const HttpReply reply = service.request("GET", "/api/list/", conditional.headers);
            QCOMPARE(reply.status, conditional.status);
            QCOMPARE(reply.headers.value("content-encoding"), conditional.encoding);
        }
        const QByteArray csv = service.request("GET", "/api/list.csv").body;
        QCOMPARE(csv, "artist\n\"bot, inc.\"\n");
        QCOMPARE(ArtistListFormats::read(csv).list.names.view().toSet(),
                 ArtistSet({"bot, inc."})); // as the agent reads it
        flagAll(service, "Another Bot", threeNetworks);
        const HttpReply changed = service.request("GET", "/api/list/", "If-None-Match: " + etag + "\r\n");
        QCOMPARE(changed.status, 200);
        QCOMPARE(QJsonDocument::fromJson(changed.body)["artists"].toVariant().toStringList(),
                 (QStringList{"another bot", "bot, inc."}));
    }

    // A client that starts a request and does not finish it, or keeps a connection idle, loses it.
    void closesSlowConnections()
    {
        Service service({"--read-timeout", "1"});
        for (const QByteArray& sent :
             {QByteArray("POST /api/flag/ HTTP/1.1\r\nContent-Length: 9\r\n\r\n{"), QByteArray()}) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, service.port());
            QVERIFY(socket.waitForConnected(10000));
            socket.write(sent);
            QVERIFY(socket.waitForDisconnected(10000));
        }
    }

    // Two servers on one database: flags sent to both are counted once each and both serve one list;
    // a restart of either, or of PostgreSQL, loses nothing answered with success. Each counts its own
    // requests for Prometheus and logs one line per request.
    void sharesOneDatabase()
    {
        Service first;
        Service second({}, &first);
        flagAll(first, "Bot", {"a@10.0.1.1", "c@10.0.3.1"});
        flagAll(second, "Bot", {"a@10.0.1.1", "b@10.0.2.1"}); // a repeat from the device a
        QCOMPARE(first.listed(), QStringList{"bot"});
        QCOMPARE(second.listed(), QStringList{"bot"});
        const QByteArray metrics = second.request("GET", "/metrics").body;
        QVERIFY2(metrics.contains("tunesieve_requests_total{endpoint=\"/api/flag/\",status=\"200\"} 2\n"
                                  "tunesieve_requests_total{endpoint=\"/api/list/\",status=\"200\"} 1\n") &&
                     metrics.contains("bucket{le=\"+Inf\"} 3\n") &&
                     metrics.contains("{outcome=\"counted\"} 1\ntunesieve_flags_total{outcome=\"repeated\"} 1\n") &&
                     metrics.contains("tunesieve_listed_names 1\n"),
                 metrics.constData());
        QCOMPARE(first.stop(), 0);
        QVERIFY2(first.errors().startsWith("POST /api/flag/ 200 16 "), first.errors().constData());
        QVERIFY(!postgres || postgres->restart());
        flagAll(second, "Another Bot", {"d@10.0.4.1", "e@10.0.5.1", "f@10.0.6.1"});
        QVERIFY(!postgres || postgres->restart()); // at once: what was answered must be on disk already
        first.start();
        QCOMPARE(first.listed(), (QStringList{"another bot", "bot"}));
        QVERIFY(first.moderate({"status"}).contains("\nflags: 6\n"));
        QCOMPARE(first.request("GET", "/healthz").status, 200);
    }

    void keepsNoDeviceOrAddress()
    {
        Service service;
        flagAll(service, "Bot", {"7F3A9C2E-0B1D-4E5F-8A6B-C7D8E9F01234@198.51.100.23", "DEVICE-TWO@2001:db8:77::5"});
        QCOMPARE(service.stop(), 0);
        const QByteArray stored = service.storedBytes() + service.errors();
        QVERIFY(stored.contains("bot"));
        for (const char* secret : {"7F3A9C2E", "DEVICE-TWO", "198.51.100", "2001:db8", "2001:0db8"}) {
            QVERIFY2(!stored.contains(secret), secret);
        }
    }

private:
    // The service of the table-driven refusals, shared by their rows.
    std::unique_ptr<Service> m_shared;
};

int main(int argc, char** argv)
{
    return runOnBothEngines<tst_CommunityService>(argc, argv);
}
#include "tst_CommunityService.moc"
