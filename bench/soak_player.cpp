// The player of the soak run (bench/soak.sh): an MPRIS player named "spotify" on a private session
// bus of its own, whose address is its first line of output. It changes track every 2 s, and at once
// when told Next(); every third track is by a blocked artist, in changing letter case. Once a second
// it replaces STATUS_FILE with its figures (JSON). It ends on SIGTERM or SIGINT.
//   soak_player STATUS_FILE BLOCKED_ARTIST...

#include "support/PrivateBus.h"
#include "support/TestMprisPlayer.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

constexpr int trackMs = 2000;

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

class SoakPlayer
{
public:
    SoakPlayer(const PrivateBus& bus, QString statusPath, QStringList blockedArtists)
        : m_player(bus, QStringLiteral("spotify"), QStringLiteral("Spotify")), m_statusPath(std::move(statusPath)),
          m_blockedArtists(std::move(blockedArtists))
    {
        m_player.setPlaybackStatus(QStringLiteral("Playing"));
        nextTrack();
        m_trackTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_trackTimer, &QTimer::timeout, [this] { nextTrack(); });
        m_trackTimer.start(trackMs);
    }

    bool isRegistered() const { return m_player.isRegistered(); }

    // Called often: a Next() moves on at once, like a real player.
    void followNextCalls()
    {
        const int calls = m_player.nextCalls();
        if (calls != m_nextCalls) {
            m_nextCalls = calls;
            nextTrack();
            m_trackTimer.start(trackMs);
        }
    }

    void writeStatus()
    {
        // A blocked track counts as expected to be skipped once the agent has read it.
        for (auto title = m_unreadBlockedTitles.begin(); title != m_unreadBlockedTitles.end();) {
            if (m_player.metadataReads(*title) > 0) {
                ++m_blockedTracksRead;
                title = m_unreadBlockedTitles.erase(title);
            } else {
                ++title;
            }
        }
        const QJsonObject status{{QStringLiteral("tracks"), m_tracks},
                                 {QStringLiteral("blockedTracks"), m_blockedTracks},
                                 {QStringLiteral("blockedTracksRead"), m_blockedTracksRead},
                                 {QStringLiteral("nextCalls"), m_nextCalls}};
        QSaveFile file(m_statusPath);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QJsonDocument(status).toJson(QJsonDocument::Compact));
            file.commit();
        }
    }

private:
    void nextTrack()
    {
        ++m_tracks;
        const QString title = QStringLiteral("Track %1").arg(m_tracks);
        if (m_tracks % 3 != 0 || m_blockedArtists.isEmpty()) {
            m_player.setTrack({QStringLiteral("Artist %1").arg(m_tracks)}, title);
            return;
        }
        ++m_blockedTracks;
        const QString artist = m_blockedArtists.at(m_blockedTracks % m_blockedArtists.size());
        m_player.setTrack({m_blockedTracks % 2 ? artist.toUpper() : artist}, title);
        m_unreadBlockedTitles.append(title);
    }

    TestMprisPlayer m_player;
    QString m_statusPath;
    QStringList m_blockedArtists;
    QTimer m_trackTimer;
    int m_tracks = 0;
    int m_blockedTracks = 0;
    int m_blockedTracksRead = 0;
    int m_nextCalls = 0;
    QStringList m_unreadBlockedTitles;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: soak_player STATUS_FILE BLOCKED_ARTIST...\n");
        return 2;
    }
    const QString statusPath = arguments.takeFirst();

    PrivateBus bus;
    if (!bus.isRunning()) {
        return 1;
    }
    SoakPlayer player(bus, statusPath, arguments);
    if (!player.isRegistered()) {
        std::fprintf(stderr, "soak_player: cannot take the player's bus name\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(bus.address()));
    std::fflush(stdout);

    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        player.followNextCalls();
        if (stopRequested) {
            app.quit();
        }
    });
    watch.start(20);
    QTimer status;
    QObject::connect(&status, &QTimer::timeout, [&] { player.writeStatus(); });
    status.start(1000);

    const int result = app.exec();
    player.writeStatus();
    return result;
}
