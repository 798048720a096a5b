#include "platform/SegmentedControl.h"
#include "platform/TableView.h"
#include "platform/ViewTag.h"
#include "platform/Window.h"
#include "support/HttpsTestServer.h"
#include "support/TempPreferences.h"
#include "window/BlacklistWindowController.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {

// A window on a store of its own, whose community service is a local HTTPS server.
struct OpenWindow
{
    explicit OpenWindow(const ArtistSet& local = {}, const ArtistSet& community = {})
    {
        store->setLocalArtists(local);
        store->setCommunityArtists(community);
        controller.show();
    }

    QWidget* contentView() const { return controller.window->contentView(); }
    QString countText() const { return qobject_cast<QLabel*>(ViewTag::viewWithTag(contentView(), 100))->text(); }
    QWidget* clearAllButton() const { return ViewTag::viewWithTag(contentView(), 101); }

    HttpsTestServer server;
    TempPreferences prefs;
    std::shared_ptr<BlacklistManager> store = std::make_shared<BlacklistManager>(
        prefs.openDomain(),
        CommunitySettings{server.baseUrl(), std::chrono::seconds(30), HttpsTestServer::trustedCertificates()});
    BlacklistWindowController controller{store};
};

// Clicks where a user would: on whatever child lies at `position` inside `view`.
void clickAt(QWidget* view, QPoint position)
{
    QWidget* target = view->childAt(position) ? view->childAt(position) : view;
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(view, position));
}

void chooseSegment(SegmentedControl* control, int segment)
{
    clickAt(control, QPoint(control->width() * (2 * segment + 1) / 4, control->height() / 2));
}

// Types like a keyboard or an input method would, one character at a time, beyond Latin-1 too.
void type(QWidget* field, const QString& text)
{
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

QWidget* cell(TableView* table, int row, int column)
{
    return table->indexWidget(table->model()->index(row, column));
}

QStringList shownNames(TableView* table)
{
    QStringList names;
    for (int row = 0; row < table->model()->rowCount(); ++row) {
        names.append(qobject_cast<QLabel*>(cell(table, row, 0))->text());
    }
    return names;
}

qsizetype cellCount(TableView* table)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return table->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size();
}

// Answers the modal alert that the next action opens, by clicking the button with `title`; returns its texts.
std::shared_ptr<QStringList> answerAlert(const QString& title)
{
    auto seen = std::make_shared<QStringList>();
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, seen, title] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!alert) {
            return;
        }
        *seen << alert->text() << alert->informativeText();
        for (QAbstractButton* button : alert->buttons()) {
            *seen << button->text();
        }
        *seen << (alert->icon() == QMessageBox::Warning ? "warning" : "other");
        poll->deleteLater();
        for (QAbstractButton* button : alert->buttons()) {
            if (button->text() == title) {
                QTest::mouseClick(button, Qt::LeftButton);
            }
        }
    });
    poll->start(10);
    return seen;
}

} // namespace

class TestBlacklistWindowController : public QObject
{
    Q_OBJECT

private slots:
    void buildsOnceInTheLocalSegment()
    {
        OpenWindow open({"night owls"});
        BlacklistWindowController& controller = open.controller;
        Window* built = controller.window.get();
        controller.show();
        QCOMPARE(controller.window.get(), built);
        QCOMPARE(built->windowTitle(), QStringLiteral("Blacklist"));
        QCOMPARE(built->size(), QSize(400, 500));
        QVERIFY(built->isVisible());

        QCOMPARE(controller.searchField->placeholderText(), QStringLiteral("Search..."));
        QCOMPARE(controller.addArtistField->placeholderText(), QStringLiteral("Add artist name..."));
        QCOMPARE(controller.segmentedControl->selectedSegment(), 0);
        for (QWidget* shown :
             QWidgetList{controller.searchField, controller.segmentedControl, controller.addArtistField,
                         controller.addButton, controller.localScrollView, open.clearAllButton()}) {
            QVERIFY(shown->isVisible());
        }
        for (QWidget* hidden :
             QWidgetList{controller.communityScrollView, controller.syncButton, controller.communityToggle}) {
            QVERIFY(!hidden->isVisible());
        }
        QCOMPARE(open.countText(), QStringLiteral("1 artist(s)"));
        // Frames are laid out from the bottom-left corner.
        QCOMPARE(controller.addButton->geometry(), QRect(310, 89, 70, 28));
        QCOMPARE(open.clearAllButton()->geometry(), QRect(20, 452, 100, 28));
        QVERIFY(controller.communityToggle->isChecked());

        QCOMPARE(controller.localTableView->tableColumns().size(), 2);
        QCOMPARE(controller.localTableView->tableColumns().at(1).identifier, QStringLiteral("delete"));
        QCOMPARE(controller.localTableView->horizontalHeader()->sectionSize(0), 320);
        QCOMPARE(controller.localTableView->verticalHeader()->sectionSize(0), 24);
        QVERIFY(controller.localTableView->horizontalHeader()->isHidden());
        QCOMPARE(controller.communityTableView->tableColumns().size(), 1);
        QCOMPARE(qobject_cast<QPushButton*>(cell(controller.localTableView, 0, 1))->text(), QStringLiteral("✕"));

        OpenWindow switchedOff;
        switchedOff.store->setCommunityEnabled(false);
        BlacklistWindowController another(switchedOff.store);
        another.show();
        QVERIFY(!another.communityToggle->isChecked());
    }

