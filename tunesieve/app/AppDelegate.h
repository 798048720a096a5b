#pragma once

#include "blacklist/BlacklistManager.h"
#include "platform/GridTimer.h"
#include "platform/Notifier.h"
#include "player/MusicController.h"

#include <QObject>
#include <memory>

// What the playback check knows between two checks.
struct PlaybackState
{
    // The playing artist and title exactly as the player reported them; empty when nothing plays.
    QString currentArtist;
    QString currentTrack;
    // The lower-cased artist that was last looked up in the store; empty means the next artist
    // seen is looked up whatever it is.
    QString lastCheckedArtist;
};

// The application's spine: it polls the player every 5 s (and 1 s after launch and after every
// skip), and skips tracks by blacklisted artists with one log line and one notification.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    AppDelegate();
    AppDelegate(std::unique_ptr<MusicController> musicController, std::shared_ptr<BlacklistManager> blacklistManager,
                std::unique_ptr<Notifier> notifier);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void startPolling();
    void checkCurrentTrack();
    void showNotification(const QString& title, const QString& body);
    void quit();

    const PlaybackState& playbackState() const { return playback; }

private:
    void scheduleCheck(int delayMs);

    std::unique_ptr<GridTimer> pollingTimer;
    static constexpr double pollingInterval = 5.0;
    const std::unique_ptr<MusicController> musicController;
    const std::shared_ptr<BlacklistManager> blacklistManager;
    PlaybackState playback;
    const std::unique_ptr<Notifier> notifier;
};
