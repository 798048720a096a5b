// Prints the median time of one getCurrentTrack() and one skipTrack() over MPRIS, beside the same
// read done by `playerctl metadata`, against a playing Spotify-named test player and a real mpv,
// all on a private session bus.
#include "MpvPlayer.h"
#include "NowPlayingText.h"
#include "player/MusicController.h"
#include "player/linux/MprisScriptRunner.h"
#include "support/TestMprisPlayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double medianMicroseconds(int runs, const std::function<void()>& operation)
{
    std::vector<double> samples;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        operation();
        samples.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    std::nth_element(samples.begin(), samples.begin() + runs / 2, samples.end());
    return samples[size_t(runs / 2)];
}

QString playerctlRead()
{
    QProcess playerctl;
    playerctl.start(QStringLiteral("playerctl"),
                    {QStringLiteral("metadata"), QStringLiteral("--format"), QStringLiteral("{{artist}}|||{{title}}")});
    playerctl.waitForFinished(10000);
    return QString::fromUtf8(playerctl.readAllStandardOutput()).trimmed();
}

void measure(const char* label, MusicController& bridge)
{
    const QString ours = describe(currentTrack(bridge));
    const QString theirs = playerctlRead();
    const double readUs = medianMicroseconds(501, [&] { (void)currentTrack(bridge); });
    const double skipUs = medianMicroseconds(201, [&] { bridge.skipTrack(); });
    const double playerctlUs = medianMicroseconds(31, [&] { (void)playerctlRead(); });
    std::printf("%-22s %14.1f %14.1f %16.1f %8.1fx   read \"%s\", playerctl \"%s\"\n", label, readUs, skipUs,
                playerctlUs, playerctlUs / readUs, qPrintable(ours), qPrintable(theirs));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    PrivateBus bus;
    if (!bus.isRunning()) {
        qFatal("cannot start a private session bus");
    }
    std::printf("%-22s %14s %14s %16s %9s\n", "player", "read µs", "skip µs", "playerctl µs", "ratio");
    {
        TestMprisPlayer spotify(bus, QStringLiteral("spotify"));
        spotify.setTrack({QStringLiteral("Ana"), QStringLiteral("Ben")}, QStringLiteral("Benchmark"));
        spotify.setPlaybackStatus(QStringLiteral("Playing"));
        // playerctl only reads players that say they can be controlled and played.
        for (const char* capability : {"CanControl", "CanPlay", "CanPause", "CanGoNext"}) {
            spotify.setPlayerProperty(QString::fromUtf8(capability), true);
        }
        MusicController bridge(std::make_unique<MprisScriptRunner>());
        measure("test player (Spotify)", bridge);
    }
    if (const QString missing = MpvPlayer::missingReason(); !missing.isEmpty()) {
        std::printf("mpv: skipped, %s\n", qPrintable(missing));
        return 0;
    }
    const MpvPlayer mpv({{QStringLiteral("Cy"), QStringLiteral("One")},
                         {QStringLiteral("Dee"), QStringLiteral("Two")},
                         {QStringLiteral("Eve"), QStringLiteral("Three")}});
    MusicController bridge(std::make_unique<MprisScriptRunner>());
    QElapsedTimer waited;
    waited.start();
    while (!currentTrack(bridge) && waited.elapsed() < 20000) {
        QThread::msleep(50);
    }
    measure("mpv (Music)", bridge);
    return 0;
}
