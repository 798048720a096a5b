#include "ListSubscriptionsWindowController.h"

#include "widgets/Window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace {

const QString kEnabledColumn = QStringLiteral("enabled");
const QString kNameColumn = QStringLiteral("name");
const QString kCountColumn = QStringLiteral("count");
const QString kUpdatedColumn = QStringLiteral("updated");
const QString kErrorColumn = QStringLiteral("error");
const QString kRemoveColumn = QStringLiteral("remove");

QLabel* plainLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setContentsMargins(3, 0, 3, 0);
    label->setToolTip(text);
    return label;
}

QString cellText(const QString& column, const ListSubscriptions::Subscription& subscription)
{
    if (column == kNameColumn) {
        return subscription.name;
    }
    if (column == kCountColumn) {
        return QString::number(subscription.count) + QStringLiteral(" names");
    }
    if (column == kUpdatedColumn) {
        return subscription.updated ? subscription.updated->toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                    : QStringLiteral("never");
    }
    return subscription.error;
}

} // namespace

ListSubscriptionsWindowController::ListSubscriptionsWindowController(std::shared_ptr<BlacklistManager> blacklistManager,
                                                                     QObject* parent)
    : QObject(parent), blacklistManager(std::move(blacklistManager))
{}

ListSubscriptionsWindowController::~ListSubscriptionsWindowController() = default;

void ListSubscriptionsWindowController::show()
{
    if (!window) {
        createWindow();
    }
    refreshData();
    window->bringToFront();
}

void ListSubscriptionsWindowController::createWindow()
{
    window = std::make_unique<Window>(QSize(680, 320), QStringLiteral("Subscribed lists"));

    auto* contentView = new QWidget;
    auto* layout = new QGridLayout(contentView);
    addressField = new QLineEdit;
    addressField->setPlaceholderText(QStringLiteral("https://... address of a list"));
    nameField = new QLineEdit;
    nameField->setPlaceholderText(QStringLiteral("Name (optional)"));
    subscribeButton = new QPushButton(QStringLiteral("Subscribe"));
    for (QLineEdit* field : {addressField, nameField}) {
        connect(field, &QLineEdit::returnPressed, this, &ListSubscriptionsWindowController::subscribeFromFields);
    }
    connect(subscribeButton, &QPushButton::clicked, this, &ListSubscriptionsWindowController::subscribeFromFields);
    layout->addWidget(addressField, 0, 0);
    layout->addWidget(nameField, 0, 1);
    layout->addWidget(subscribeButton, 0, 2);

    messageLabel = new QLabel;
    messageLabel->setTextFormat(Qt::PlainText);
    messageLabel->setWordWrap(true);
    layout->addWidget(messageLabel, 1, 0, 1, 3);

    listsTable = new TableView;
    listsTable->horizontalHeader()->hide();
    listsTable->setRowHeight(26);
    for (const TableColumn& column :
         {TableColumn{kEnabledColumn, 28}, TableColumn{kNameColumn, 150}, TableColumn{kCountColumn, 90},
          TableColumn{kUpdatedColumn, 120}, TableColumn{kErrorColumn, 200}, TableColumn{kRemoveColumn, 70}}) {
        listsTable->addTableColumn(column);
    }
    listsTable->setDataSource(this);
    layout->addWidget(listsTable, 2, 0, 1, 3);

    updateAllButton = new QPushButton(QStringLiteral("Update all now"));
    connect(updateAllButton, &QPushButton::clicked, this, &ListSubscriptionsWindowController::updateAll);
    layout->addWidget(updateAllButton, 3, 2);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);

    window->setContentView(contentView);
}

std::function<void()> ListSubscriptionsWindowController::refresher()
{
    return [controller = QPointer<ListSubscriptionsWindowController>(this)] {
        if (controller) {
            controller->refreshData();
        }
    };
}

void ListSubscriptionsWindowController::refreshData()
{
    if (!listsTable) {
        return;
    }
    m_shown = blacklistManager->listSubscriptions().subscriptions();
    listsTable->reloadData();
}

void ListSubscriptionsWindowController::subscribeFromFields()
{
    const std::optional<QString> refusal =
        blacklistManager->listSubscriptions().subscribe(addressField->text(), nameField->text(), refresher());
    messageLabel->setText(refusal.value_or(QString()));
    if (!refusal) {
        addressField->clear();
        nameField->clear();
    }
    refreshData();
}

void ListSubscriptionsWindowController::updateAll()
{
    blacklistManager->listSubscriptions().updateEnabled(false, refresher());
}

int ListSubscriptionsWindowController::numberOfRows(TableView*)
{
    return int(m_shown.size());
}

QWidget* ListSubscriptionsWindowController::tableView(TableView*, const TableColumn* column, int row)
{
    if (!column || row < 0 || row >= m_shown.size()) {
        return nullptr;
    }
    const ListSubscriptions::Subscription& subscription = m_shown.at(row);
    ListSubscriptions& subscriptions = blacklistManager->listSubscriptions();
    if (column->identifier == kEnabledColumn) {
        auto* toggle = new QCheckBox;
        toggle->setChecked(subscription.enabled);
        toggle->setToolTip(QStringLiteral("Block the artists of this list"));
        connect(toggle, &QCheckBox::clicked, this, [this, &subscriptions, url = subscription.url](bool checked) {
            subscriptions.setEnabled(url, checked);
            refreshData();
        });
        return toggle;
    }
    if (column->identifier == kRemoveColumn) {
        auto* button = new QPushButton(QStringLiteral("Remove"));
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, &subscriptions, url = subscription.url] {
            subscriptions.unsubscribe(url);
            refreshData();
        });
        return button;
    }
    QLabel* label = plainLabel(cellText(column->identifier, subscription));
    if (column->identifier == kNameColumn) {
        label->setToolTip(subscription.url); // the table has no room for the address itself
    }
    return label;
}
