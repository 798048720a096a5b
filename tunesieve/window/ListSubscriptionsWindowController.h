#pragma once

#include "blacklist/BlacklistManager.h"
#include "widgets/TableView.h"

#include <QObject>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class Window;

// The "Subscribed lists" window: an address field and an optional name field that subscribe to a
// published list (the button, or Return in either field), a message line that says why an address
// is refused, a table with one row per list (its on/off switch, name, number of names, when it was
// last updated, its last error and a remove button), and a button that fetches every enabled list
// now. The window is built on the first show() and kept for the life of the controller.
class ListSubscriptionsWindowController : public QObject, public TableViewDataSource
{
public:
    explicit ListSubscriptionsWindowController(std::shared_ptr<BlacklistManager> blacklistManager,
                                               QObject* parent = nullptr);
    ~ListSubscriptionsWindowController() override;

    // Builds the window the first time, shows the subscriptions as stored, and brings it to the front.
    void show();
    // Shows the subscriptions as stored now; nothing before the window is built.
    void refreshData();
    void subscribeFromFields();
    void updateAll();
    // A completion that refreshes the window, if the controller is still there.
    std::function<void()> refresher();
    int numberOfRows(TableView* table) override;
    QWidget* tableView(TableView* table, const TableColumn* column, int row) override;

    // The views are empty until the window is built, then owned by the window's view tree.
    std::unique_ptr<Window> window;
    QLineEdit* addressField = nullptr;
    QLineEdit* nameField = nullptr;
    QPushButton* subscribeButton = nullptr;
    QLabel* messageLabel = nullptr;
    TableView* listsTable = nullptr;
    QPushButton* updateAllButton = nullptr;

private:
    void createWindow();

    const std::shared_ptr<BlacklistManager> blacklistManager;
    QList<ListSubscriptions::Subscription> m_shown;
};