    void searchesAndCountsPerSegment()
    {
        OpenWindow open({"rock band", "hard rock", "jazz trio", "two  spaces", "<b>bold</b>"},
                        {"rockers", "caf\u00e9 rock", "polka"});
        BlacklistWindowController& controller = open.controller;
        QCOMPARE(open.countText(), QStringLiteral("5 artist(s)"));
        QCOMPARE(qobject_cast<QLabel*>(cell(controller.localTableView, 0, 0))->textFormat(), Qt::PlainText);

        QTest::keyClicks(controller.searchField, QStringLiteral("ROCK"));
        QCOMPARE(controller.searchQuery, QStringLiteral("ROCK"));
        QCOMPARE(shownNames(controller.localTableView), QStringList({"hard rock", "rock band"}));
        QCOMPARE(open.countText(), QStringLiteral("2 artist(s)"));

        chooseSegment(controller.segmentedControl, 1);
        QCOMPARE(controller.segmentedControl->selectedSegment(), 1);
        QVERIFY(controller.communityScrollView->isVisible() && controller.syncButton->isVisible());
        QVERIFY(controller.communityToggle->isVisible());
        QVERIFY(!controller.localScrollView->isVisible() && !controller.addArtistField->isVisible());
        QVERIFY(!controller.addButton->isVisible() && !open.clearAllButton()->isVisible());
        QCOMPARE(shownNames(controller.communityTableView), QStringList({"caf\u00e9 rock", "rockers"}));
        QCOMPARE(open.countText(), QStringLiteral("2 artist(s)"));
        QVERIFY(!cell(controller.communityTableView, 0, 1));

        // Segments switch what is shown, not what is listed: a store change appears at the next refresh only.
        open.store->addLocal(QStringLiteral("rock idol"));
        chooseSegment(controller.segmentedControl, 0);
        QCOMPARE(open.countText(), QStringLiteral("2 artist(s)"));
        QCOMPARE(controller.searchField->text(), QStringLiteral("ROCK"));

        // A decomposed accent finds the precomposed name; a bare letter does not match an accented one.
        controller.searchField->clear();
        type(controller.searchField, QStringLiteral("E\u0301"));
        QCOMPARE(controller.filteredCommunityArtists, QStringList({"caf\u00e9 rock"}));
        QCOMPARE(controller.filteredLocalArtists, QStringList());

        controller.searchField->clear();
        QTest::keyClicks(controller.searchField, QStringLiteral("  "));
        QCOMPARE(controller.filteredLocalArtists, QStringList({"two  spaces"}));
        QTest::keyClick(controller.searchField, Qt::Key_Backspace);
        QTest::keyClick(controller.searchField, Qt::Key_Backspace);
        QCOMPARE(shownNames(controller.localTableView),
                 QStringList({"<b>bold</b>", "hard rock", "jazz trio", "rock band", "rock idol", "two  spaces"}));
    }

    void addsTrimmedNamesOnReturnInTheAddFieldOnly()
    {
        OpenWindow open;
        BlacklistWindowController& controller = open.controller;
        // A tab cannot be typed into a field, only pasted.
        type(controller.addArtistField, QStringLiteral("  Night Owls"));
        controller.addArtistField->insert(QStringLiteral("\t"));
        type(controller.addArtistField, QStringLiteral("\u00a0"));
        QTest::keyClick(controller.addArtistField, Qt::Key_Return);
        QCOMPARE(open.store->localArtists(), ArtistSet({"night owls"}));
        QCOMPARE(controller.addArtistField->text(), QString());
        QCOMPARE(shownNames(controller.localTableView), QStringList({"night owls"}));
        QTRY_COMPARE(open.server.requests().size(), 1);
        QCOMPARE(open.server.requests().at(0).path, QByteArray("/api/flag/"));
        QCOMPARE(QJsonDocument::fromJson(open.server.requests().at(0).body).object().value("artist").toString(),
                 QStringLiteral("Night Owls"));

        type(controller.addArtistField, QStringLiteral(" \u3000"));
        controller.addArtistField->insert(QStringLiteral("\t"));
        QTest::mouseClick(controller.addButton, Qt::LeftButton);
        QCOMPARE(controller.addArtistField->text(), QStringLiteral(" \u3000\t"));
        QCOMPARE(open.store->localArtists().size(), 1);

        controller.addArtistField->setText(QStringLiteral("abc"));
        QTest::keyClick(controller.searchField, Qt::Key_Return);
        QCOMPARE(open.store->localArtists().size(), 1);
        QCOMPARE(controller.addArtistField->text(), QStringLiteral("abc"));
    }

