#include "BlacklistWindowController.h"

#include "blacklist/ArtistName.h"
#include "blacklist/UserListFile.h"
#include "widgets/AutoresizingView.h"
#include "widgets/SegmentedControl.h"
#include "widgets/ViewTag.h"
#include "widgets/Window.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const int countLabelTag = 100;
const int clearAllButtonTag = 101;
const int localSegment = 0;
const int communitySegment = 1;
const int neverSkipSegment = 2;
const int blockedSongsSegment = 3;
const QString artistColumn = QStringLiteral("artist");
const QString deleteColumn = QStringLiteral("delete");
const QString syncTitle = QStringLiteral("Sync community blacklist");

using Mask = AutoresizingView;

QPushButton* newPushButton(const QString& title)
{
    auto* button = new QPushButton(title);
    button->setAutoDefault(false);
    return button;
}

// Asks `question` in an alert over `parent`; true when the user chose `accept`. Without `cancel` the alert only tells.
bool alert(QWidget* parent, QMessageBox::Icon icon, const QString& question, const QString& details,
           const QString& accept, const QString& cancel = QString())
{
    QMessageBox box(parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(icon);
    box.setText(question);
    box.setInformativeText(details);
    QPushButton* accepted = box.addButton(accept, QMessageBox::AcceptRole);
    box.setDefaultButton(accepted);
    box.setEscapeButton(cancel.isEmpty() ? accepted : box.addButton(cancel, QMessageBox::RejectRole));
    box.exec();
    return box.clickedButton() == accepted;
}

QList<QStringList> rowsOf(const QStringList& names)
{
    QList<QStringList> rows;
    for (const QString& name : names) {
        rows.append({name});
    }
    return rows;
}

} // namespace

BlacklistWindowController::BlacklistWindowController(std::shared_ptr<BlacklistManager> blacklistManager,
                                                     QObject* parent)
    : QObject(parent), blacklistManager(std::move(blacklistManager))
{
    changeTimer.setInterval(1000);
    connect(&changeTimer, &QTimer::timeout, this, &BlacklistWindowController::refreshIfChanged);
}

BlacklistWindowController::~BlacklistWindowController() = default;

