// The player of the soak run (bench/soak.sh): an MPRIS player named "spotify" on a private session
// bus of its own, whose address is its first line of output. It changes track every 2 s, and at once
// when told Next(); every third track is by a blocked artist, in changing letter case. Once a second
// it replaces STATUS_FILE with its figures (JSON): the tracks, which blocked ones the agent read and
// skipped, and which others it skipped. It ends on SIGTERM or SIGINT.
//   soak_player STATUS_FILE BLOCKED_ARTIST...

#include "support/TestMprisPlayer.h"

#include <QCoreApplication>
#include <QHash>
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
        // A blocked track counts as expected to be skipped once the agent has read it; the one that
        // plays may still be waiting for its skip.
        int blockedRead = 0;
        int blockedSkipped = 0;
        int missed = 0;
        int othersSkipped = 0;
        // Each call the player received, as method and title, with how often.
        QHash<QString, int> calls;
        for (const QString& call : m_player.calls()) {
            ++calls[call];
        }
        for (qsizetype n = 0; n < m_tracks.size(); ++n) {
            const auto& [title, blocked] = m_tracks[n];
            const int skips = calls.value(QStringLiteral("Next ") + title);
            if (!blocked) {
                othersSkipped += skips;
                continue;
            }
            const bool read = calls.contains(QStringLiteral("GetAll ") + title);
            blockedRead += read;
            blockedSkipped += skips > 0;
            missed += read && skips == 0 && n + 1 < m_tracks.size();
        }
        const QJsonObject status{{QStringLiteral("tracks"), m_tracks.size()},
                                 {QStringLiteral("blockedTracks"), m_blockedTracks},
                                 {QStringLiteral("blockedTracksRead"), blockedRead},
                                 {QStringLiteral("blockedTracksSkipped"), blockedSkipped},
                                 {QStringLiteral("blockedTracksMissed"), missed},
                                 {QStringLiteral("otherTracksSkipped"), othersSkipped},
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
        const qsizetype number = m_tracks.size() + 1;
        const QString title = QStringLiteral("Track %1").arg(number);
        const bool blocked = number % 3 == 0;
        m_tracks.append({title, blocked});
        if (!blocked) {
            m_player.setTrack({QStringLiteral("Artist %1").arg(number)}, title);
            return;
        }
        ++m_blockedTracks;
        const QString artist = m_blockedArtists.at(m_blockedTracks % m_blockedArtists.size());
        m_player.setTrack({m_blockedTracks % 2 ? artist.toUpper() : artist}, title);
    }

    TestMprisPlayer m_player;
    QString m_statusPath;
    QStringList m_blockedArtists;
    QTimer m_trackTimer;
    // Every track so far: its title and whether its artist is blocked.
    QList<std::pair<QString, bool>> m_tracks;
    int m_blockedTracks = 0;
    int m_nextCalls = 0;
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
    std::printf("%s\n", qgetenv("DBUS_SESSION_BUS_ADDRESS").constData());
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
