#pragma once

#include "ArtistSearchIndex.h"
#include "blacklist/BlacklistManager.h"
#include "widgets/TableView.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>

class QAbstractButton;
class QCheckBox;
class QLineEdit;
class QPushButton;
class SegmentedControl;
class Window;

// The "Blacklist" window: both blacklists, the never-skip list and the blocked songs in four tables that share one
// place, a search field that filters all four, a switch between them, adding, deleting and clearing local entries,
// deleting never-skip entries and blocked songs, downloading the community list again and switching it on and off,
// importing a list into the local one (from a file chosen or dropped on the window) and exporting the lists. The
// window is built on the first show() and kept for the life of the controller; while it is open it follows every
// change of the lists.
class BlacklistWindowController : public QObject, public TableViewDataSource
{
    Q_OBJECT

public:
    // The store is always given: only the agent itself opens the user's own (AppDelegate()).
    explicit BlacklistWindowController(std::shared_ptr<BlacklistManager> blacklistManager, QObject* parent = nullptr);
    ~BlacklistWindowController() override;

    // Builds the window the first time, refreshes the lists from the store every time (they may have changed
    // from the status menu), and brings the window to the front.
    void show();

    void refreshData();
    // Refreshes an open window when a list changed since it last showed them, by any program: the
    // window's timer calls it every second, and the status menu after its own changes.
    void refreshIfChanged();
    void updateCountLabel();
    void segmentChanged();
    void addArtistFromField();
    // Return or Enter in one of the text fields. Only the add field adds: Return after a search must not report
    // whatever stands in the add field to the community.
    void insertNewline(QLineEdit* control);
    void clearLocalBlacklist();
    void syncCommunityBlacklist();
    void toggleCommunityEnabled();
    // An edit in the search field or in the add field; the sender does not matter.
    void controlTextDidChange();
    int numberOfRows(TableView* table) override;
    QWidget* tableView(TableView* table, const TableColumn* column, int row) override;
    // The delete button `sender`, tagged with its row, in the local, the never-skip or the blocked songs' table.
    void deleteArtist(TableView* table, QAbstractButton* sender);
    // "Import...": asks for a file, then imports it.
    void importFromDialog();
    // Adds the names of the list in the file at `path` to the local list, once the user agreed to what that
    // adds; a file that holds no list that can be read is refused with its reason, and nothing changes.
    void importFile(const QString& path);
    // "Export...": asks where to, and whether the blocked songs and the never-skip list go along, each into
    // a CSV file of its own beside the local list's.
    void exportFromDialog();
    // A file dropped on the window is imported.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The views are empty until the window is built, then owned by the window's view tree.
    std::unique_ptr<Window> window;
    TableView* localTableView = nullptr;
    TableView* communityTableView = nullptr;
    TableView* neverSkipTableView = nullptr;
    QLineEdit* searchField = nullptr;
    SegmentedControl* segmentedControl = nullptr;
    QWidget* localScrollView = nullptr;
    QWidget* communityScrollView = nullptr;
    QWidget* neverSkipScrollView = nullptr;
    QLineEdit* addArtistField = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* syncButton = nullptr;
    QCheckBox* communityToggle = nullptr;
    QStringList filteredLocalArtists;
    QStringList filteredCommunityArtists;
    QStringList filteredNeverSkipArtists;
    TableView* blockedSongsTableView = nullptr;
    QWidget* blockedSongsScrollView = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* exportButton = nullptr;
    // Each song as listed, "Artist - Title".
    QStringList filteredBlockedSongs;
    QString searchQuery;
    const std::shared_ptr<BlacklistManager> blacklistManager;

private:
    void createWindow();
    QWidget* createTableView(TableView*& table, bool withDeleteButtons);
    const QStringList& filteredArtists(const TableView* table) const;
    // The store's revisions of the local, community and never-skip lists and the blocked songs.
    std::array<quint64, 4> listRevisions() const;

    // The lists' revisions that the window shows, and the timer that looks for newer ones.
    std::array<quint64, 4> shownRevisions{};
    QTimer changeTimer;
    ArtistSearchIndex localIndex;
    ArtistSearchIndex communityIndex;
    ArtistSearchIndex neverSkipIndex;
    ArtistSearchIndex blockedSongsIndex;
    QHash<QString, BlockedSong> blockedSongsByRow;
};
