#include "app/AppDelegate.h"
#include "player/linux/MprisPlayerEvents.h"
#include "player/linux/MprisScriptRunner.h"
#include "support/DelegateHarness.h"
#include "support/PrivateBus.h"
#include "support/ScriptedPlayer.h"
#include "support/StdoutCapture.h"
#include "support/TempPreferences.h"
#include "support/TestMprisPlayer.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const QString playerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

std::unique_ptr<AppDelegate> delegateOn(std::unique_ptr<ScriptRunner> engine, std::shared_ptr<BlacklistManager> store,
                                        std::unique_ptr<PlayerEvents> events)
{
    return std::make_unique<AppDelegate>(
        std::make_unique<MusicController>(std::move(engine)), std::move(store),
        std::make_unique<RecordingNotifier>(std::make_shared<RecordingNotifier::Shown>()), std::move(events));
}

} // namespace

// The MPRIS change reports, and the checks the delegate makes of them, on a private bus.
class TestMprisPlayerEvents : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PrivateBus> bus;

    std::unique_ptr<TestMprisPlayer> player(const QString& suffix)
    {
        auto created = std::make_unique<TestMprisPlayer>(*bus, suffix);
        if (!created->isRegistered()) {
            qFatal("cannot register the test player %s", qPrintable(suffix));
        }
        return created;
    }

    // Sends PropertiesChanged as `sender` would, with any interface and properties.
    static void announce(QDBusConnection sender, const QString& interface, const QVariantMap& changed,
                         const QStringList& invalidated = {})
    {
        QDBusMessage signal = QDBusMessage::createSignal(playerPath, propertiesInterface, "PropertiesChanged");
        signal << interface << changed << invalidated;
        QVERIFY(sender.send(signal));
    }

