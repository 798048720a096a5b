#include "BlacklistWindowController.h"

#include "blacklist/ArtistName.h"
#include "widgets/AutoresizingView.h"
#include "widgets/SegmentedControl.h"
#include "widgets/ViewTag.h"
#include "widgets/Window.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const int countLabelTag = 100;
const int clearAllButtonTag = 101;
const int localSegment = 0;
const int communitySegment = 1;
const int neverSkipSegment = 2;
const QString artistColumn = QStringLiteral("artist");
const QString deleteColumn = QStringLiteral("delete");
const QString syncTitle = QStringLiteral("Sync community blacklist");

using Mask = AutoresizingView;

// Spaces (Unicode category Zs) and tabs only: a line break at either end stays part of the name.
QString trimmedOfSpaces(const QString& text)
{
    const auto isSpace = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpace(text.at(begin))) {
        ++begin;
    }
    while (end > begin && isSpace(text.at(end - 1))) {
        --end;
    }
    return text.mid(begin, end - begin);
}

QPushButton* newPushButton(const QString& title)
{
    auto* button = new QPushButton(title);
    button->setAutoDefault(false);
    return button;
}

} // namespace

BlacklistWindowController::BlacklistWindowController(std::shared_ptr<BlacklistManager> blacklistManager,
                                                     QObject* parent)
    : QObject(parent), blacklistManager(std::move(blacklistManager))
{}

BlacklistWindowController::~BlacklistWindowController() = default;

void BlacklistWindowController::show()
{
    if (!window) {
        createWindow();
    }
    refreshData();
    window->bringToFront();
}

void BlacklistWindowController::createWindow()
{
    window = std::make_unique<Window>(QSize(400, 500), QStringLiteral("Blacklist"));

    auto* contentView = new AutoresizingView;
    contentView->resize(window->size());

    searchField = new QLineEdit;
    searchField->setPlaceholderText(QStringLiteral("Search..."));
    searchField->setClearButtonEnabled(true);
    connect(searchField, &QLineEdit::textEdited, this, &BlacklistWindowController::controlTextDidChange);
    connect(searchField, &QLineEdit::returnPressed, this, [this] { insertNewline(searchField); });
    contentView->addSubview(searchField, {20, 460, 360, 24}, Mask::WidthSizable | Mask::MinYMargin);

    segmentedControl = new SegmentedControl;
    segmentedControl->setSegmentCount(3);
    segmentedControl->setLabel(QStringLiteral("My blacklist"), localSegment);
    segmentedControl->setLabel(QStringLiteral("Community"), communitySegment);
    segmentedControl->setLabel(QStringLiteral("Never skip"), neverSkipSegment);
    segmentedControl->setSelectedSegment(localSegment);
    connect(segmentedControl, &SegmentedControl::activated, this, &BlacklistWindowController::segmentChanged);
    contentView->addSubview(segmentedControl, {20, 420, 360, 28}, Mask::WidthSizable | Mask::MinYMargin);

    addArtistField = new QLineEdit;
    addArtistField->setPlaceholderText(QStringLiteral("Add artist name..."));
    connect(addArtistField, &QLineEdit::textEdited, this, &BlacklistWindowController::controlTextDidChange);
    connect(addArtistField, &QLineEdit::returnPressed, this, [this] { insertNewline(addArtistField); });
    contentView->addSubview(addArtistField, {20, 385, 280, 24}, Mask::WidthSizable | Mask::MinYMargin);

    addButton = newPushButton(QStringLiteral("Add"));
    connect(addButton, &QPushButton::clicked, this, &BlacklistWindowController::addArtistFromField);
    contentView->addSubview(addButton, {310, 383, 70, 28}, Mask::MinXMargin | Mask::MinYMargin);

    localScrollView = createTableView(localTableView, true);
    contentView->addSubview(localScrollView, {20, 60, 360, 315}, Mask::WidthSizable | Mask::HeightSizable);

    communityScrollView = createTableView(communityTableView, false);
    communityScrollView->setHidden(true);
    contentView->addSubview(communityScrollView, {20, 60, 360, 315}, Mask::WidthSizable | Mask::HeightSizable);

    neverSkipScrollView = createTableView(neverSkipTableView, true);
    neverSkipScrollView->setHidden(true);
    contentView->addSubview(neverSkipScrollView, {20, 60, 360, 315}, Mask::WidthSizable | Mask::HeightSizable);

    syncButton = newPushButton(syncTitle);
    connect(syncButton, &QPushButton::clicked, this, &BlacklistWindowController::syncCommunityBlacklist);
    syncButton->setHidden(true);
    contentView->addSubview(syncButton, {20, 385, 170, 28}, Mask::MaxXMargin | Mask::MinYMargin);

    communityToggle = new QCheckBox(QStringLiteral("Enabled"));
    connect(communityToggle, &QCheckBox::clicked, this, &BlacklistWindowController::toggleCommunityEnabled);
    communityToggle->setHidden(true);
    contentView->addSubview(communityToggle, {310, 387, 80, 24}, Mask::MinXMargin | Mask::MinYMargin);

    QPushButton* clearAllButton = newPushButton(QStringLiteral("Clear all"));
    connect(clearAllButton, &QPushButton::clicked, this, &BlacklistWindowController::clearLocalBlacklist);
    ViewTag::setTag(clearAllButton, clearAllButtonTag);
    contentView->addSubview(clearAllButton, {20, 20, 100, 28}, Mask::MaxXMargin | Mask::MaxYMargin);

    auto* countLabel = new QLabel;
    countLabel->setTextFormat(Qt::PlainText);
    countLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ViewTag::setTag(countLabel, countLabelTag);
    contentView->addSubview(countLabel, {130, 22, 250, 20}, Mask::WidthSizable | Mask::MaxYMargin);

    window->setContentView(contentView);
}

