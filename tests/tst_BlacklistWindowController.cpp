#include "support/HttpsTestServer.h"
#include "support/TempPreferences.h"
#include "widgets/SegmentedControl.h"
#include "widgets/TableView.h"
#include "widgets/ViewTag.h"
#include "widgets/Window.h"
#include "window/BlacklistWindowController.h"

#include <QApplication>
#include <QCheckBox>
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
        const QStringList names = {"search", "segments", "add field", "add",   "local", "community",
                                   "never",  "sync",     "switch",    "clear", "count"};
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
        TableView* tables[] = {controller.localTableView, controller.communityTableView, controller.neverSkipTableView};
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

// Clicks `button`, answers the alert it opens with `answer`, and returns the alert's texts and buttons.
QStringList clickAndAnswer(QAbstractButton* button, const QString& answer)
{
    QStringList seen;
    QTimer poll; // gone with this call, should no alert come
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (alert && seen.isEmpty()) {
            seen << alert->text() << alert->informativeText() << QString::number(alert->icon());
            for (QAbstractButton* choice : alert->buttons()) {
                seen << choice->text();
                choice->text() == answer ? choice->click() : void();
            }
        }
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
    void searchesCountsDeletesAndReopensAsLeft()
    {
        OpenWindow open({"rock band", "hard rock", "jazz trio", "two  spaces", "<b>bold</b>"},
                        {"rockers", "caf\u00e9 rock", "polka"});
        QCOMPARE(open->window->windowTitle() + open->searchField->placeholderText() +
                     open->addArtistField->placeholderText(),
                 "BlacklistSearch...Add artist name...");
        QCOMPARE(open.shown() + ": " + open.listed(),
                 "search, segments, add field, add, local, clear, count: "
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
        open.chooseSegment(1);
        QVERIFY(!open->communityToggle->isChecked());
        QTest::mouseClick(open->communityToggle, Qt::LeftButton);
        QVERIFY(open.store->isCommunityEnabled());
        open.store->setCommunityEnabled(false); // from the menu of another copy, or by hand
        open->show();
        QTest::mouseClick(open->communityToggle, Qt::LeftButton);
        QVERIFY(open.store->isCommunityEnabled());

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
        QCOMPARE(clickAndAnswer(open.clearAllButton(), "Cancel"),
                 QStringList({"Clear local blacklist?", "This will remove all artists from your personal blacklist.",
                              QString::number(QMessageBox::Warning), "Clear", "Cancel"}));
        QCOMPARE(open.listed(), "abba, cat (2 artist(s))");
        clickAndAnswer(open.clearAllButton(), "Clear");
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
};

QTEST_MAIN(TestBlacklistWindowController)
#include "tst_BlacklistWindowController.moc"
