#include "AppDelegate.h"

#include "Constants.h"
#include "blacklist/ArtistCredits.h"
#include "blacklist/ArtistName.h"
#include "platform/MainQueue.h"
#include "platform/Resources.h"
#include "platform/StandardOutput.h"
#include "widgets/MenuText.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QPixmap>
#include <QPointer>
#include <QUrl>
#include <algorithm>

#include <cstdio>

namespace {

// How long after launch and after a skip the next check comes, to catch the new track at once.
constexpr int kFollowUpCheckMs = 1000;
// How long after a player announces a change the check comes, unless a track with its artist and
// title is announced meanwhile, which is read at once. Players publish a new track in steps: now
// and then mpv first sends a track named after its file with no artist, and the tags 100 ms later.
// The delay is for players that never send the rest; one check serves the whole burst.
constexpr int kPlayerSettleMs = 150;
// How often the subscribed lists are looked at; each is fetched again once it was last tried a day ago.
constexpr int kSubscriptionCheckMs = 60 * 60 * 1000;
// Joins a track's credits into the key of its lookup; players put no such character in names.
constexpr QChar kCreditKeySeparator = QChar(0x1F);

// A line break in a reported name must not split the log line or forge another one.
QString onOneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

} // namespace

AppDelegate::AppDelegate()
    : AppDelegate(std::make_unique<MusicController>(), BlacklistManager::shared(), createNotifier(),
                  createPlayerEvents())
{}

AppDelegate::AppDelegate(std::unique_ptr<MusicController> musicController,
                         std::shared_ptr<BlacklistManager> blacklistManager, std::unique_ptr<Notifier> notifier,
                         std::unique_ptr<PlayerEvents> playerEvents)
    : musicController(std::move(musicController)), blacklistManager(std::move(blacklistManager)),
      blacklistWindowController(std::make_unique<BlacklistWindowController>(this->blacklistManager)),
      listSubscriptionsWindowController(std::make_unique<ListSubscriptionsWindowController>(this->blacklistManager)),
      notifier(std::move(notifier)), playerEvents(std::move(playerEvents))
{
    connect(this->playerEvents.get(), &PlayerEvents::playersChanged, this, &AppDelegate::checkOncePlayersSettle);
    // A whole track is read within the announcement's delivery. A player that announces the same
    // track again on our Next() cannot make us loop: SkipMemory holds it as awaiting the player.
    connect(this->playerEvents.get(), &PlayerEvents::trackAnnounced, this, &AppDelegate::checkCurrentTrack);
    // The store keeps a change it cannot save and saves it once it can; the user hears of it once.
    this->blacklistManager->setSaveFailureHandler([delegate = QPointer<AppDelegate>(this)](const QString& reason) {
        if (delegate) {
            delegate->showNotification(QStringLiteral("Changes cannot be saved"),
                                       reason + QStringLiteral(". They are kept and saved once that works again."));
        }
    });
    // A player that the user has not allowed us to control: one line and one notification, which say
    // where to allow it. The bridge tells of each player once.
    this->musicController->setPermissionRefusedHandler([this](const QString& player) {
        const QString where = QStringLiteral("System Settings \u203A Privacy & Security \u203A Automation");
        std::fprintf(stderr,
                     "TuneSieve may not control %s, so it cannot read or skip its songs: turn on %s under "
                     "TuneSieve in %s\n",
                     qUtf8Printable(player), qUtf8Printable(player), qUtf8Printable(where));
        std::fflush(stderr);
        showNotification(QStringLiteral("Allow TuneSieve to control ") + player,
                         QStringLiteral("Turn on ") + player + QStringLiteral(" under TuneSieve in ") + where +
                             QStringLiteral(", so that its songs can be read and skipped."));
    });
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    setupMenuBar();
    startPolling();
    // The first check does not wait for the download: it uses whatever the store holds by then.
    blacklistManager->syncCommunityBlacklist([](bool, int) {});
    const auto updateSubscribedLists = [this] {
        blacklistManager->listSubscriptions().updateEnabled(true, listSubscriptionsWindowController->refresher());
    };
    updateSubscribedLists();
    subscriptionTimer = std::make_unique<GridTimer>();
    subscriptionTimer->start(kSubscriptionCheckMs, updateSubscribedLists);
}

