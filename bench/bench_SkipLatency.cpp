// Prints how long a track by a blocked artist plays before the agent skips it. A real mpv (with
// mpv-mpris) plays a playlist where every other track is by a blocked artist, on a private
// session bus; the benchmark moves it on to each blocked track in turn. For every change it takes
// the time from mpv's first PropertiesChanged of the new track to the Next() the agent sends it:
// first with the agent as it runs (player change reports and timer), then with the timer alone.
// Last, a test player that announces artist and title in one PropertiesChanged, as Spotify does,
// takes mpv's place, with the agent as it runs.
// The agent logic runs in this process: an AppDelegate with a real MusicController on the bus.
// Both moments are read off the bus by dbus-monitor, a process of its own, so that the agent's own
// work on this thread cannot shift them. The changes are spread evenly over the 5 s poll grid.
#include "MpvPlayer.h"
#include "app/AppDelegate.h"
#include "player/linux/MprisPlayerEvents.h"
#include "player/linux/MprisScriptRunner.h"
#include "support/DelegateHarness.h"
#include "support/StdoutCapture.h"
#include "support/TempPreferences.h"
#include "support/TestMprisPlayer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

constexpr int kChanges = 20;
constexpr int kGridMs = 5000;
// The agent checks again 1 s after each skip; a change comes after that check, as it would while
// someone listens, so that only a player report or a tick can find it.
constexpr int kQuietAfterSkipMs = 1200;
constexpr int kGiveUpMs = 8000;
const QString blockedArtist = QStringLiteral("Blocked Artist");

// One line of `dbus-monitor --profile`: what passed on the bus, and when.
struct BusEvent
{
    double seconds = 0;
    QString type;   // "sig", "mc", ...
    QString sender; // unique name
    QString member;
};

// Follows PropertiesChanged signals and Next() calls on the bus.
class BusWatch
{
public:
    BusWatch()
    {
        m_monitor.start(QStringLiteral("dbus-monitor"),
                        {QStringLiteral("--monitor"), QStringLiteral("--profile"),
                         QStringLiteral("type='signal',interface='org.freedesktop.DBus.Properties',"
                                        "member='PropertiesChanged'"),
                         QStringLiteral("type='method_call',interface='org.mpris.MediaPlayer2.Player',member='Next'")});
        m_monitor.waitForStarted(5000);
    }
    ~BusWatch()
    {
        m_monitor.terminate();
        m_monitor.waitForFinished(2000);
    }

    // Runs the event loop (and with it the agent) until `seen` accepts an event or the time is up.
    void waitUntil(int timeoutMs, const std::function<bool(const BusEvent&)>& seen)
    {
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        const auto deliver = [&] {
            for (const BusEvent& event : take()) {
                if (seen(event)) {
                    loop.quit();
                }
            }
        };
        QObject::connect(&m_monitor, &QProcess::readyReadStandardOutput, &loop, deliver);
        deliver();
        loop.exec();
    }

    // Every event seen since the last call.
    std::vector<BusEvent> take()
    {
        m_pending += m_monitor.readAllStandardOutput();
        std::vector<BusEvent> events;
        int end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QStringList fields = QString::fromUtf8(m_pending.left(end)).split(QLatin1Char('\t'));
            m_pending.remove(0, end + 1);
            if (fields.size() >= 8 && !fields[0].startsWith(QLatin1Char('#'))) {
                events.push_back({fields[1].toDouble(), fields[0], fields[3], fields[7]});
            }
        }
        return events;
    }

private:
    QProcess m_monitor;
    QByteArray m_pending;
};

// How one change went, from the bus's point of view.
struct Change
{
    std::optional<double> firstSignal;
    std::optional<double> agentNext;
    std::vector<double> signalTimes;
};

class Run
{
public:
    Run(BusWatch& watch, QDBusConnection driver, std::shared_ptr<BlacklistManager> store)
        : m_watch(watch), m_driver(std::move(driver)), m_store(std::move(store))
    {}

    // The player that the benchmark moves on: "org.mpris.MediaPlayer2.<suffix>".
    void drive(const QString& suffix) { m_player = QStringLiteral("org.mpris.MediaPlayer2.") + suffix; }

