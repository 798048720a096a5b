#include "support/HttpsTestServer.h"
#include "support/TempPreferences.h"
#include "widgets/SegmentedControl.h"
#include "widgets/TableView.h"
#include "widgets/ViewTag.h"
#include "widgets/Window.h"
#include "window/BlacklistWindowController.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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
    explicit OpenWindow(const ArtistSet& local = {}, const ArtistSet& community = {}, bool communityEnabled = true)
    {
        store->setLocalArtists(local);
        store->setCommunityArtists(community);
        store->setCommunityEnabled(communityEnabled);
        controller.show();
    }

    BlacklistWindowController* operator->() { return &controller; }
    QWidget* tagged(int tag) const { return ViewTag::viewWithTag(controller.window->contentView(), tag); }
    QPushButton* clearAllButton() const { return qobject_cast<QPushButton*>(tagged(101)); }
    QString countText() const { return qobject_cast<QLabel*>(tagged(100))->text(); }
    // The views that a user sees, by short names, in the order in which they were added.
    QString shown() const
    {
        const QStringList names = {"search",    "segments", "add field", "add",   "local",
                                   "community", "sync",     "switch",    "clear", "count"};
        const QWidgetList views = controller.window->contentView()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        QStringList visible;
        for (int i = 0; i < views.size(); ++i) {
            if (views[i]->isVisible()) {
                visible << names.value(i);
            }
        }
        return visible.join(", ");
    }
    // The frames of all views, "x,y wxh".
    QString frames() const
    {
        QStringList frames;
        for (const QWidget* view :
             controller.window->contentView()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect f = view->geometry();
            frames << QString("%1,%2 %3x%4").arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height());
        }
        return frames.join(" ");
    }
    // The names that the table of the chosen segment shows, and the count: "abba, cat (2 artist(s))".
    QString listed() const
    {
        TableView* table = controller.segmentedControl->selectedSegment() == 0 ? controller.localTableView
                                                                               : controller.communityTableView;
        QStringList names;
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            names.append(qobject_cast<QLabel*>(cell(table, row, 0))->text());
        }
        return names.join(", ") + " (" + countText() + ")";
    }
    // Clicks where a user would: on the segment's own button.
    void chooseSegment(int segment)
    {
        QTest::mouseClick(controller.segmentedControl->findChildren<QAbstractButton*>().at(segment), Qt::LeftButton);
    }

    HttpsTestServer server;
    TempPreferences prefs;
    std::shared_ptr<BlacklistManager> store = prefs.openStore(server.baseUrl());
    BlacklistWindowController controller{store};
};

qsizetype cellCount(TableView* table)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return table->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size();
}

// Clicks `button`, then answers the modal alert that it opens with the button titled `answer`; returns the alert's
// texts, style and buttons.
QStringList clickAndAnswer(QAbstractButton* button, const QString& answer)
{
    QStringList seen;
    QTimer poll; // gone with this call, should no alert come
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!alert || !seen.isEmpty()) {
            return;
        }
        seen << alert->text() << alert->informativeText() << (alert->icon() == QMessageBox::Warning ? "warning" : "");
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* choice : alert->buttons()) {
            seen << choice->text();
            chosen = choice->text() == answer ? choice : chosen;
        }
        QTest::mouseClick(chosen, Qt::LeftButton);
    });
    poll.start(10);
    QTest::mouseClick(button, Qt::LeftButton);
    return seen;
}

} // namespace

