#include "AppDelegate.h"

#include "blacklist/ArtistName.h"
#include "platform/MainQueue.h"
#include "platform/StandardOutput.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

// How long after launch and after a skip the next check comes, to catch the new track at once.
constexpr int kFollowUpCheckMs = 1000;

// A line break in a reported name must not split the log line or forge another one.
QString onOneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

} // namespace

AppDelegate::AppDelegate()
    : AppDelegate(std::make_unique<MusicController>(), BlacklistManager::shared(), createNotifier())
{}

AppDelegate::AppDelegate(std::unique_ptr<MusicController> musicController,
                         std::shared_ptr<BlacklistManager> blacklistManager, std::unique_ptr<Notifier> notifier)
    : musicController(std::move(musicController)), blacklistManager(std::move(blacklistManager)),
      notifier(std::move(notifier))
{}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    startPolling();
    // The first check does not wait for the download: it uses whatever the store holds by then.
    blacklistManager->syncCommunityBlacklist([](bool, int) {});
}

void AppDelegate::startPolling()
{
    if (pollingTimer) {
        pollingTimer->stop();
    }
    pollingTimer = std::make_unique<GridTimer>();
    pollingTimer->start(int(pollingInterval * 1000), [weakSelf = QPointer<AppDelegate>(this)] {
        if (weakSelf) {
            weakSelf->checkCurrentTrack();
        }
    });
    scheduleCheck(kFollowUpCheckMs);
}

void AppDelegate::scheduleCheck(int delayMs)
{
    MainQueue::after(delayMs, this, [this] { checkCurrentTrack(); });
}

void AppDelegate::checkCurrentTrack()
{
    const std::optional<NowPlaying> nowPlaying = musicController->getCurrentTrack();
    if (!nowPlaying) {
        playback = PlaybackState();
        return;
    }
    playback.currentArtist = nowPlaying->artist;
    playback.currentTrack = nowPlaying->track;

    const QString artistKey = ArtistName::normalized(playback.currentArtist);
    if (ArtistName::equivalenceKey(artistKey) == ArtistName::equivalenceKey(playback.lastCheckedArtist)) {
        return;
    }
    playback.lastCheckedArtist = artistKey;
    if (!blacklistManager->contains(playback.currentArtist)) {
        return;
    }

    const QString source = blacklistManager->isInCommunityBlacklist(playback.currentArtist)
                               ? QStringLiteral("community")
                               : QStringLiteral("local");
    StandardOutput::printLine(QStringLiteral("\u23ED\uFE0F Skipping blacklisted artist (") + source +
                              QStringLiteral("): ") + onOneLine(playback.currentArtist) + QStringLiteral(" on ") +
                              MusicController::rawValue(nowPlaying->app));
    musicController->skipTrack();
    playback.lastCheckedArtist.clear();
    showNotification(QStringLiteral("Blacklisted artist (") + source + QStringLiteral(")"),
                     QStringLiteral("Skipped: ") + playback.currentArtist + QStringLiteral(" - ") +
                         playback.currentTrack);
    scheduleCheck(kFollowUpCheckMs);
}

void AppDelegate::showNotification(const QString& title, const QString& body)
{
    notifier->show(title, body);
}

void AppDelegate::quit()
{
    QCoreApplication::quit();
}
