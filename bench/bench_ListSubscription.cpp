// Prints how long a subscribed list of 100 000 rows in CSV takes from request to stored, served over
// real TLS by the local test server (on a thread of its own), how long the main thread was held up at
// most meanwhile (the first look-up in the new list included) and its longest run of CPU time, how many
// names were stored, and the peak memory of the process (VmHWM). The list is made up here: "artist,id"
// rows, one in ten quoted with a comma and doubled quotes inside. Then the size of the preferences file.
#include "MainThreadFigures.h"
#include "ServerThread.h"
#include "blacklist/BlacklistManager.h"
#include "platform/JsonPreferencesDomain.h"
#include "platform/MemoryAllocator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kRows = 100000;

QByteArray generatedCsv()
{
    QByteArray csv = "artist,id\r\n";
    for (int row = 0; row < kRows; ++row) {
        const QByteArray number = QByteArray::number(row);
        csv += row % 10 == 0 ? "\"Band, \"\"The\"\" " + number + "\"," : "Artist Nr " + number + ",";
        csv += number + "\r\n";
    }
    return csv;
}

} // namespace

int main(int argc, char* argv[])
{
    configureMemoryAllocator(); // as the agent does
    QCoreApplication app(argc, argv);
    const QByteArray body = generatedCsv();
    const ServerThread server([&body](HttpsTestServer& server) { server.addReply("/ai.csv", {200, body}); });
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path())); // where the downloaded lists go
    auto store = std::make_shared<BlacklistManager>(
        std::make_unique<JsonPreferencesDomain>(dir.filePath(QStringLiteral("com.tunesieve.blacklist.json"))),
        CommunitySettings{server.baseUrl(), std::chrono::seconds(60), HttpsTestServer::trustedCertificates()});
    ListSubscriptions& lists = store->listSubscriptions();
    const QString url = server.baseUrl() + QStringLiteral("/ai.csv");

    std::printf("subscribed list: %d CSV rows, %.1f MB, served over TLS from 127.0.0.1\n", kRows,
                double(body.size()) / 1e6);
    std::printf("%-4s %15s %14s %16s %7s %16s\n", "run", "request→done ms", "main stall ms", "main CPU run ms",
                "stored", "VmHWM after KiB");
    for (int run = 1; run <= 5; ++run) {
        QEventLoop loop;
        qint64 longestStallMs = 0;
        double longestCpuMs = 0;
        StallMeter stalls;
        QElapsedTimer elapsed;
        elapsed.start();
        const auto done = [&] {
            // The agent's next check looks the playing artist up in the new list.
            store->firstBlocked({QStringLiteral("nobody")});
            longestStallMs = stalls.longestMs();
            longestCpuMs = stalls.longestCpuMs();
            loop.quit();
        };
        run == 1 ? (void)lists.subscribe(url, {}, done) : lists.update(url, done);
        loop.exec();
        const double ms = double(elapsed.nsecsElapsed()) / 1e6;
        store->waitUntilSaved();
        const QString error = lists.subscriptions().value(0).error;
        if (!error.isEmpty()) {
            qFatal("the fetch failed: %s", qPrintable(error));
        }
        std::printf("%-4d %15.1f %14lld %16.1f %7lld %16ld\n", run, ms, longestStallMs, longestCpuMs,
                    lists.names(url).size(), peakMemoryKiB());
    }
    std::printf("preferences file: %lld bytes\n",
                QFileInfo(dir.filePath(QStringLiteral("com.tunesieve.blacklist.json"))).size());
    return 0;
}
