// Prints how long a download of the 100 000-name community list takes from request to completion,
// served over real TLS by the local test server (on a thread of its own), how long the main thread was held up at most
// meanwhile (the first look-up in the new list included), the peak memory of the process (VmHWM) before and after,
// and its resident memory once the list is stored (VmRSS, after the allocator gave back what it can).
// `bench_CommunitySync 1000000` downloads instead a made-up list of that many names, as large as the caps allow.
// For comparison, it also times reading the reply alone, the part that runs on the background thread, and prints
// the size of the preferences file.
#include "MainThreadFigures.h"
#include "ServerThread.h"
#include "blacklist/BlacklistManager.h"
#include "blacklist/CommunityWireFormat.h"
#include "platform/JsonPreferencesDomain.h"
#include "platform/MemoryAllocator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// `count` made-up names, each distinct, in the wire format: 1 000 000 of them come to some 31 MiB, near the cap.
QByteArray generatedCommunityList(int count)
{
    QByteArray body = "{\"artists\": [";
    for (int i = 0; i < count; ++i) {
        body += (i ? ",\"" : "\"") + QByteArray(i % 7 ? "Made-up Artist Number " : "Mäde-up Ártist Number ") +
                QByteArray::number(i).rightJustified(7, '0') + "\"";
    }
    return body + "]}";
}

QByteArray readCommunityList()
{
    QFile file(QStringLiteral(TUNESIEVE_BENCH_DATA_DIR "/community-100k.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read the benchmark data");
    }
    return file.readAll();
}

} // namespace

int main(int argc, char* argv[])
{
    configureMemoryAllocator(); // as the agent does
    QCoreApplication app(argc, argv);
    const int generated = argc > 1 ? QByteArray(argv[1]).toInt() : 0;
    const QByteArray body = generated > 0 ? generatedCommunityList(generated) : readCommunityList();
    const ServerThread server([&body](HttpsTestServer& server) { server.addReply("/api/list/", {200, body}); });
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path())); // where the downloaded lists go
    auto store = std::make_shared<BlacklistManager>(
        std::make_unique<JsonPreferencesDomain>(dir.filePath(QStringLiteral("com.tunesieve.blacklist.json"))),
        CommunitySettings{server.baseUrl(), std::chrono::seconds(60), HttpsTestServer::trustedCertificates()});

    std::printf("community list: %.1f MB, served over TLS from 127.0.0.1\n", double(body.size()) / 1e6);
    std::printf("resident before the first download (this benchmark's list and server included): %ld KiB\n",
                memoryKiB("VmRSS:"));
    std::printf("%-4s %15s %16s %15s %7s %7s %16s %15s %15s\n", "run", "request→done ms", "main stall ms",
                "main CPU run ms", "count", "stored", "VmHWM before KiB", "VmHWM after KiB", "VmRSS after KiB");
    for (int run = 1; run <= (generated > 0 ? 3 : 10); ++run) {
        const long before = peakMemoryKiB();
        QEventLoop loop;
        bool success = false;
        int count = 0;
        qint64 longestStallMs = 0;
        double longestCpuMs = 0;
        StallMeter stalls;
        QElapsedTimer elapsed;
        elapsed.start();
        store->syncCommunityBlacklist([&](bool reportedSuccess, int reportedCount) {
            success = reportedSuccess;
            count = reportedCount;
            // The agent's next check looks the playing artist up in the new list.
            store->firstBlocked({QStringLiteral("nobody")});
            longestStallMs = stalls.longestMs();
            longestCpuMs = stalls.longestCpuMs();
            loop.quit();
        });
        loop.exec();
        const double ms = double(elapsed.nsecsElapsed()) / 1e6;
        store->waitUntilSaved();
        if (!success) {
            qFatal("the download failed");
        }
        // A name of the made-up list, looked up in what was stored.
        const char* stored = generated == 0                                                   ? "-"
                             : store->isInCommunityBlacklist("made-up artist number 0000001") ? "yes"
                                                                                              : "NO";
        std::printf("%-4d %15.1f %16lld %15.1f %7d %7s %16ld %15ld %15ld\n", run, ms, longestStallMs, longestCpuMs,
                    count, stored, before, peakMemoryKiB(), memoryKiB("VmRSS:"));
    }
    std::printf("preferences file: %lld bytes\n",
                QFileInfo(dir.filePath(QStringLiteral("com.tunesieve.blacklist.json"))).size());

    QElapsedTimer reading;
    reading.start();
    const auto list = CommunityWireFormat::readList(body);
    std::printf("reading the reply alone (off the main thread during a download): %.1f ms, %d names\n",
                double(reading.nsecsElapsed()) / 1e6, list ? list->count : -1);
    return 0;
}