    void deletesTheRowShownWhileSearching()
    {
        OpenWindow open({"abba", "cat", "dog"});
        BlacklistWindowController& controller = open.controller;
        QTest::keyClicks(controller.searchField, QStringLiteral("a"));
        QCOMPARE(controller.filteredLocalArtists, QStringList({"abba", "cat"}));
        QTest::mouseClick(cell(controller.localTableView, 1, 1), Qt::LeftButton);
        QCOMPARE(open.store->localArtists(), ArtistSet({"abba", "dog"}));
        QCOMPARE(shownNames(controller.localTableView), QStringList({"abba"}));
        QCOMPARE(open.countText(), QStringLiteral("1 artist(s)"));
    }

    void clearsOnlyWhenConfirmed()
    {
        OpenWindow open({"abba", "cat"}, {"polka"});
        const auto cancelled = answerAlert(QStringLiteral("Cancel"));
        QTest::mouseClick(qobject_cast<QPushButton*>(open.clearAllButton()), Qt::LeftButton);
        QCOMPARE(*cancelled,
                 QStringList({"Clear local blacklist?", "This will remove all artists from your personal blacklist.",
                              "Clear", "Cancel", "warning"}));
        QCOMPARE(open.store->localArtists().size(), 2);

        const auto confirmed = answerAlert(QStringLiteral("Clear"));
        QTest::mouseClick(qobject_cast<QPushButton*>(open.clearAllButton()), Qt::LeftButton);
        QVERIFY(!confirmed->isEmpty());
        QVERIFY(open.store->localArtists().isEmpty());
        QCOMPARE(open.store->communityArtists(), ArtistSet({"polka"}));
        QCOMPARE(open.countText(), QStringLiteral("0 artist(s)"));
    }

    void syncRestoresTheButtonWhateverTheOutcome()
    {
        OpenWindow open({}, {"polka"});
        BlacklistWindowController& controller = open.controller;
        open.server.addReply("/api/list/", {500, "<html>down</html>", HttpsTestServer::Reply::Delivery::Held});
        open.server.addReply("/api/list/", {200, R"({"artists": ["New Wave Bot"]})"});
        chooseSegment(controller.segmentedControl, 1);
        QTest::mouseClick(controller.syncButton, Qt::LeftButton);
        QCOMPARE(controller.syncButton->text(), QStringLiteral("Syncing..."));
        QVERIFY(!controller.syncButton->isEnabled());
        QTest::mouseClick(controller.syncButton, Qt::LeftButton);
        QTRY_COMPARE(open.server.requests().size(), 1);

        open.server.releaseHeldReplies();
        QTRY_VERIFY(controller.syncButton->isEnabled());
        QCOMPARE(controller.syncButton->text(), QStringLiteral("Sync community blacklist"));
        QCOMPARE(shownNames(controller.communityTableView), QStringList({"polka"}));

        QTest::mouseClick(controller.syncButton, Qt::LeftButton);
        QTRY_VERIFY(controller.syncButton->isEnabled());
        QCOMPARE(shownNames(controller.communityTableView), QStringList({"new wave bot"}));
        QCOMPARE(open.server.requests().size(), 2);
    }

    void switchChangesBlockingOnly()
    {
        OpenWindow open({}, {"polka", "rockers"});
        BlacklistWindowController& controller = open.controller;
        chooseSegment(controller.segmentedControl, 1);
        QTest::mouseClick(controller.communityToggle, Qt::LeftButton);
        QVERIFY(!open.store->isCommunityEnabled());
        QCOMPARE(shownNames(controller.communityTableView), QStringList({"polka", "rockers"}));
        QCOMPARE(open.countText(), QStringLiteral("2 artist(s)"));
        QTest::mouseClick(controller.communityToggle, Qt::LeftButton);
        QVERIFY(open.store->isCommunityEnabled());
    }

