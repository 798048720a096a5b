#include "support/HttpsTestServer.h"
#include "support/TempPreferences.h"
#include "widgets/SegmentedControl.h"
#include "widgets/TableView.h"
#include "widgets/ViewTag.h"
#include "widgets/Window.h"
#include "window/BlacklistWindowController.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {

QWidget* cell(TableView* table, int row, int column)
{
    return table->indexWidget(table->model()->index(row, column));
}

// A window on a store of its own, whose community service is a local HTTPS server.
struct OpenWindow
{
    explicit OpenWindow(const ArtistSet& local, const ArtistSet& community = {})
    {
        store->setLocalArtists(local);
        store->setCommunityArtists(community);
        controller.show();
    }

    BlacklistWindowController* operator->() { return &controller; }
    QWidget* tagged(int tag) const { return ViewTag::viewWithTag(controller.window->contentView(), tag); }
    QPushButton* clearAllButton() const { return qobject_cast<QPushButton*>(tagged(101)); }
    // The views a user sees, in the order they were added: "search, segments, ...".
    QString shown() const
    {
        const QStringList names = {"search", "segments", "add field", "add",   "local", "community", "never",
                                   "sync",   "switch",   "clear",     "count", "songs", "import",    "export"};
        const QWidgetList views = controller.window->contentView()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        QStringList visible;
        for (int i = 0; i < views.size(); ++i) {
            if (views[i]->isVisible()) {
                visible << names.value(i);
            }
        }
        return visible.join(", ");
    }
    // What the chosen segment's table lists, and the count: "abba, cat (2 artist(s))".
    QString listed() const
    {
        TableView* tables[] = {controller.localTableView, controller.communityTableView, controller.neverSkipTableView,
                               controller.blockedSongsTableView};
        TableView* table = tables[controller.segmentedControl->selectedSegment()];
        QStringList names;
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            names.append(qobject_cast<QLabel*>(cell(table, row, 0))->text());
        }
        return names.join(", ") + " (" + count() + ")";
    }
    QString count() const { return qobject_cast<QLabel*>(tagged(100))->text(); }
    void chooseSegment(int segment)
    {
        QTest::mouseClick(controller.segmentedControl->findChildren<QAbstractButton*>().at(segment), Qt::LeftButton);
    }

    HttpsTestServer server;
    TempPreferences prefs;
    std::shared_ptr<BlacklistManager> store = prefs.openStore(server.baseUrl());
    BlacklistWindowController controller{store};
};

// Does `act`, and answers each dialog that comes with the next of `answers`: an alert with the button of that
// text, a file dialog with that path ("+" before it ticks its boxes). Returns each alert's text and details.
QStringList answering(const std::function<void()>& act, QStringList answers)
{
    QStringList seen;
    QTimer poll; // gone with this call, should no dialog come
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible() || answers.isEmpty()) {
            return;
        }
        const QString answer = answers.takeFirst();
        if (auto* alert = qobject_cast<QMessageBox*>(dialog)) {
            seen << alert->text() + " | " + alert->informativeText();
            const QList<QAbstractButton*> choices = alert->buttons();
            const auto choice =
                std::find_if(choices.cbegin(), choices.cend(), [&](auto* b) { return b->text() == answer; });
            choice == choices.cend() ? alert->reject() : (*choice)->click();
        } else if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
            for (QCheckBox* box : files->findChildren<QCheckBox*>()) {
                box->setChecked(answer.startsWith('+'));
            }
            files->selectFile(answer.mid(answer.startsWith('+')));
            static_cast<QDialog*>(files)->accept();
        }
    });
    poll.start(10);
    act();
    // A dialog that should have come and did not shows in what was seen.
    static_cast<void>(QTest::qWaitFor([&] { return answers.isEmpty() && !QApplication::activeModalWidget(); }));
    return seen;
}

void drop(QWidget* window, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

} // namespace