void BlacklistWindowController::show()
{
    if (!window) {
        createWindow();
    }
    refreshData();
    window->bringToFront();
    changeTimer.start();
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
    segmentedControl->setSegmentCount(4);
    segmentedControl->setLabel(QStringLiteral("My blacklist"), localSegment);
    segmentedControl->setLabel(QStringLiteral("Community"), communitySegment);
    segmentedControl->setLabel(QStringLiteral("Never skip"), neverSkipSegment);
    segmentedControl->setLabel(QStringLiteral("Blocked songs"), blockedSongsSegment);
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
    contentView->addSubview(countLabel, {284, 22, 96, 20}, Mask::MinXMargin | Mask::MaxYMargin);

    blockedSongsScrollView = createTableView(blockedSongsTableView, true);
    blockedSongsScrollView->setHidden(true);
    contentView->addSubview(blockedSongsScrollView, {20, 60, 360, 315}, Mask::WidthSizable | Mask::HeightSizable);

    importButton = newPushButton(QStringLiteral("Import..."));
    connect(importButton, &QPushButton::clicked, this, &BlacklistWindowController::importFromDialog);
    contentView->addSubview(importButton, {126, 20, 75, 28}, Mask::MaxXMargin | Mask::MaxYMargin);

    exportButton = newPushButton(QStringLiteral("Export..."));
    connect(exportButton, &QPushButton::clicked, this, &BlacklistWindowController::exportFromDialog);
    contentView->addSubview(exportButton, {205, 20, 75, 28}, Mask::MaxXMargin | Mask::MaxYMargin);

    window->setContentView(contentView);
    window->setAcceptDrops(true);
    window->installEventFilter(this);
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

void BlacklistWindowController::refreshIfChanged()
{
    if (!window || !window->isVisible()) {
        changeTimer.stop(); // until the window is shown again
        return;
    }
    if (listRevisions() != shownRevisions || communityToggle->isChecked() != blacklistManager->isCommunityEnabled()) {
        refreshData();
    }
}

std::array<quint64, 4> BlacklistWindowController::listRevisions() const
{
    return {blacklistManager->localArtistsRevision(), blacklistManager->communityArtistsRevision(),
            blacklistManager->neverSkipArtistsRevision(), blacklistManager->blockedSongsRevision()};
}

void BlacklistWindowController::refreshData()
{
    const QString key = ArtistName::equivalenceKey(ArtistName::normalized(searchQuery));
    shownRevisions = listRevisions();
    localIndex.update(shownRevisions[0], [this] { return blacklistManager->localArtists(); });
    communityIndex.update(shownRevisions[1], [this] { return blacklistManager->communityArtists(); });
    neverSkipIndex.update(shownRevisions[2], [this] { return blacklistManager->neverSkipArtists(); });
    filteredLocalArtists = localIndex.matching(key);
    filteredCommunityArtists = communityIndex.matching(key);
    filteredNeverSkipArtists = neverSkipIndex.matching(key);
    blockedSongsIndex.update(shownRevisions[3], [this] {
        blockedSongsByRow.clear();
        for (const BlockedSong& song : blacklistManager->blockedSongs()) {
            blockedSongsByRow.insert(song.shown(), song);
        }
        return ArtistSet::fromNames(blockedSongsByRow.keys());
    });
    filteredBlockedSongs = blockedSongsIndex.matching(key);
    for (TableView* table : {localTableView, communityTableView, neverSkipTableView, blockedSongsTableView}) {
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
    if (segment == blockedSongsSegment) {
        label->setText(QString::number(filteredBlockedSongs.size()) + QStringLiteral(" song(s)"));
        return;
    }
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
    blockedSongsScrollView->setVisible(segment == blockedSongsSegment);
    addArtistField->setVisible(local);
    addButton->setVisible(local);
    importButton->setVisible(local);
    exportButton->setVisible(local);
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
    const QString artist = ArtistName::trimmedOfSpaces(addArtistField->text());
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
    if (!alert(window.get(), QMessageBox::Warning, QStringLiteral("Clear local blacklist?"),
               QStringLiteral("This will remove all artists from your personal blacklist."), QStringLiteral("Clear"),
               QStringLiteral("Cancel"))) {
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
    if (table == blockedSongsTableView) {
        return filteredBlockedSongs;
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
    if (table == blockedSongsTableView) {
        const BlockedSong song = blockedSongsByRow.value(artists.at(row));
        blacklistManager->unblockSong(song.artist, song.title);
    } else if (table == neverSkipTableView) {
        blacklistManager->removeNeverSkip(artists.at(row));
    } else {
        blacklistManager->removeLocal(artists.at(row));
    }
    refreshData();
}

void BlacklistWindowController::importFromDialog()
{
    QFileDialog dialog(window.get(), QStringLiteral("Import"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Lists of artists (*.csv *.json *.txt)"), QStringLiteral("All files (*)")});
    if (dialog.exec() == QDialog::Accepted) {
        importFile(dialog.selectedFiles().value(0));
    }
}

void BlacklistWindowController::importFile(const QString& path)
{
    const QString fileName = QFileInfo(path).fileName();
    const ArtistListFormats::Reading reading = UserListFile::read(path);
    if (!reading.error.isEmpty()) {
        alert(window.get(), QMessageBox::Warning, QStringLiteral("This file cannot be imported"),
              fileName + QStringLiteral(": ") + reading.error + QStringLiteral(". Your blacklist is unchanged."),
              QStringLiteral("OK"));
        return;
    }
    // A list of songs blocks those songs, not their artists.
    const bool songs = !reading.songs.isEmpty();
    const ArtistSet artists = songs ? ArtistSet() : reading.list.names.view().toSet();
    const ListMerge merge =
        songs ? blacklistManager->mergeWithBlockedSongs(reading.songs) : blacklistManager->mergeWithLocal(artists);
    QString summary = QStringLiteral("%1 added, %2 already on your list").arg(merge.added).arg(merge.alreadyListed);
    if (reading.unreadLines > 0) {
        summary += reading.unreadLines == 1 ? QStringLiteral(", 1 line could not be read")
                                            : QStringLiteral(", %1 lines could not be read").arg(reading.unreadLines);
    }
    const QString question =
        songs ? QStringLiteral("Block the songs of %1?") : QStringLiteral("Add the names of %1 to your blacklist?");
    if (alert(window.get(), QMessageBox::Question, summary, question.arg(fileName), QStringLiteral("Add"),
              QStringLiteral("Cancel"))) {
        songs ? blacklistManager->blockSongs(reading.songs) : blacklistManager->addLocal(artists);
        refreshData();
    }
}

void BlacklistWindowController::exportFromDialog()
{
    QFileDialog dialog(window.get(), QStringLiteral("Export"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("CSV (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("blacklist.csv"));
    auto* songs = new QCheckBox(QStringLiteral("Also the blocked songs, as <name>-songs.csv"));
    auto* neverSkip = new QCheckBox(QStringLiteral("Also the never-skip list, as <name>-never-skip.csv"));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        grid->addWidget(songs, grid->rowCount(), 0, 1, -1);
        grid->addWidget(neverSkip, grid->rowCount(), 0, 1, -1);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QString path = dialog.selectedFiles().value(0);
    const QString stem = path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ? path.chopped(4) : path;
    const QString artist = QStringLiteral("artist");
    QList<QPair<QString, QByteArray>> files{
        {path, ArtistListFormats::csv({artist}, rowsOf(blacklistManager->localArtists().sorted()))}};
    if (songs->isChecked()) {
        QList<QStringList> rows;
        for (const BlockedSong& song : blacklistManager->blockedSongs()) {
            rows.append({song.artist, song.title});
        }
        files.append(
            {stem + QStringLiteral("-songs.csv"), ArtistListFormats::csv({artist, QStringLiteral("title")}, rows)});
    }
    if (neverSkip->isChecked()) {
        files.append({stem + QStringLiteral("-never-skip.csv"),
                      ArtistListFormats::csv({artist}, rowsOf(blacklistManager->neverSkipArtists().sorted()))});
    }
    for (const auto& [file, bytes] : std::as_const(files)) {
        const QString error = UserListFile::write(file, bytes);
        if (!error.isEmpty()) {
            alert(window.get(), QMessageBox::Warning, QStringLiteral("The list could not be exported"),
                  QFileInfo(file).fileName() + QStringLiteral(": ") + error, QStringLiteral("OK"));
            return;
        }
    }
}

bool BlacklistWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window.get() && (event->type() == QEvent::DragEnter || event->type() == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = drop->mimeData()->urls();
        if (urls.size() == 1 && urls.first().isLocalFile()) {
            drop->acceptProposedAction();
            if (event->type() == QEvent::Drop) {
                // Asked once the drop is over, so that the dragging program is not held up by the question.
                QMetaObject::invokeMethod(
                    this, [this, path = urls.first().toLocalFile()] { importFile(path); }, Qt::QueuedConnection);
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
