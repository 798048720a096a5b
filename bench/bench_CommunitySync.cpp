// Prints how long a download of the 100 000-name community list takes from request to completion,
// served over real TLS by the local test server (in a process of its own, so that the figures are the agent's own),
// and from its last byte to completion: the server holds the reply open once it has sent the body, until the
// agent has received and read all of it, and then ends it. Also how long the main thread was held up at most
// meanwhile (the first look-up in the new list included), the peak memory of the process (VmHWM) before and after,
// and its resident memory once the list is stored (VmRSS, after the allocator gave back what it can).
// `bench_CommunitySync 1000000` downloads instead a made-up list of that many names, as large as the caps allow.
// For comparison, it also times reading the reply alone, the part that runs on the background thread, and prints
// the size of the preferences file.
#include "MainThreadFigures.h"
#include "ServerProcess.h"
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
#include <ctime>

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

// Bytes this process has read so far, sockets included (rchar of /proc/self/io).
qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    return io.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(io.readAll()).section("rchar:", 1).section('\n', 0, 0).trimmed().toLongLong()
               : -1;
}

qint64 processCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Calls `onRead` once the process has read `bytes` more than `from` and then stayed idle for 50 ms: the whole body
// has arrived and been read, and nothing is left but its end.
void whenRead(qint64 from, qint64 bytes, const std::function<void()>& onRead)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout,
                     [poll, from, bytes, onRead, cpu = processCpuNs(), idleTicks = 0]() mutable {
                         const qint64 now = processCpuNs();
                         idleTicks = now - cpu < 2000000 && bytesRead() >= from + bytes ? idleTicks + 1 : 0;
                         cpu = now;
                         if (idleTicks == 5) {
                             poll->deleteLater();
                             onRead();
                         }
                     });
    poll->start(10);
}

} // namespace

int main(int argc, char* argv[])
{
    configureMemoryAllocator(); // as the agent does
    const int generated = argc > 1 ? QByteArray(argv[1]).toInt() : 0;
    const ServerProcess server([generated](HttpsTestServer& server) {
        const QByteArray body = generated > 0 ? generatedCommunityList(generated) : readCommunityList();
        server.addReply("/api/list/", {200, body, HttpsTestServer::Reply::Delivery::Held});
        return body.size();
    });
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path())); // where the downloaded lists go
    auto store = std::make_shared<BlacklistManager>(
        std::make_unique<JsonPreferencesDomain>(dir.filePath(QStringLiteral("com.tunesieve.blacklist.json"))),
        CommunitySettings{server.baseUrl(), std::chrono::seconds(60), HttpsTestServer::trustedCertificates()});

    std::printf("community list: %.1f MB, served over TLS from 127.0.0.1 by another process\n",
                double(server.bodyBytes()) / 1e6);
    std::printf("resident before the first download: %ld KiB\n", memoryKiB("VmRSS:"));
    std::printf("%-4s %15s %18s %16s %15s %7s %7s %16s %15s %15s\n", "run", "request→done ms", "last byte→done ms",
                "main stall ms", "main CPU run ms", "count", "stored", "VmHWM before KiB", "VmHWM after KiB",
                "VmRSS after KiB");
    for (int run = 1; run <= (generated > 0 ? 3 : 10); ++run) {
        const long before = peakMemoryKiB();
        QEventLoop loop;
        bool success = false;
        int count = 0;
        qint64 longestStallMs = 0;
        double longestCpuMs = 0;
        StallMeter stalls;
        QElapsedTimer elapsed;
        QElapsedTimer sinceLastByte;
        elapsed.start();
        whenRead(bytesRead(), server.bodyBytes(), [&] {
            sinceLastByte.start();
            server.releaseHeldReplies();
        });
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
        const double afterLastByteMs = sinceLastByte.isValid() ? double(sinceLastByte.nsecsElapsed()) / 1e6 : -1;
        store->waitUntilSaved();
        if (!success) {
            qFatal("the download failed");
        }
        // A name of the made-up list, looked up in what was stored.
        const char* stored = generated == 0                                                   ? "-"
                             : store->isInCommunityBlacklist("made-up artist number 0000001") ? "yes"
                                                                                              : "NO";
        std::printf("%-4d %15.1f %18.1f %16lld %15.1f %7d %7s %16ld %15ld %15ld\n", run, ms, afterLastByteMs,
                    longestStallMs, longestCpuMs, count, stored, before, peakMemoryKiB(), memoryKiB("VmRSS:"));
    }
    std::printf("preferences file: %lld bytes\n",
                QFileInfo(dir.filePath(QStringLiteral("com.tunesieve.blacklist.json"))).size());

    // Made here only now, once the downloads are measured.
    const QByteArray body = generated > 0 ? generatedCommunityList(generated) : readCommunityList();
    QElapsedTimer reading;
    reading.start();
    const auto list = CommunityWireFormat::readList(body);
    std::printf("reading the reply alone (off the main thread during a download): %.1f ms, %d names\n",
                double(reading.nsecsElapsed()) / 1e6, list ? list->count : -1);
    return 0;
}