    void reopensAsLeftWithFreshLists()
    {
        OpenWindow open({"abba"}, {"anthrax", "polka"});
        BlacklistWindowController& controller = open.controller;
        QTest::keyClicks(controller.searchField, QStringLiteral("a"));
        chooseSegment(controller.segmentedControl, 1);
        controller.window->close();
        QVERIFY(!controller.window->isVisible());
        open.store->setCommunityArtists({"anthrax", "polka", "abacus"});

        controller.show();
        QVERIFY(controller.window->isVisible());
        QCOMPARE(controller.searchField->text(), QStringLiteral("a"));
        QCOMPARE(controller.segmentedControl->selectedSegment(), 1);
        QVERIFY(controller.communityScrollView->isVisible());
        QCOMPARE(shownNames(controller.communityTableView), QStringList({"abacus", "anthrax", "polka"}));
        QCOMPARE(open.countText(), QStringLiteral("3 artist(s)"));
    }

    void resizingMovesAndStretchesTheViews()
    {
        OpenWindow open;
        BlacklistWindowController& controller = open.controller;
        controller.window->resize(600, 700);
        QTRY_COMPARE(open.contentView()->size(), QSize(600, 700));
        QCOMPARE(controller.searchField->geometry(), QRect(20, 16, 560, 24));
        QCOMPARE(controller.segmentedControl->geometry(), QRect(20, 52, 560, 28));
        QCOMPARE(controller.addArtistField->geometry(), QRect(20, 91, 480, 24));
        QCOMPARE(controller.addButton->geometry(), QRect(510, 89, 70, 28));
        QCOMPARE(controller.localScrollView->geometry(), QRect(20, 125, 560, 515));
        QCOMPARE(controller.communityScrollView->geometry(), QRect(20, 125, 560, 515));
        QCOMPARE(controller.syncButton->geometry(), QRect(20, 87, 170, 28));
        QCOMPARE(controller.communityToggle->geometry(), QRect(510, 89, 80, 24));
        QCOMPARE(open.clearAllButton()->geometry(), QRect(20, 652, 100, 28));
        QCOMPARE(ViewTag::viewWithTag(open.contentView(), 100)->geometry(), QRect(130, 658, 450, 20));
    }

    void deleteButtonTagsNeverShadowTheCountOrClearAll()
    {
        ArtistSet local;
        for (int i = 0; i < 120; ++i) {
            local.insert(QStringLiteral("artist %1").arg(i, 3, 10, QLatin1Char('0')));
        }
        OpenWindow open(local);
        BlacklistWindowController& controller = open.controller;
        controller.localTableView->scrollTo(controller.localTableView->model()->index(101, 0));
        QCOMPARE(ViewTag::tag(cell(controller.localTableView, 100, 1)), 100);
        QCOMPARE(ViewTag::tag(cell(controller.localTableView, 101, 1)), 101);

        QTest::keyClicks(controller.addArtistField, QStringLiteral("Zed"));
        QTest::keyClick(controller.addArtistField, Qt::Key_Return);
        QCOMPARE(ViewTag::tag(cell(controller.localTableView, 100, 1)), 100);
        QCOMPARE(open.countText(), QStringLiteral("121 artist(s)"));
        chooseSegment(controller.segmentedControl, 1);
        QVERIFY(open.clearAllButton()->isHidden());
        QCOMPARE(qobject_cast<QPushButton*>(open.clearAllButton())->text(), QStringLiteral("Clear all"));
    }

    void makesViewsForVisibleRowsOnly()
    {
        QStringList names;
        for (int i = 0; i < 100000; ++i) {
            names.append(QStringLiteral("artist %1").arg(i, 6, 10, QLatin1Char('0')));
        }
        OpenWindow open({}, ArtistSet::fromNames(names));
        BlacklistWindowController& controller = open.controller;
        chooseSegment(controller.segmentedControl, 1);
        QCOMPARE(open.countText(), QStringLiteral("100000 artist(s)"));
        TableView* table = controller.communityTableView;
        const int visibleRows = table->viewport()->height() / 24 + 2;
        QTRY_VERIFY(cellCount(table) > 0);
        QVERIFY2(cellCount(table) <= visibleRows, qPrintable(QString::number(cellCount(table))));

        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        QCOMPARE(qobject_cast<QLabel*>(cell(table, 99999, 0))->text(), QStringLiteral("artist 099999"));
        QVERIFY(!cell(table, 0, 0));
        QVERIFY(cellCount(table) <= visibleRows);
    }
};

QTEST_MAIN(TestBlacklistWindowController)
#include "tst_BlacklistWindowController.moc"
