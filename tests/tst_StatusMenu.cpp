#include "platform/Resources.h"
#include "support/DelegateHarness.h"
#include "support/HttpsTestServer.h"
#include "support/StdoutCapture.h"

#include <QDesktopServices>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

struct Entry
{
    QString text;
    bool enabled;
    bool separator;
    bool operator==(const Entry& other) const
    {
        return text == other.text && enabled == other.enabled && separator == other.separator;
    }
};

char* toString(const Entry& entry)
{
    return qstrdup(
        qPrintable(entry.separator ? QStringLiteral("----") : entry.text + (entry.enabled ? " (on)" : " (off)")));
}

QList<Entry> entries(const QMenu* menu)
{
    QList<Entry> list;
    for (const QAction* action : menu->actions()) {
        list.append({action->text(), action->isEnabled(), action->isSeparator()});
    }
    return list;
}

const QMenu* statusMenu(const DelegateHarness& h)
{
    return h.delegate.statusMenuItem()->menu();
}

QAction* entry(const DelegateHarness& h, int index)
{
    return statusMenu(h)->actions().at(index);
}

// Receives the URLs that the desktop would open.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

class TestStatusMenu : public QObject
{
    Q_OBJECT

private slots:
    void buildsTheMenuOnce()
    {
        DelegateHarness h;
        h.delegate.setupMenuBar();
        const Entry separator{QString(), true, true};
        QCOMPARE(entries(statusMenu(h)), (QList<Entry>{{"Artist: -", false, false},
                                                       {"Track: -", false, false},
                                                       separator,
                                                       {"Block this artist", false, false},
                                                       {"Manage blacklisted artists...", true, false},
                                                       separator,
                                                       {"About", true, false},
                                                       separator,
                                                       {"Quit", true, false}}));
        for (const QAction* action : statusMenu(h)->actions()) {
            QVERIFY(action->shortcut().isEmpty());
        }
        const QMenu* about = entry(h, 6)->menu();
        QVERIFY(about);
        QCOMPARE(entries(about), (QList<Entry>{{"Skip AI-generated music automatically", false, false},
                                               separator,
                                               {"Visit " + QUrl(APP_WEBSITE).host(), true, false},
                                               separator,
                                               {"Version 1.0.0", false, false}}));

        // The test binary has no icon beside it: the item shows the note drawn as its title.
        QVERIFY(!h.delegate.statusMenuItem()->icon().isNull());
        QVERIFY(!h.delegate.statusMenuItem()->icon().isMask());

        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        about->actions().at(2)->trigger();
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl(APP_WEBSITE)});
    }

    void findsTheIconInTheInstalledOrBuildLayout()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath("bin") && QDir(root.path()).mkpath("share/tunesieve"));
        QFile icon(root.filePath("share/tunesieve/menubar_icon.png"));
        QVERIFY(icon.open(QIODevice::WriteOnly));
        icon.close();
        const QStringList installed{root.filePath("bin") + "/../share/tunesieve", root.filePath("bin")};
        QCOMPARE(Resources::findInFolders(installed, "menubar_icon.png"), std::optional<QString>(icon.fileName()));
        QVERIFY(!Resources::findInFolders(installed, "missing.png"));
    }

    void followsWhatPlays()
    {
        DelegateHarness h;
        h.delegate.setupMenuBar();
        h.store->addLocal(QStringLiteral("Night Owls"));
        h.store->setCommunityArtists(ArtistSet({"robo"}));

        h.player.stop();
        h.delegate.checkCurrentTrack();
        QCOMPARE(entry(h, 0)->text(), QStringLiteral("Artist: (not playing)"));
        QCOMPARE(entry(h, 1)->text(), QStringLiteral("Track: -"));
        QCOMPARE(entry(h, 3)->text(), QStringLiteral("Block this artist"));
        QVERIFY(!entry(h, 3)->isEnabled());

        h.player.play("Echo", "Fine");
        h.delegate.checkCurrentTrack();
        QCOMPARE(entry(h, 0)->text(), QStringLiteral("Artist: Echo"));
        QCOMPARE(entry(h, 1)->text(), QStringLiteral("Track: Fine"));
        QCOMPARE(entry(h, 3)->text(), QStringLiteral("Block \"Echo\""));
        QVERIFY(entry(h, 3)->isEnabled());
        QVERIFY(!entry(h, 0)->isEnabled() && !entry(h, 1)->isEnabled());

        // On the community list only: blocking locally is still offered.
        h.player.play("Robo", "x");
        h.delegate.checkCurrentTrack();
        QVERIFY(entry(h, 3)->isEnabled());

        // Names are shown whole: an ampersand is not a mnemonic, a tab is not the shortcut column.
        const QString name = QStringLiteral("Simon & \"Garf\"\tunkel ") + QString(300, u'x');
        h.player.play(name, "Sound & Silence");
        h.delegate.checkCurrentTrack();
        QCOMPARE(entry(h, 0)->iconText(), QStringLiteral("Artist: Simon & \"Garf\" unkel ") + QString(300, u'x'));
        QCOMPARE(entry(h, 1)->iconText(), QStringLiteral("Track: Sound & Silence"));
        QCOMPARE(entry(h, 3)->iconText(),
                 QStringLiteral("Block \"Simon & \"Garf\" unkel ") + QString(300, u'x') + "\"");
    }

    void blockingAddsFlagsSkipsAndChecksAgain()
    {
        HttpsTestServer server;
        server.addReply("/api/flag/", {200, R"({"success": true})", HttpsTestServer::Reply::Delivery::Held});
        DelegateHarness h("Spotify", server.baseUrl());
        h.delegate.setupMenuBar();
        h.player.play("Night Owls", "Hoot");
        h.delegate.checkCurrentTrack();
        StdoutCapture out;

        entry(h, 3)->trigger();
        QVERIFY(h.store->localArtists() == ArtistSet({"night owls"}));
        QCOMPARE(h.shown->last(), (QPair<QString, QString>("Artist added to blacklist", "Night Owls")));
        QCOMPARE(h.player.skips(), 1);
        QTRY_COMPARE(server.requests().size(), 1);
        const QJsonObject flag = QJsonDocument::fromJson(server.requests().first().body).object();
        QCOMPARE(flag.value("artist").toString(), QStringLiteral("Night Owls"));

        // The player stays on the artist just blocked: the check a second later skips that track too.
        const int queries = h.player.trackQueries();
        h.player.play("Night Owls", "Second Hoot");
        QTRY_COMPARE(h.player.skips(), 2);
        QVERIFY(h.player.trackQueries() > queries);
        QVERIFY(!entry(h, 3)->isEnabled());

        // The answer names the artist that was flagged, whoever plays by then.
        h.player.play("Echo", "Fine");
        h.delegate.checkCurrentTrack();
        server.releaseHeldReplies();
        QTRY_VERIFY(out.text().contains("Artist flagged to community: Night Owls\n"));
    }

    void blockingWhileNothingPlaysDoesNothing()
    {
        HttpsTestServer server;
        DelegateHarness h("Spotify", server.baseUrl());
        h.delegate.setupMenuBar();
        h.delegate.checkCurrentTrack();
        const QByteArray before = h.prefs.readFile();
        const int queries = h.player.trackQueries();

        h.delegate.addCurrentArtistToBlacklist();
        QTest::qWait(1300);
        QCOMPARE(h.prefs.readFile(), before);
        QVERIFY(h.shown->isEmpty());
        QCOMPARE(h.player.skips(), 0);
        QCOMPARE(h.player.trackQueries(), queries);
        QVERIFY(server.requests().isEmpty());
    }
};

QTEST_MAIN(TestStatusMenu)
#include "tst_StatusMenu.moc"