void AppDelegate::setupMenuBar()
{
    statusItem = std::make_unique<StatusItem>();
    const std::optional<QString> iconPath =
        Resources::pathForResource(QStringLiteral("menubar_icon"), QStringLiteral("png"));
    if (iconPath && !QPixmap(*iconPath).isNull()) {
        QIcon image(*iconPath);
        // Tray hosts take every size they are given, and scale up the largest: the @2x twin too.
        if (const std::optional<QString> twinPath =
                Resources::pathForResource(QStringLiteral("menubar_icon@2x"), QStringLiteral("png"))) {
            image.addFile(*twinPath);
        }
        statusItem->setImage(image, QStringLiteral("tunesieve-symbolic"));
    } else {
        statusItem->setTitle(QStringLiteral("\U0001F3B5"));
    }

    menu = std::make_unique<QMenu>();
    artistMenuItem = menu->addAction(QStringLiteral("Artist: -"));
    artistMenuItem->setEnabled(false);
    trackMenuItem = menu->addAction(QStringLiteral("Track: -"));
    trackMenuItem->setEnabled(false);
    menu->addSeparator();
    addToBlacklistMenuItem =
        menu->addAction(QStringLiteral("Block this artist"), this, &AppDelegate::addCurrentArtistToBlacklist);
    addToBlacklistMenuItem->setEnabled(false);
    blockSongMenuItem = menu->addAction(QStringLiteral("Block this song"), this, &AppDelegate::blockCurrentSong);
    blockSongMenuItem->setEnabled(false);
    blockCreditMenu = new QMenu(menu.get());
    menu->addAction(QStringLiteral("Manage blacklisted artists..."), this, &AppDelegate::openBlacklistWindow);
    recentlySkippedMenu = menu->addMenu(QStringLiteral("Recently skipped"));
    connect(recentlySkippedMenu, &QMenu::aboutToShow, this, &AppDelegate::showRecentSkips);
    showRecentSkips();
    menu->addAction(QStringLiteral("Subscribed lists..."), this, &AppDelegate::openListSubscriptionsWindow);
    menu->addSeparator();

    auto* aboutMenu = new QMenu(QStringLiteral("About"), menu.get());
    aboutMenu->addAction(QStringLiteral("Skip AI-generated music automatically"))->setEnabled(false);
    aboutMenu->addSeparator();
    MenuText::setLiteralText(aboutMenu->addAction(QString(), this, &AppDelegate::openWebsite),
                             QStringLiteral("Visit ") + QUrl(QString::fromUtf8(APP_WEBSITE)).host());
    aboutMenu->addSeparator();
    aboutMenu->addAction(QStringLiteral("Version ") + QString::fromUtf8(APP_VERSION))->setEnabled(false);
    menu->addMenu(aboutMenu);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Quit"), this, &AppDelegate::quit);

    statusItem->setMenu(menu.get());
    notifier->setStatusItem(statusItem.get());
    updateToolTip();
}

void AppDelegate::openWebsite()
{
    const QUrl website(QString::fromUtf8(APP_WEBSITE), QUrl::StrictMode);
    if (website.isValid()) {
        QDesktopServices::openUrl(website);
    }
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

void AppDelegate::checkOncePlayersSettle()
{
    // The delay counts from the first report, so a player that keeps announcing cannot put the
    // check off; the timer's grid is not touched.
    if (settleCheckPending) {
        return;
    }
    settleCheckPending = true;
    MainQueue::after(kPlayerSettleMs, this, [this] {
        settleCheckPending = false;
        checkCurrentTrack();
    });
}

SkipMemory::Track AppDelegate::playingTrack() const
{
    return {currentApp, playback.currentArtist, playback.currentTrack};
}

void AppDelegate::skipCurrentTrack()
{
    musicController->skipTrack();
    const quint64 skip = skipMemory.skipped(playingTrack(), QDateTime::currentDateTimeUtc());
    MainQueue::after(kFollowUpCheckMs, this, [this, skip] {
        skipMemory.followUpDue(skip);
        checkCurrentTrack();
    });
}

void AppDelegate::reportSkip(const QString& list, const QString& credit)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (skipMemory.isStillOn(playingTrack(), now)) {
        return;
    }
    StandardOutput::printLine(QStringLiteral("\u23ED\uFE0F Skipping blacklisted artist (") + list +
                              QStringLiteral("): ") + onOneLine(playback.currentArtist) + QStringLiteral(" on ") +
                              MusicController::rawValue(currentApp));
    const BlacklistManager::SkipRecord record{
        now, MusicController::rawValue(currentApp), playback.currentArtist, playback.currentTrack, list, credit};
    blacklistManager->recordSkip(record);
    updateToolTip();
    emit skipped(record);
}