QWidget* BlacklistWindowController::createTableView(TableView*& table, bool withDeleteButtons)
{
    // The table scrolls by itself; this view is the place that the table fills.
    auto* scrollView = new QWidget;
    table = new TableView;
    table->horizontalHeader()->hide();
    table->setRowHeight(24);
    table->addTableColumn({artistColumn, 320});
    if (withDeleteButtons) {
        table->addTableColumn({deleteColumn, 30});
    }
    table->setDataSource(this);
    auto* layout = new QVBoxLayout(scrollView);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table);
    return scrollView;
}

void BlacklistWindowController::refreshData()
{
    const QString key = ArtistName::equivalenceKey(ArtistName::normalized(searchQuery));
    localIndex.update(blacklistManager->localArtistsRevision(), [this] { return blacklistManager->localArtists(); });
    communityIndex.update(blacklistManager->communityArtistsRevision(),
                          [this] { return blacklistManager->communityArtists(); });
    neverSkipIndex.update(blacklistManager->neverSkipArtistsRevision(),
                          [this] { return blacklistManager->neverSkipArtists(); });
    filteredLocalArtists = localIndex.matching(key);
    filteredCommunityArtists = communityIndex.matching(key);
    filteredNeverSkipArtists = neverSkipIndex.matching(key);
    for (TableView* table : {localTableView, communityTableView, neverSkipTableView}) {
        if (table) {
            table->reloadData();
        }
    }
    if (communityToggle) {
        // The switch may have changed in the file since the window last looked.
        communityToggle->setChecked(blacklistManager->isCommunityEnabled());
    }
    updateCountLabel();
}

void BlacklistWindowController::updateCountLabel()
{
    if (!window || !window->contentView()) {
        return;
    }
    auto* label = qobject_cast<QLabel*>(ViewTag::viewWithTag(window->contentView(), countLabelTag));
    if (!label) {
        return;
    }
    const int segment = segmentedControl->selectedSegment();
    const QStringList& shown = segment == localSegment       ? filteredLocalArtists
                               : segment == neverSkipSegment ? filteredNeverSkipArtists
                                                             : filteredCommunityArtists;
    const QString source =
        segment == communitySegment ? QStringLiteral(" from ") + blacklistManager->communityServiceHost() : QString();
    label->setText(QString::number(shown.size()) + QStringLiteral(" artist(s)") + source);
}