class TestBlacklistWindowController : public QObject
{
    Q_OBJECT

private slots:
    void searchesCountsDeletesAndReopensAsLeft()
    {
        OpenWindow open({"rock band", "hard rock", "jazz trio", "two  spaces", "<b>bold</b>"},
                        {"rockers", "caf\u00e9 rock", "polka"});
        QCOMPARE(open->window->windowTitle() + open->searchField->placeholderText() +
                     open->addArtistField->placeholderText(),
                 "BlacklistSearch...Add artist name...");
        QCOMPARE(open.shown() + ": " + open.listed(),
                 "search, segments, add field, add, local, clear, count, import, export: "
                 "<b>bold</b>, hard rock, jazz trio, rock band, two  spaces (5 artist(s))");
        QTest::keyClicks(open->searchField, "ROCK");
        QCOMPARE(open.listed(), "hard rock, rock band (2 artist(s))");
        open.chooseSegment(1);
        QCOMPARE(
            open.shown() + ": " + open.listed(),
            "search, segments, community, sync, switch, count: caf\u00e9 rock, rockers (2 artist(s) from 127.0.0.1)");

        // A delete button takes the row shown, whatever the search hides.
        open.chooseSegment(0);
        QTest::mouseClick(cell(open->localTableView, 1, 1), Qt::LeftButton);
        QCOMPARE(open.store->localArtists(), ArtistSet({"hard rock", "jazz trio", "two  spaces", "<b>bold</b>"}));
        QCOMPARE(open.listed(), "hard rock (1 artist(s))");
        // A decomposed accent finds the precomposed name; spaces are searched as typed.
        open->searchField->clear();
        open->searchField->insert("E\u0301");
        QCOMPARE(open->filteredCommunityArtists, QStringList({"caf\u00e9 rock"}));
        open->searchField->clear();
        QTest::keyClicks(open->searchField, "  ");
        QCOMPARE(open.listed(), "two  spaces (1 artist(s))");

        // Reopened, the window keeps search and segment and shows the lists and switch as stored now.
        open.chooseSegment(1);
        open->window->close();
        open.store->setCommunityArtists({"rockers", "polka", "a  b"});
        open.store->setNeverSkipArtists({"x  y", "z  w", "solo"});
        open.store->setCommunityEnabled(false);
        Window* built = open->window.get();
        open->show();
        QCOMPARE(open->window.get(), built);
        QCOMPARE(open.shown() + ": " + open.listed(),
                 "search, segments, community, sync, switch, count: a  b (1 artist(s) from 127.0.0.1)");
        open.chooseSegment(2);
        QCOMPARE(open.shown() + ": " + open.listed(), "search, segments, never, count: x  y, z  w (2 artist(s))");
        QTest::mouseClick(cell(open->neverSkipTableView, 1, 1), Qt::LeftButton);
        QCOMPARE(open.listed(), "x  y (1 artist(s))");
        QCOMPARE(open.store->neverSkipArtists(), ArtistSet({"x  y", "solo"}));
        // Songs blocked by name, "Artist - Title", searched and deleted as the artists are.
        open.store->blockSongs({{"Rock Band", "Hard Rock"}, {"Polka", "Rock"}, {"Polka", "Waltz"}});
        open.chooseSegment(3);
        QTest::keyClick(open->searchField, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(open->searchField, "ROCK");
        QCOMPARE(open.shown() + ": " + open.listed(),
                 "search, segments, count, songs: polka - rock, rock band - hard rock (2 song(s))");
        QTest::mouseClick(cell(open->blockedSongsTableView, 1, 1), Qt::LeftButton);
        QCOMPARE(open.listed(), "polka - rock (1 song(s))");
        open.chooseSegment(1);
        QVERIFY(!open->communityToggle->isChecked());
        QTest::mouseClick(open->communityToggle, Qt::LeftButton);
        QVERIFY(open.store->isCommunityEnabled());
        open.store->setCommunityEnabled(false); // from the menu of another copy, or by hand
        open->show();
        QTest::mouseClick(open->communityToggle, Qt::LeftButton);
        QVERIFY(open.store->isCommunityEnabled());
        // The open window follows another program's edit of the file.
        QTest::keyClick(open->searchField, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(open->searchField, "  ");
        open.store->waitUntilSaved();
        QVERIFY(open.prefs.writeFile(R"({"localBlacklistedArtists": ["by  hand"], "communityBlacklistEnabled": 0})"));
        open->refreshIfChanged(); // as its timer does every second
        open.chooseSegment(0);
        QCOMPARE(open.listed() + QString::number(open->communityToggle->isChecked()), "by  hand (1 artist(s))0");

        // The masks move and stretch the views with the window.
        built->resize(600, 700);
        QTRY_COMPARE(open->localTableView->parentWidget()->geometry(), QRect(20, 125, 560, 515));
        QCOMPARE(open.clearAllButton()->geometry(), QRect(20, 652, 100, 28));
    }

    void addsTrimmedNamesOnReturnInTheAddFieldOnlyAndMakesCellsInViewOnly()
    {
        QStringList names;
        for (int i = 0; i < 100000; ++i) {
            names.append(QStringLiteral("artist %1").arg(i, 6, 10, QLatin1Char('0')));
        }
        OpenWindow open(ArtistSet::fromNames(names.mid(0, 120)), ArtistSet::fromNames(names));
        // Delete buttons tagged 100 and 101 never shadow the count or "Clear all".
        open->localTableView->scrollTo(open->localTableView->model()->index(101, 0));
        QTest::keyClicks(open->addArtistField, "  Night Owls");
        open->addArtistField->insert("\t\u00a0"); // a tab can only be pasted
        QTest::keyClick(open->addArtistField, Qt::Key_Return);
        QVERIFY(open.store->localArtists().contains("night owls"));
        QCOMPARE(open->addArtistField->text(), QString());
        QCOMPARE(open.count(), "121 artist(s)");
        QTRY_COMPARE(open.server.requests().size(), 1);
        QCOMPARE(QJsonDocument::fromJson(open.server.requests().at(0).body)["artist"].toString(), "Night Owls");

        open->addArtistField->insert(" \u3000\t");
        QTest::mouseClick(open->addButton, Qt::LeftButton);
        open->addArtistField->setText("abc");
        QTest::keyClick(open->searchField, Qt::Key_Return);
        QCOMPARE(open.store->localArtists().size(), 121);

        open.chooseSegment(1);
        QVERIFY(open.clearAllButton()->isHidden());
        TableView* table = open->communityTableView;
        const auto cells = [table] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return table->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size();
        };
        const int visibleRows = table->viewport()->height() / 24 + 2;
        QTRY_VERIFY(cells() > 0);
        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        QCOMPARE(qobject_cast<QLabel*>(cell(table, 99999, 0))->text(), "artist 099999");
        QVERIFY2(cells() <= visibleRows, qPrintable(QString::number(cells())));
    }

    void clearsWhenConfirmedAndSyncsAgain()
    {
        OpenWindow open({"abba", "cat"}, {"polka"});
        QCOMPARE(answering([&] { open.clearAllButton()->click(); }, {"Cancel"}),
                 QStringList({"Clear local blacklist? | This will remove all artists from your personal blacklist."}));
        QCOMPARE(open.listed(), "abba, cat (2 artist(s))");
        answering([&] { open.clearAllButton()->click(); }, {"Clear"});
        QCOMPARE(open.listed(), " (0 artist(s))");
        QCOMPARE(open.store->communityArtists(), ArtistSet({"polka"}));

        open.server.addReply("/api/list/", {500, "<html>down</html>", HttpsTestServer::Reply::Delivery::Held});
        open.server.addReply("/api/list/", {200, R"({"artists": ["New Wave Bot"]})"});
        open.chooseSegment(1);
        QTest::mouseClick(open->syncButton, Qt::LeftButton);
        QCOMPARE(open->syncButton->text(), "Syncing...");
        QTest::mouseClick(open->syncButton, Qt::LeftButton); // disabled: no second download
        QTRY_COMPARE(open.server.requests().size(), 1);
        open.server.releaseHeldReplies();
        QTRY_VERIFY(open->syncButton->isEnabled());
        QCOMPARE(open->syncButton->text(), "Sync community blacklist");
        QCOMPARE(open.listed(), "polka (1 artist(s) from 127.0.0.1)");
        QTest::mouseClick(open->syncButton, Qt::LeftButton);
        QTRY_COMPARE(open.listed(), "new wave bot (1 artist(s) from 127.0.0.1)");
    }

    // One file each, through "Import..." or dropped on the window, into {abba, cat} with "dog" never skipped.
    void importsAFileIntoTheOwnListWhenAgreed_data()
    {
        QTest::addColumn<QByteArray>("content"); // "folder", "gone": no file but that
        QTest::addColumn<QString>("answer");     // "drop " before it: dropped on the window
        QTest::addColumn<QString>("said");       // part of what the alert said
        QTest::addColumn<QString>("listed");     // the own list afterwards
        const auto row = [](const char* name, const QByteArray& content, const char* answer, const char* said,
                            const char* listed = "abba, cat") {
            QTest::newRow(name) << content << QString(answer) << QString(said) << QString(listed);
        };
        row("csv", "artist,id\nABBA,1\nDog,2\n,3\n\nEel,4\n", "Add",
            "2 added, 1 already on your list, 1 line could not be read | Add the names of list", "abba, cat, dog, eel");
        row("cancelled", "abba\nfox\n", "drop Cancel", "1 added, 1 already on your list |");
        row("json", R"([{"name": "Fox"}])", "drop Add", "1 added, 0 already on your list |", "abba, cat, fox");
        row("no list", "<html>sign in</html>", "OK",
            "This file cannot be imported | list: not a list TuneSieve can read. Your blacklist is unchanged.");
        row("unreadable", "\xff\xfe\x00 bad", "drop OK", "list: not a list TuneSieve can read.");
        row("too large", QByteArray(32 * 1024 * 1024 + 1, 'a'), "OK", "list: larger than 32 MiB.");
        row("folder", "folder", "drop OK", "list: a folder, not a file.");
        row("gone", "gone", "drop OK", "list: the file is gone.");
    }

    void importsAFileIntoTheOwnListWhenAgreed()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, answer);
        QFETCH(QString, said);
        const bool dropped = answer.startsWith("drop ");
        OpenWindow open({"abba", "cat"});
        open.store->setNeverSkipArtists({"dog"});
        const QString path = open.prefs.folder() + "/list";
        QFile file(path);
        QVERIFY(content == "gone" ||
                (content == "folder" ? QDir().mkdir(path) : file.open(QIODevice::WriteOnly) && file.write(content)));
        file.close();
        const auto act = [&] { dropped ? drop(open->window.get(), path) : open->importButton->click(); };
        const QString seen = answering(act, QStringList{path, answer.remove("drop ")}.mid(dropped)).join("");
        QVERIFY2(seen.contains(said), qPrintable(seen));
        QTEST(open.listed().section(" (", 0, 0), "listed");
        QCOMPARE(open.store->neverSkipArtists().isEmpty(), open.listed().contains("dog"));
    }

    void exportsWhatImportsBackToTheSameList()
    {
        const ArtistSet names{"earth, wind & fire", " lead space", "#hash",  "quo\"te",
                              "line\nbreak",        "plain",       "\"q\" x"};
        OpenWindow open(names);
        open.store->blockSong("Echo", "Tired, really");
        open.store->setNeverSkipArtists({"dog"});
        const QString path = open.prefs.folder() + "/mine.csv";
        answering([&] { open->exportButton->click(); }, {"+" + path});
        QFile songs(open.prefs.folder() + "/mine-songs.csv");
        QFile neverSkip(open.prefs.folder() + "/mine-never-skip.csv");
        QVERIFY(songs.open(QIODevice::ReadOnly) && neverSkip.open(QIODevice::ReadOnly));
        QCOMPARE(songs.readAll() + neverSkip.readAll(), "artist,title\r\necho,\"tired, really\"\r\nartist\r\ndog\r\n");
        open.store->setLocalArtists({"plain"});
        QCOMPARE(answering([&] { drop(open->window.get(), path); }, {"Add"}).join(""),
                 "6 added, 1 already on your list | Add the names of mine.csv to your blacklist?");
        QCOMPARE(open.store->localArtists(), names);
        // The songs' list blocks its songs again, not their artists.
        open.store->unblockSong("echo", "tired, really");
        QCOMPARE(answering([&] { drop(open->window.get(), songs.fileName()); }, {"Add"}).join(""),
                 "1 added, 0 already on your list | Block the songs of mine-songs.csv?");
        QCOMPARE(open.store->blockedSongs().first().shown() + QString::number(open.store->localArtists().size()),
                 "echo - tired, really7");
        // Only the own list unless asked for more.
        QVERIFY(QFile::remove(songs.fileName()));
        answering([&] { open->exportButton->click(); }, {open.prefs.folder() + "/again.csv"});
        QVERIFY(QFile::exists(open.prefs.folder() + "/again.csv") && !songs.exists());
    }
};

QTEST_MAIN(TestBlacklistWindowController)
#include "tst_BlacklistWindowController.moc"
