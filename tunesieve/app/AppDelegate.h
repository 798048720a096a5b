#pragma once

#include "SkipMemory.h"
#include "blacklist/BlacklistManager.h"
#include "platform/GridTimer.h"
#include "platform/Notifier.h"
#include "player/MusicController.h"
#include "player/PlayerEvents.h"
#include "widgets/StatusItem.h"
#include "window/BlacklistWindowController.h"
#include "window/ListSubscriptionsWindowController.h"

#include <QAction>
#include <QMenu>
#include <QObject>
#include <memory>
#include <optional>

// What the playback check knows between two checks.
struct PlaybackState
{
    // The playing artist and title exactly as the player reported them; empty when nothing plays.
    QString currentArtist;
    QString currentTrack;
    // The reported artist, then each other artist the track credits (ArtistCredits::credits).
    QStringList currentCredits;
    // The lower-cased artist that was last looked up in the store, or for a track that credits
    // several artists their lower-cased credits joined; for a blocked track that was let play, that
    // key and the lower-cased title, so that the artist's next track is looked up again; so is the
    // key of every track whose credits have a song blocked by name. Empty means
    // the next artist seen is looked up whatever it is.
    QString lastCheckedArtist;
};

// The application's spine: it polls the player every 5 s (and 1 s after launch and after every
// skip), checks at once when a player announces a whole track and soon after any other change it
// announces, and skips tracks by blacklisted artists and blocked songs with one log line and one notification. It
// also owns the status menu, which shows what plays and offers to block the artist or the song, and fetches the
// subscribed lists at launch and once a day.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    AppDelegate();
    AppDelegate(std::unique_ptr<MusicController> musicController, std::shared_ptr<BlacklistManager> blacklistManager,
                std::unique_ptr<Notifier> notifier, std::unique_ptr<PlayerEvents> playerEvents);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void setupMenuBar();
    void openWebsite();
    void startPolling();
    void checkCurrentTrack();
    void updateMenuItems();
    void showNotification(const QString& title, const QString& body);

    // Why a change asked for from the menu or by another program (ControlBusInterface) was not made,
    // for a person to read; none when it was made.
    using Refusal = std::optional<QString>;
    // Blocks the playing artist as reported: for a track that credits several, all of them as one name.
    Refusal addCurrentArtistToBlacklist();
    // Puts `artist` on the local list, flags it, says so and, when the playing track credits the
    // artist, skips it (at most once). Refused for an artist on the local list already.
    Refusal blockArtist(const QString& artist);
    // Blocks the playing title by the playing artist, and skips it (at most once).
    Refusal blockCurrentSong();
    // Takes `artist` off the local list; refused for an artist not on it.
    Refusal unblockArtist(const QString& artist);
    // Puts `artist` on the never-skip list, and so takes it off the local list.
    void neverSkipArtist(const QString& artist);
    void openBlacklistWindow();
    void openListSubscriptionsWindow();
    void quit();

    const PlaybackState& playbackState() const { return playback; }
    // The player of the playing track; `other` when nothing plays.
    MusicController::MusicApp playingApp() const { return currentApp; }
    const std::shared_ptr<BlacklistManager>& store() const { return blacklistManager; }
    StatusItem* statusMenuItem() const { return statusItem.get(); }

signals:
    // A track was skipped, once per track: what the history keeps of it.
    void skipped(const BlacklistManager::SkipRecord& record);

private:
    void scheduleCheck(int delayMs);
    // Acts on what a check found playing.
    void trackChecked(const std::optional<NowPlaying>& nowPlaying);
    void checkOncePlayersSettle();
    SkipMemory::Track playingTrack() const;
    // Sends Next() for the playing track and schedules the follow-up check. Not for a track whose
    // Next() still awaits its follow-up (SkipMemory::isAwaitingPlayer).
    void skipCurrentTrack();
    // The skip line and the history's record of a skip of the playing track, blocked by `credit` on
    // `list` ("local" or "community"): once per track, however often a player that stays on it is
    // told to move.
    void reportSkip(const QString& list, const QString& credit);
    // The tray's tooltip: what plays and the last skip.
    void updateToolTip();
    // After a change of the lists made from the menu: its entries and an open Blacklist window follow.
    void listsChanged();
    // Tells the user, once, why a blocked track is left to play; false when it is to be skipped.
    bool leavesBlockedTrackPlaying();
    // Fills entry 4's submenu with one entry per credited artist, each enabled unless on `local`.
    void showCreditsToBlock(const ArtistSet& local);
    // The newest skips, each with what a person may want next: never skip the artist, or take it
    // off the local list. Built anew each time the submenu opens.
    void showRecentSkips();

    std::unique_ptr<StatusItem> statusItem;
    std::unique_ptr<GridTimer> pollingTimer;
    static constexpr double pollingInterval = 5.0;
    const std::unique_ptr<MusicController> musicController;
    const std::shared_ptr<BlacklistManager> blacklistManager;
    const std::unique_ptr<BlacklistWindowController> blacklistWindowController;
    const std::unique_ptr<ListSubscriptionsWindowController> listSubscriptionsWindowController;
    // Looks every hour for subscribed lists that were last fetched a day ago: a daily timer would
    // drift by the time the machine slept.
    std::unique_ptr<GridTimer> subscriptionTimer;
    PlaybackState playback;
    // The tooltip's "Last skipped" line, read again from the history only when its revision moves.
    QString lastSkippedLine;
    std::optional<quint64> lastSkippedRevision;
    // The status menu; it and its entries live as long as the delegate.
    std::unique_ptr<QMenu> menu;
    QAction* artistMenuItem = nullptr;
    QAction* trackMenuItem = nullptr;
    QAction* addToBlacklistMenuItem = nullptr;
    QAction* blockSongMenuItem = nullptr;
    // Entry 4's submenu while a track credits several artists; owned by the status menu.
    QMenu* blockCreditMenu = nullptr;
    QMenu* recentlySkippedMenu = nullptr;
    const std::unique_ptr<Notifier> notifier;
    const std::unique_ptr<PlayerEvents> playerEvents;
    // A check is already on its way for the players' latest change: further reports wait for it.
    bool settleCheckPending = false;
    // The player that reported the playing track.
    MusicController::MusicApp currentApp = MusicController::MusicApp::other;
    SkipMemory skipMemory;
};