bool AppDelegate::leavesBlockedTrackPlaying()
{
    const QString track = playback.currentArtist + QStringLiteral(" - ") + playback.currentTrack;
    switch (skipMemory.decide(playingTrack(), QDateTime::currentDateTimeUtc())) {
    case SkipMemory::Decision::skip:
        return false;
    case SkipMemory::Decision::playOnPurpose:
        showNotification(QStringLiteral("Playing it anyway"), QStringLiteral("You went back to ") + track);
        break;
    case SkipMemory::Decision::giveUp:
        showNotification(QStringLiteral("The player did not move on"), MusicController::rawValue(currentApp) +
                                                                           QStringLiteral(" stayed on ") + track +
                                                                           QStringLiteral(" through three skips"));
        break;
    case SkipMemory::Decision::playOnPurposeAgain:
    case SkipMemory::Decision::leftAlone:
        break;
    }
    return true;
}

void AppDelegate::checkCurrentTrack()
{
    // A check still waiting for its answers stands for this one: ticks that pass meanwhile are dropped.
    musicController->getCurrentTrack([this](const std::optional<NowPlaying>& nowPlaying) { trackChecked(nowPlaying); });
}

void AppDelegate::trackChecked(const std::optional<NowPlaying>& nowPlaying)
{
    if (!nowPlaying) {
        playback = PlaybackState();
        currentApp = MusicController::MusicApp::other;
        updateMenuItems();
        return;
    }
    playback.currentArtist = nowPlaying->artist;
    playback.currentTrack = nowPlaying->track;
    playback.currentCredits = ArtistCredits::credits(nowPlaying->artists, nowPlaying->track);
    currentApp = nowPlaying->app;
    updateMenuItems();
    skipMemory.saw(playingTrack());
    if (skipMemory.isAwaitingPlayer(playingTrack())) {
        return; // the player has not switched yet: its follow-up check looks again
    }

    // A lone artist's key is the artist alone, so that its next title is not looked up again; a
    // title that credits someone else gives another key. A blocked track let play is an exception
    // for that one track: its key holds the title.
    const QString artistKey = ArtistName::normalized(playback.currentCredits.join(kCreditKeySeparator));
    const QString trackKey = artistKey + kCreditKeySeparator + ArtistName::normalized(playback.currentTrack);
    // An artist with a song blocked by name is looked up again for each title.
    const bool titleMatters = blacklistManager->blocksSongsBy(playback.currentCredits);
    const QString lastKey = ArtistName::equivalenceKey(playback.lastCheckedArtist);
    if ((!titleMatters && ArtistName::equivalenceKey(artistKey) == lastKey) ||
        ArtistName::equivalenceKey(trackKey) == lastKey) {
        return;
    }
    playback.lastCheckedArtist = titleMatters ? trackKey : artistKey;
    std::optional<BlacklistManager::Block> block = blacklistManager->firstBlocked(playback.currentCredits);
    if (!block) {
        // A song blocked by name is skipped whatever the never-skip list says, as one of the user's own list.
        const std::optional<QString> songCredit =
            blacklistManager->firstBlockedSong(playback.currentCredits, playback.currentTrack);
        if (!songCredit) {
            return;
        }
        block = BlacklistManager::Block{*songCredit, false, QString()};
    }
    if (leavesBlockedTrackPlaying()) {
        playback.lastCheckedArtist = trackKey;
        return;
    }

    const QString source = block->onCommunityList ? QStringLiteral("community") : QStringLiteral("local");
    reportSkip(source, block->artist);
    skipCurrentTrack();
    playback.lastCheckedArtist.clear();
    // Both name the track as reported: its artist and title show the credit that was blocked.
    const QString fromList = block->listName.isEmpty() ? QString() : QStringLiteral(" (from ") + block->listName + ')';
    showNotification(QStringLiteral("Blacklisted artist (") + source + QStringLiteral(")"),
                     QStringLiteral("Skipped: ") + playback.currentArtist + QStringLiteral(" - ") +
                         playback.currentTrack + fromList);
}