private slots:
    void initTestCase()
    {
        bus = std::make_unique<PrivateBus>();
        QVERIFY(bus->isRunning());
    }

    void reportsNewTracksStatesAndPlayersOnly()
    {
        MprisPlayerEvents events;
        QSignalSpy reports(&events, &PlayerEvents::playersChanged);
        // Without a bus nothing is ever reported.
        MprisPlayerEvents unconnected(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"), "none"));
        QSignalSpy unconnectedReports(&unconnected, &PlayerEvents::playersChanged);

        auto vlc = player("vlc");
        QTRY_COMPARE(reports.size(), 1); // the name appeared
        vlc->setTrack({"Ana"}, "One");
        QTRY_COMPARE(reports.size(), 2);
        vlc->setPlaybackStatus("Playing");
        QTRY_COMPARE(reports.size(), 3);

        // Messages of one sender arrive in order: once the last one is reported, those before it
        // were seen and dropped.
        QDBusConnection other = bus->connect("other");
        announce(other, "org.mpris.MediaPlayer2.Player", {{"Volume", 0.5}, {"Rate", 1.0}});
        announce(other, "org.mpris.MediaPlayer2", {{"Metadata", QVariantMap()}});
        announce(other, "org.mpris.MediaPlayer2.Player", {}, {"Metadata"});
        QTRY_COMPARE(reports.size(), 4);
        QTest::qWait(200);
        QCOMPARE(reports.size(), 4);

        // A second player's name, and names outside the players' namespace.
        QVERIFY(other.registerService("org.mpris.MediaPlayer2Other"));
        QVERIFY(other.registerService("org.mpris.MediaPlayer2"));
        QVERIFY(other.registerService("org.mpris.MediaPlayer2.second"));
        QTRY_COMPARE(reports.size(), 5);
        vlc.reset();
        QTRY_COMPARE(reports.size(), 6); // the name left
        QVERIFY(other.unregisterService("org.mpris.MediaPlayer2.second"));
        QTRY_COMPARE(reports.size(), 7);
        QTest::qWait(200);
        QCOMPARE(reports.size(), 7);
        QCOMPARE(unconnectedReports.size(), 0);
    }

    void skipsABlockedArtistAsSoonAsThePlayerAnnouncesIt()
    {
        TempPreferences prefs;
        auto store = prefs.openStore();
        store->addLocal("Night Owls");
        auto vlc = player("vlc");
        vlc->setTrack({"Calm"}, "Still");
        vlc->setPlaybackStatus("Playing");
        StdoutCapture out;
        // No polling was started: the player's announcements are the only reason to check.
        auto delegate = delegateOn(std::make_unique<MprisScriptRunner>(), store, std::make_unique<MprisPlayerEvents>());

        vlc->setPlaybackStatus("Paused");
        vlc->setPlaybackStatus("Playing");
        QTRY_COMPARE(delegate->playbackState().currentArtist, QStringLiteral("Calm"));
        vlc->setTrack({"Night Owls"}, "Hoot");
        QTRY_VERIFY(vlc->nextCalls() >= 1);
        QVERIFY(out.text().startsWith("\xE2\x8F\xAD\xEF\xB8\x8F Skipping blacklisted artist (local): Night Owls on "));

        vlc->setPlaybackStatus("Paused");
        QTRY_COMPARE(delegate->playbackState().currentArtist, QString());
    }

    void aBurstOfAnnouncementsLeadsToOneCheck()
    {
        TempPreferences prefs;
        ScriptedPlayer scripted;
        scripted.play("Calm", "Still");
        auto vlc = player("vlc");
        auto delegate = delegateOn(scripted.engine(), prefs.openStore(), std::make_unique<MprisPlayerEvents>());

        for (int i = 0; i < 10; ++i) {
            vlc->setTrack({"Calm"}, QString::number(i));
        }
        QTRY_COMPARE(scripted.trackQueries(), 1);
        QTest::qWait(1000);
        QCOMPARE(scripted.trackQueries(), 1);
        // Once that check has run, the next announcement is checked again.
        vlc->setPlaybackStatus("Playing");
        QTRY_COMPARE(scripted.trackQueries(), 2);
    }

    void aSilentPlayerIsStillFoundByTheTimer()
    {
        TempPreferences prefs;
        auto store = prefs.openStore();
        store->addLocal("Night Owls");
        auto vlc = player("vlc");
        vlc->setSilent(true);
        vlc->setTrack({"Calm"}, "Still");
        vlc->setPlaybackStatus("Playing");
        StdoutCapture out;
        auto delegate = delegateOn(std::make_unique<MprisScriptRunner>(), store, std::make_unique<MprisPlayerEvents>());
        delegate->startPolling();

        QTRY_COMPARE(delegate->playbackState().currentArtist, QStringLiteral("Calm")); // the check after launch
        vlc->setTrack({"Night Owls"}, "Hoot");
        QTRY_VERIFY_WITH_TIMEOUT(vlc->nextCalls() >= 1, 10000); // the first tick, 5 s after start
    }

    void announcementsDoNothingOnceTheDelegateIsGone()
    {
        TempPreferences prefs;
        ScriptedPlayer scripted;
        scripted.play("Calm", "Still");
        auto vlc = player("vlc");

        // A check waiting for the player to settle is dropped with its delegate.
        auto ownEvents = std::make_unique<PlayerEvents>();
        PlayerEvents* events = ownEvents.get();
        auto delegate = delegateOn(scripted.engine(), prefs.openStore(), std::move(ownEvents));
        emit events->playersChanged();
        delegate.reset();
        QTest::qWait(500);
        QCOMPARE(scripted.trackQueries(), 0);

        // The delegate's listener went with it.
        delegate = delegateOn(scripted.engine(), prefs.openStore(), std::make_unique<MprisPlayerEvents>());
        delegate.reset();
        vlc->setTrack({"Calm"}, "Again");
        vlc->setPlaybackStatus("Playing");
        QTest::qWait(500);
        QCOMPARE(scripted.trackQueries(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMprisPlayerEvents)
#include "tst_MprisPlayerEvents.moc"
