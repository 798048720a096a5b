#pragma once

#include "ArtistSearchIndex.h"
#include "blacklist/BlacklistManager.h"
#include "widgets/TableView.h"

#include <QObject>
#include <QStringList>
#include <memory>

class QAbstractButton;
class QCheckBox;
class QLineEdit;
class QPushButton;
class SegmentedControl;
class Window;

// The "Blacklist" window: both blacklists in two tables that share one place, a search field that filters both,
// a switch between them, adding, deleting and clearing local entries, downloading the community list again and
// switching it on and off. The window is built on the first show() and kept for the life of the controller.
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
    void deleteArtist(QAbstractButton* sender);

    // The views are empty until the window is built, then owned by the window's view tree.
    std::unique_ptr<Window> window;
    TableView* localTableView = nullptr;
    TableView* communityTableView = nullptr;
    QLineEdit* searchField = nullptr;
    SegmentedControl* segmentedControl = nullptr;
    QWidget* localScrollView = nullptr;
    QWidget* communityScrollView = nullptr;
    QLineEdit* addArtistField = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* syncButton = nullptr;
    QCheckBox* communityToggle = nullptr;
    QStringList filteredLocalArtists;
    QStringList filteredCommunityArtists;
    QString searchQuery;
    const std::shared_ptr<BlacklistManager> blacklistManager;

private:
    void createWindow();
    QWidget* createTableView(bool isLocal);

    ArtistSearchIndex localIndex;
    ArtistSearchIndex communityIndex;
};