void AppDelegate::updateMenuItems()
{
    if (!artistMenuItem) {
        return; // the menu is not built yet
    }
    const QString& artist = playback.currentArtist;
    updateToolTip();
    blockSongMenuItem->setEnabled(!artist.isEmpty() &&
                                  !blacklistManager->firstBlockedSong({artist}, playback.currentTrack));
    // Only what changes goes out: a tray host hears of every entry set, even to what it was.
    QMenu* const blockMenu = !artist.isEmpty() && playback.currentCredits.size() > 1 ? blockCreditMenu : nullptr;
    if (addToBlacklistMenuItem->menu() != blockMenu) {
        addToBlacklistMenuItem->setMenu(blockMenu);
    }
    if (artist.isEmpty()) {
        MenuText::setLiteralText(artistMenuItem, QStringLiteral("Artist: (not playing)"));
        MenuText::setLiteralText(trackMenuItem, QStringLiteral("Track: -"));
        addToBlacklistMenuItem->setEnabled(false);
        MenuText::setLiteralText(addToBlacklistMenuItem, QStringLiteral("Block this artist"));
        return;
    }
    MenuText::setLiteralText(artistMenuItem, QStringLiteral("Artist: ") + artist);
    MenuText::setLiteralText(trackMenuItem, QStringLiteral("Track: ") + playback.currentTrack);
    const ArtistSet local = blacklistManager->localArtists();
    if (blockMenu) {
        showCreditsToBlock(local);
        return;
    }
    addToBlacklistMenuItem->setEnabled(!local.contains(ArtistName::normalized(artist)));
    MenuText::setLiteralText(addToBlacklistMenuItem, QStringLiteral("Block \"") + artist + QStringLiteral("\""));
}

void AppDelegate::updateToolTip()
{
    if (!statusItem) {
        return; // the menu bar is not set up yet
    }
    QStringList lines{QStringLiteral("TuneSieve")};
    lines << (playback.currentArtist.isEmpty()
                  ? QStringLiteral("Not playing")
                  : onOneLine(playback.currentArtist) + QStringLiteral(" - ") + onOneLine(playback.currentTrack));
    const quint64 skipsRevision = blacklistManager->recentSkipsRevision();
    if (lastSkippedRevision != skipsRevision) {
        const QList<BlacklistManager::SkipRecord> skips = blacklistManager->recentSkips();
        lastSkippedLine = skips.isEmpty() ? QString()
                                          : QStringLiteral("Last skipped: ") + onOneLine(skips.first().artist) +
                                                QStringLiteral(" - ") + onOneLine(skips.first().title) +
                                                skips.first().time.toLocalTime().toString(QStringLiteral(" (HH:mm)"));
        lastSkippedRevision = skipsRevision;
    }
    if (!lastSkippedLine.isEmpty()) {
        lines << lastSkippedLine;
    }
    statusItem->setToolTip(lines.join(QLatin1Char('\n')));
}

void AppDelegate::showCreditsToBlock(const ArtistSet& local)
{
    QStringList shown;
    for (const QAction* entry : blockCreditMenu->actions()) {
        shown << entry->data().toString();
    }
    // Rebuilt only for another track, so that a check does not pull an entry from under the pointer.
    if (shown != playback.currentCredits) {
        blockCreditMenu->clear();
        for (const QString& credit : std::as_const(playback.currentCredits)) {
            QAction* entry = blockCreditMenu->addAction(QString(), this, [this, credit] { blockArtist(credit); });
            MenuText::setLiteralText(entry, credit);
            entry->setData(credit);
        }
    }
    bool anyBlockable = false;
    for (QAction* entry : blockCreditMenu->actions()) {
        entry->setEnabled(!local.contains(ArtistName::normalized(entry->data().toString())));
        anyBlockable = anyBlockable || entry->isEnabled();
    }
    addToBlacklistMenuItem->setEnabled(anyBlockable);
    MenuText::setLiteralText(addToBlacklistMenuItem, QStringLiteral("Block"));
}