class TestBlacklistWindowController : public QObject
{
    Q_OBJECT

private slots:
    void buildsOnceAndResizesByTheMasks()
    {
        OpenWindow open({"night owls"});
        Window* built = open->window.get();
        open->show();
        QCOMPARE(open->window.get(), built);
        QCOMPARE(built->windowTitle(), "Blacklist");
        QCOMPARE(open->searchField->placeholderText(), "Search...");
        QCOMPARE(open->addArtistField->placeholderText(), "Add artist name...");
        QCOMPARE(open.shown(), "search, segments, add field, add, local, clear, count");
        QCOMPARE(open.listed(), "night owls (1 artist(s))");
        QVERIFY(open->communityToggle->isChecked());
        QVERIFY(!OpenWindow({}, {}, false)->communityToggle->isChecked());

        QCOMPARE(open->localTableView->tableColumns().size(), 2);
        QCOMPARE(open->localTableView->tableColumns().at(1).identifier, "delete");
        QCOMPARE(open->localTableView->horizontalHeader()->sectionSize(0), 320);
        QCOMPARE(open->localTableView->verticalHeader()->sectionSize(0), 24);
        QVERIFY(open->localTableView->horizontalHeader()->isHidden());
        QCOMPARE(open->communityTableView->tableColumns().size(), 1);
        QCOMPARE(qobject_cast<QPushButton*>(cell(open->localTableView, 0, 1))->text(), "✕");

        // Frames are laid out from the bottom-left corner; the masks move and stretch them on resize.
        QCOMPARE(built->size(), QSize(400, 500));
        built->resize(600, 700);
        QTRY_COMPARE(built->contentView()->size(), QSize(600, 700));
        QCOMPARE(open.frames(), "20,16 560x24 20,52 560x28 20,91 480x24 510,89 70x28 20,125 560x515 20,125 560x515 "
                                "20,87 170x28 510,89 80x24 20,652 100x28 130,658 450x20");
    }

    void searchesCountsAndDeletesPerSegmentAndReopensAsLeft()
    {
        OpenWindow open({"rock band", "hard rock", "jazz trio", "two  spaces", "<b>bold</b>"},
                        {"rockers", "caf\u00e9 rock", "polka"});
        QCOMPARE(open.listed(), "<b>bold</b>, hard rock, jazz trio, rock band, two  spaces (5 artist(s))");
        QCOMPARE(qobject_cast<QLabel*>(cell(open->localTableView, 0, 0))->textFormat(), Qt::PlainText);
        QTest::keyClicks(open->searchField, "ROCK");
        QCOMPARE(open.listed(), "hard rock, rock band (2 artist(s))");
        open.chooseSegment(1);
        QCOMPARE(open.shown(), "search, segments, community, sync, switch, count");
        QCOMPARE(open.listed(), "caf\u00e9 rock, rockers (2 artist(s))");

        // Segments switch what is shown, not what is listed: a store change appears at the next refresh only.
        open.store->addLocal("rock idol");
        open.chooseSegment(0);
        QCOMPARE(open.listed(), "hard rock, rock band (2 artist(s))");
        QCOMPARE(open->searchField->text(), "ROCK");
        // A delete button takes the row shown, whatever the search hides.
        QTest::mouseClick(cell(open->localTableView, 1, 1), Qt::LeftButton);
        QCOMPARE(open.store->localArtists(),
                 ArtistSet({"hard rock", "jazz trio", "two  spaces", "<b>bold</b>", "rock idol"}));
        QCOMPARE(open.listed(), "hard rock, rock idol (2 artist(s))");

        // A decomposed accent finds the precomposed name; a bare letter does not match an accented one.
        open->searchField->clear();
        open->searchField->insert("E\u0301"); // pasted, or typed with an input method
        QCOMPARE(open->filteredCommunityArtists, QStringList({"caf\u00e9 rock"}));
        QCOMPARE(open->filteredLocalArtists, QStringList());
        open->searchField->clear();
        QTest::keyClicks(open->searchField, "  ");
        QCOMPARE(open.listed(), "two  spaces (1 artist(s))");
        QTest::keyClick(open->searchField, Qt::Key_Backspace);
        QTest::keyClick(open->searchField, Qt::Key_Backspace);
        QCOMPARE(open.listed(), "<b>bold</b>, hard rock, jazz trio, rock idol, two  spaces (5 artist(s))");

        // Reopened, the window keeps the search and the segment, and shows the lists as they are now.
        QTest::keyClicks(open->searchField, "a");
        open.chooseSegment(1);
        open->window->close();
        open.store->setCommunityArtists({"rockers", "polka", "abacus"});
        open->show();
        QCOMPARE(open->searchField->text(), "a");
        QCOMPARE(open.shown(), "search, segments, community, sync, switch, count");
        QCOMPARE(open.listed(), "abacus, polka (2 artist(s))");
    }