    // Latencies in ms of the changes the agent skipped; `changes` collects how each went.
    std::vector<double> measure(bool withReports, std::vector<Change>& changes)
    {
        AppDelegate agent(std::make_unique<MusicController>(std::make_unique<MprisScriptRunner>()), m_store,
                          std::make_unique<RecordingNotifier>(std::make_shared<RecordingNotifier::Shown>()),
                          withReports ? std::make_unique<MprisPlayerEvents>() : std::make_unique<PlayerEvents>());
        QElapsedTimer clock;
        clock.start();
        agent.startPolling();
        const QString agentName = QDBusConnection::sessionBus().baseService();
        qint64 quietFrom = 0;
        std::vector<double> latencies;
        for (int i = 0; i < kChanges; ++i) {
            // Phases 125, 1875, 3625 ... ms into the grid: each of the twenty 250 ms slots once.
            const qint64 phase = (i * 7 % kChanges) * (kGridMs / kChanges) + kGridMs / kChanges / 2;
            qint64 at = quietFrom + kQuietAfterSkipMs;
            at += (phase - at % kGridMs + kGridMs) % kGridMs;
            runFor(int(at - clock.elapsed()));
            m_watch.take();
            m_driver.send(QDBusMessage::createMethodCall(m_player, QStringLiteral("/org/mpris/MediaPlayer2"),
                                                         QStringLiteral("org.mpris.MediaPlayer2.Player"),
                                                         QStringLiteral("Next")));
            Change change = follow(agentName);
            quietFrom = clock.elapsed();
            if (change.firstSignal && change.agentNext) {
                latencies.push_back((*change.agentNext - *change.firstSignal) * 1000.0);
            }
            changes.push_back(std::move(change));
        }
        return latencies;
    }

private:
    static void runFor(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(std::max(0, ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }

    // Runs the agent until it sends Next() after the benchmark's own, and notes what passed.
    Change follow(const QString& agentName)
    {
        Change change;
        bool driverSeen = false;
        m_watch.waitUntil(kGiveUpMs, [&](const BusEvent& event) {
            if (event.type == QStringLiteral("mc") && event.sender == m_driver.baseService()) {
                driverSeen = true;
            } else if (driverSeen && event.type == QStringLiteral("sig")) {
                change.signalTimes.push_back(event.seconds);
                change.firstSignal = change.firstSignal.value_or(event.seconds);
            } else if (driverSeen && event.type == QStringLiteral("mc") && event.sender == agentName) {
                change.agentNext = event.seconds;
                return true;
            }
            return false;
        });
        return change;
    }

    BusWatch& m_watch;
    QDBusConnection m_driver;
    std::shared_ptr<BlacklistManager> m_store;
    QString m_player;
};

double percentile(std::vector<double> samples, double fraction)
{
    std::sort(samples.begin(), samples.end());
    // Nearest rank; the median of an even count is the mean of the middle two.
    if (fraction == 0.5 && samples.size() % 2 == 0) {
        return (samples[samples.size() / 2 - 1] + samples[samples.size() / 2]) / 2;
    }
    const size_t rank = size_t(std::ceil(fraction * double(samples.size())));
    return samples[std::max<size_t>(rank, 1) - 1];
}

void printBursts(const std::vector<Change>& changes)
{
    // How mpv announces a new track: in how many PropertiesChanged, how far apart (within 1 s of
    // the first, up to the agent's skip). This is what the agent's fallback delay is chosen from.
    std::vector<int> counts(4, 0);
    std::vector<double> gaps;
    for (const Change& change : changes) {
        int inBurst = 0;
        for (size_t i = 0; i < change.signalTimes.size(); ++i) {
            if (change.signalTimes[i] - change.signalTimes.front() > 1.0) {
                break;
            }
            ++inBurst;
            if (i > 0) {
                gaps.push_back((change.signalTimes[i] - change.signalTimes[i - 1]) * 1000.0);
            }
        }
        ++counts[size_t(std::min(inBurst, 3))];
    }
    std::printf("mpv announced a new track in 1 signal %d times, 2 signals %d times, 3+ %d times", counts[1], counts[2],
                counts[3]);
    if (!gaps.empty()) {
        std::sort(gaps.begin(), gaps.end());
        std::printf("; gaps between signals of one track: min %.0f ms, median %.0f ms, max %.0f ms", gaps.front(),
                    percentile(gaps, 0.5), gaps.back());
    }
    std::printf("\n");
}

void printLatencies(const char* label, const std::vector<double>& latencies)
{
    std::printf("%-28s %3zu/%d skipped   median %7.0f ms   p95 %7.0f ms\n", label, latencies.size(), kChanges,
                latencies.empty() ? 0.0 : percentile(latencies, 0.5),
                latencies.empty() ? 0.0 : percentile(latencies, 0.95));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (const QString missing = MpvPlayer::missingReason(); !missing.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(missing));
        return 0;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-monitor")).isEmpty()) {
        std::printf("skipped: dbus-monitor is not installed (scripts/setup installs it)\n");
        return 0;
    }
    PrivateBus bus;
    if (!bus.isRunning()) {
        qFatal("cannot start a private session bus");
    }
    BusWatch watch;
    TempPreferences prefs;
    auto store = prefs.openStore();
    store->addLocal(blockedArtist);
    // A blocked track the agent skipped a moment ago would play when it comes round again (someone
    // went back to it): each change of a run gets a blocked track of its own.
    QList<MpvPlayer::Track> playlist;
    for (int i = 1; i <= kChanges; ++i) {
        playlist.append({QStringLiteral("Fine Artist %1").arg(i), QStringLiteral("Fine %1").arg(i)});
        playlist.append({blockedArtist, QStringLiteral("Blocked %1").arg(i)});
    }
    Run run(watch, bus.connect(QStringLiteral("driver")), store);
    std::vector<Change> reportedChanges;
    std::vector<Change> timedChanges;
    std::vector<Change> testPlayerChanges;
    std::vector<double> withReports;
    std::vector<double> timerOnly;
    std::vector<double> oneAnnouncement;
    std::fprintf(stderr,
                 "%d changes with player reports, then %d with the timer alone, then %d on the test player "
                 "(about 5 minutes)\n",
                 kChanges, kChanges, kChanges);
    {
        const MpvPlayer mpv(playlist);
        if (!mpv.isRunning()) {
            qFatal("cannot start mpv");
        }
        MusicController probe(std::make_unique<MprisScriptRunner>());
        QElapsedTimer waited;
        waited.start();
        while (!currentTrack(probe) && waited.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        StdoutCapture skipLines; // the agent's own log lines
        run.drive(QStringLiteral("mpv"));
        withReports = run.measure(true, reportedChanges);
        timerOnly = run.measure(false, timedChanges);
    }
    {
        // Our Next() and the agent's each play the next track queued: a blocked one, then a fine one.
        TestMprisPlayer player(bus, QStringLiteral("spotify"));
        for (int i = 1; i <= kChanges; ++i) {
            player.queueTrack({blockedArtist}, QStringLiteral("Blocked %1").arg(i));
            player.queueTrack({QStringLiteral("Fine Artist")}, QStringLiteral("Fine %1").arg(i));
        }
        player.setTrack({QStringLiteral("Fine Artist")}, QStringLiteral("Fine 0"));
        player.setPlaybackStatus(QStringLiteral("Playing"));
        StdoutCapture skipLines;
        run.drive(QStringLiteral("spotify"));
        oneAnnouncement = run.measure(true, testPlayerChanges);
    }

    std::printf("From mpv's first PropertiesChanged of a blocked track to the agent's Next(), %d changes each:\n",
                kChanges);
    printLatencies("player reports and timer", withReports);
    printLatencies("timer alone", timerOnly);
    if (!withReports.empty() && !timerOnly.empty()) {
        std::printf("ratio timer alone / with reports: median %.1fx, p95 %.1fx\n",
                    percentile(timerOnly, 0.5) / percentile(withReports, 0.5),
                    percentile(timerOnly, 0.95) / percentile(withReports, 0.95));
    }
    reportedChanges.insert(reportedChanges.end(), timedChanges.begin(), timedChanges.end());
    printBursts(reportedChanges);
    std::printf("From the test player's first PropertiesChanged after our Next() (a new status, then artist and "
                "title in one) to the agent's Next():\n");
    printLatencies("player reports and timer", oneAnnouncement);
    return 0;
}