void BlacklistWindowController::segmentChanged()
{
    const int segment = segmentedControl->selectedSegment();
    const bool local = segment == localSegment;
    const bool community = segment == communitySegment;
    localScrollView->setVisible(local);
    communityScrollView->setVisible(community);
    neverSkipScrollView->setVisible(segment == neverSkipSegment);
    addArtistField->setVisible(local);
    addButton->setVisible(local);
    syncButton->setVisible(community);
    communityToggle->setVisible(community);
    if (auto* clearAllButton =
            qobject_cast<QAbstractButton*>(ViewTag::viewWithTag(window->contentView(), clearAllButtonTag))) {
        clearAllButton->setVisible(local);
    }
    updateCountLabel();
}

void BlacklistWindowController::addArtistFromField()
{
    const QString artist = trimmedOfSpaces(addArtistField->text());
    if (artist.isEmpty()) {
        return;
    }
    blacklistManager->addLocal(artist);
    addArtistField->clear();
    refreshData();
    // The community hears of the name as it was typed, letter case kept. Whether it heard is not shown.
    blacklistManager->flagArtist(artist, [](bool) {});
}

void BlacklistWindowController::insertNewline(QLineEdit* control)
{
    if (control == addArtistField) {
        addArtistFromField();
    }
}

void BlacklistWindowController::clearLocalBlacklist()
{
    QMessageBox alert(window.get());
    alert.setWindowModality(Qt::ApplicationModal);
    alert.setIcon(QMessageBox::Warning);
    alert.setText(QStringLiteral("Clear local blacklist?"));
    alert.setInformativeText(QStringLiteral("This will remove all artists from your personal blacklist."));
    QPushButton* clear = alert.addButton(QStringLiteral("Clear"), QMessageBox::AcceptRole);
    QPushButton* cancel = alert.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    alert.setDefaultButton(clear);
    alert.setEscapeButton(cancel);
    alert.exec();
    if (alert.clickedButton() != clear) {
        return;
    }
    blacklistManager->setLocalArtists(ArtistSet());
    refreshData();
}

void BlacklistWindowController::syncCommunityBlacklist()
{
    syncButton->setText(QStringLiteral("Syncing..."));
    syncButton->setEnabled(false);
    // The completion always comes, so the button always comes back; a failed download leaves the list that was
    // stored before, which the refresh shows again.
    blacklistManager->syncCommunityBlacklist([controller = QPointer<BlacklistWindowController>(this)](bool, int) {
        if (!controller) {
            return;
        }
        controller->syncButton->setText(syncTitle);
        controller->syncButton->setEnabled(true);
        controller->refreshData();
    });
}

void BlacklistWindowController::toggleCommunityEnabled()
{
    blacklistManager->setCommunityEnabled(communityToggle->isChecked());
    // A save that failed leaves the stored switch as it was: show that one.
    refreshData();
}

void BlacklistWindowController::controlTextDidChange()
{
    searchQuery = searchField->text();
    refreshData();
}

const QStringList& BlacklistWindowController::filteredArtists(const TableView* table) const
{
    if (table == localTableView) {
        return filteredLocalArtists;
    }
    return table == neverSkipTableView ? filteredNeverSkipArtists : filteredCommunityArtists;
}

int BlacklistWindowController::numberOfRows(TableView* table)
{
    return int(filteredArtists(table).size());
}

QWidget* BlacklistWindowController::tableView(TableView* table, const TableColumn* column, int row)
{
    const QStringList& artists = filteredArtists(table);
    if (row < 0 || row >= artists.size()) {
        return nullptr;
    }
    if (column && column->identifier == deleteColumn) {
        auto* button = new QPushButton(QStringLiteral("\u2715"));
        button->setFlat(true);
        button->setFocusPolicy(Qt::NoFocus);
        ViewTag::setTag(button, row);
        connect(button, &QPushButton::clicked, this, [this, table, button] { deleteArtist(table, button); });
        return button;
    }
    auto* label = new QLabel(artists.at(row));
    label->setTextFormat(Qt::PlainText);
    label->setContentsMargins(3, 0, 3, 0);
    return label;
}

void BlacklistWindowController::deleteArtist(TableView* table, QAbstractButton* sender)
{
    const QStringList& artists = filteredArtists(table);
    const int row = ViewTag::tag(sender);
    if (row < 0 || row >= artists.size()) {
        return;
    }
    if (table == neverSkipTableView) {
        blacklistManager->removeNeverSkip(artists.at(row));
    } else {
        blacklistManager->removeLocal(artists.at(row));
    }
    refreshData();
}