    void addsTrimmedNamesOnReturnInTheAddFieldOnlyAndMakesCellsInViewOnly()
    {
        QStringList names;
        for (int i = 0; i < 100000; ++i) {
            names.append(QStringLiteral("artist %1").arg(i, 6, 10, QLatin1Char('0')));
        }
        OpenWindow open(ArtistSet::fromNames(names.mid(0, 120)), ArtistSet::fromNames(names));
        // The delete buttons of rows 100 and 101 carry those tags, yet never shadow the count or "Clear all".
        open->localTableView->scrollTo(open->localTableView->model()->index(101, 0));
        QCOMPARE(ViewTag::tag(cell(open->localTableView, 100, 1)), 100);
        QCOMPARE(ViewTag::tag(cell(open->localTableView, 101, 1)), 101);
        QTest::keyClicks(open->addArtistField, "  Night Owls");
        open->addArtistField->insert("\t\u00a0"); // a tab cannot be typed into a field, only pasted
        QTest::keyClick(open->addArtistField, Qt::Key_Return);
        QVERIFY(open.store->localArtists().contains("night owls"));
        QCOMPARE(open->addArtistField->text(), QString());
        QCOMPARE(open.countText(), "121 artist(s)");
        QCOMPARE(ViewTag::tag(cell(open->localTableView, 100, 1)), 100); // made anew by the refresh
        QTRY_COMPARE(open.server.requests().size(), 1);
        QCOMPARE(open.server.requests().at(0).path, "/api/flag/");
        QCOMPARE(QJsonDocument::fromJson(open.server.requests().at(0).body)["artist"].toString(), "Night Owls");

        open->addArtistField->insert(" \u3000\t");
        QTest::mouseClick(open->addButton, Qt::LeftButton);
        QCOMPARE(open->addArtistField->text(), " \u3000\t");
        open->addArtistField->setText("abc");
        QTest::keyClick(open->searchField, Qt::Key_Return);
        QCOMPARE(open->addArtistField->text(), "abc");
        QCOMPARE(open.store->localArtists().size(), 121);

        open.chooseSegment(1);
        QVERIFY(open.clearAllButton()->isHidden());
        QCOMPARE(open.clearAllButton()->text(), "Clear all");

        QCOMPARE(open.countText(), "100000 artist(s)");
        TableView* table = open->communityTableView;
        const int visibleRows = table->viewport()->height() / 24 + 2;
        QTRY_VERIFY(cellCount(table) > 0);
        QVERIFY2(cellCount(table) <= visibleRows, qPrintable(QString::number(cellCount(table))));
        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        QCOMPARE(qobject_cast<QLabel*>(cell(table, 99999, 0))->text(), "artist 099999");
        QVERIFY(!cell(table, 0, 0));
        QVERIFY(cellCount(table) <= visibleRows);
    }

    void clearsWhenConfirmedSyncsAndSwitches()
    {
        OpenWindow open({"abba", "cat"}, {"polka"});
        QCOMPARE(clickAndAnswer(open.clearAllButton(), "Cancel"),
                 QStringList({"Clear local blacklist?", "This will remove all artists from your personal blacklist.",
                              "warning", "Clear", "Cancel"}));
        QCOMPARE(open.listed(), "abba, cat (2 artist(s))");
        QVERIFY(!clickAndAnswer(open.clearAllButton(), "Clear").isEmpty());
        QCOMPARE(open.listed(), " (0 artist(s))");
        QVERIFY(open.store->localArtists().isEmpty());
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
        QCOMPARE(open.listed(), "polka (1 artist(s))");

        QTest::mouseClick(open->syncButton, Qt::LeftButton);
        QTRY_VERIFY(open->syncButton->isEnabled());
        QCOMPARE(open.listed(), "new wave bot (1 artist(s))");
        QCOMPARE(open.server.requests().size(), 2);

        QTest::mouseClick(open->communityToggle, Qt::LeftButton);
        QVERIFY(!open.store->isCommunityEnabled());
        QCOMPARE(open.listed(), "new wave bot (1 artist(s))");
        QTest::mouseClick(open->communityToggle, Qt::LeftButton);
        QVERIFY(open.store->isCommunityEnabled());
    }
};

QTEST_MAIN(TestBlacklistWindowController)
#include "tst_BlacklistWindowController.moc"