void AppDelegate::showRecentSkips()
{
    constexpr qsizetype kShown = 10;
    // clear() leaves the entries' submenus to their parent.
    qDeleteAll(recentlySkippedMenu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
    recentlySkippedMenu->clear();
    const QList<BlacklistManager::SkipRecord> skips = blacklistManager->recentSkips().mid(0, kShown);
    if (skips.isEmpty()) {
        recentlySkippedMenu->addAction(QStringLiteral("Nothing skipped yet"))->setEnabled(false);
        return;
    }
    const ArtistSet local = blacklistManager->localArtists();
    for (const BlacklistManager::SkipRecord& skip : skips) {
        QMenu* entry = recentlySkippedMenu->addMenu(QString());
        MenuText::setLiteralText(entry->menuAction(), skip.time.toLocalTime().toString(QStringLiteral("HH:mm  ")) +
                                                          skip.artist + QStringLiteral(" - ") + skip.title);
        // The remedies concern the credit that the list holds, which may be one of several.
        MenuText::setLiteralText(
            entry->addAction(QString(), this, [this, name = skip.credit] { neverSkipArtist(name); }),
            QStringLiteral("Never skip ") + skip.credit);
        if (local.contains(ArtistName::normalized(skip.credit))) {
            MenuText::setLiteralText(
                entry->addAction(QString(), this, [this, name = skip.credit] { unblockArtist(name); }),
                QStringLiteral("Remove ") + skip.credit + QStringLiteral(" from my blacklist"));
        }
        if (blacklistManager->firstBlockedSong({skip.credit}, skip.title)) {
            entry->addAction(QStringLiteral("Unblock this song"), this, [this, skip] {
                blacklistManager->unblockSong(skip.credit, skip.title);
                listsChanged();
            });
        }
    }
}

AppDelegate::Refusal AppDelegate::addCurrentArtistToBlacklist()
{
    if (playback.currentArtist.isEmpty()) {
        return QStringLiteral("Nothing is playing");
    }
    return blockArtist(playback.currentArtist);
}

AppDelegate::Refusal AppDelegate::blockArtist(const QString& artist)
{
    const QString name = ArtistName::normalized(artist);
    if (blacklistManager->localArtists().contains(name)) {
        return artist + QStringLiteral(" is on your blacklist already");
    }
    blacklistManager->addLocal(artist);
    listsChanged();
    showNotification(QStringLiteral("Artist added to blacklist"), artist);
    // The line names the artist that was flagged, whoever plays by the time the service answers.
    blacklistManager->flagArtist(artist, [artist](bool success) {
        if (success) {
            StandardOutput::printLine(QStringLiteral("Artist flagged to community: ") + onOneLine(artist));
        }
    });
    const auto credited = [&name](const QString& credit) { return ArtistName::normalized(credit) == name; };
    // When a check has just skipped this track, the player is on its way already.
    if (std::none_of(playback.currentCredits.cbegin(), playback.currentCredits.cend(), credited) ||
        skipMemory.isAwaitingPlayer(playingTrack())) {
        return std::nullopt;
    }
    reportSkip(QStringLiteral("local"), artist);
    skipCurrentTrack();
    // Look the artist up again in the next check: if the player moves on to another track by the
    // artist just blocked, that one is skipped too.
    playback.lastCheckedArtist.clear();
    return std::nullopt;
}

AppDelegate::Refusal AppDelegate::blockCurrentSong()
{
    if (playback.currentArtist.isEmpty()) {
        return QStringLiteral("Nothing is playing");
    }
    const QString song = playback.currentArtist + QStringLiteral(" - ") + playback.currentTrack;
    if (blacklistManager->firstBlockedSong({playback.currentArtist}, playback.currentTrack)) {
        return song + QStringLiteral(" is blocked already");
    }
    blacklistManager->blockSong(playback.currentArtist, playback.currentTrack);
    listsChanged();
    showNotification(QStringLiteral("Song blocked"), song);
    // When a check has just skipped this track, the player is on its way already.
    if (skipMemory.isAwaitingPlayer(playingTrack())) {
        return std::nullopt;
    }
    reportSkip(QStringLiteral("local"), playback.currentArtist);
    skipCurrentTrack();
    playback.lastCheckedArtist.clear();
    return std::nullopt;
}

AppDelegate::Refusal AppDelegate::unblockArtist(const QString& artist)
{
    if (!blacklistManager->localArtists().contains(ArtistName::normalized(artist))) {
        return artist + QStringLiteral(" is not on your blacklist");
    }
    blacklistManager->removeLocal(artist);
    listsChanged();
    return std::nullopt;
}

void AppDelegate::neverSkipArtist(const QString& artist)
{
    blacklistManager->allow(artist);
    listsChanged();
}

void AppDelegate::listsChanged()
{
    updateMenuItems();
    blacklistWindowController->refreshIfChanged();
}

void AppDelegate::openBlacklistWindow()
{
    blacklistWindowController->show();
}

void AppDelegate::openListSubscriptionsWindow()
{
    listSubscriptionsWindowController->show();
}

void AppDelegate::showNotification(const QString& title, const QString& body)
{
    notifier->show(title, body);
}

void AppDelegate::quit()
{
    // The last change may still be on its way to the disk.
    blacklistManager->waitUntilSaved();
    QCoreApplication::quit();
}
