#include "MpvPlayer.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString pluginPath()
{
    for (const char* candidate : {"/usr/lib/mpv-mpris/mpris.so", "/etc/mpv/scripts/mpris.so"}) {
        if (QFileInfo::exists(QString::fromUtf8(candidate))) {
            return QString::fromUtf8(candidate);
        }
    }
    return {};
}

bool encode(const QString& path, const MpvPlayer::Track& track, int frequency)
{
    QProcess ffmpeg;
    ffmpeg.start(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                  QStringLiteral("-i"), QStringLiteral("sine=frequency=%1:duration=1:sample_rate=8000").arg(frequency),
                  QStringLiteral("-metadata"), QStringLiteral("artist=") + track.artist, QStringLiteral("-metadata"),
                  QStringLiteral("title=") + track.title, path});
    return ffmpeg.waitForFinished(30000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

} // namespace

QString MpvPlayer::missingReason()
{
    if (QStandardPaths::findExecutable(QStringLiteral("mpv")).isEmpty()) {
        return QStringLiteral("mpv is not installed (scripts/setup installs it)");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) {
        return QStringLiteral("ffmpeg is not installed (scripts/setup installs it)");
    }
    if (pluginPath().isEmpty()) {
        return QStringLiteral("the mpv-mpris plugin is not installed (scripts/setup installs it)");
    }
    return {};
}

MpvPlayer::MpvPlayer(const QList<Track>& tracks, int firstTrack)
{
    QStringList arguments = {QStringLiteral("--no-config"),
                             QStringLiteral("--script=") + pluginPath(),
                             QStringLiteral("--ao=null"),
                             QStringLiteral("--no-video"),
                             QStringLiteral("--idle=no"),
                             QStringLiteral("--loop-file=inf"),
                             QStringLiteral("--quiet"),
                             QStringLiteral("--msg-level=all=error"),
                             QStringLiteral("--loop-playlist=inf"),
                             QStringLiteral("--playlist-start=%1").arg(firstTrack)};
    for (int i = 0; i < tracks.size(); ++i) {
        arguments.append(m_folder.filePath(QStringLiteral("track%1.flac").arg(i)));
        if (!encode(arguments.last(), tracks[i], 300 + 100 * i)) {
            return;
        }
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(QStandardPaths::findExecutable(QStringLiteral("mpv")), arguments);
    m_process.waitForStarted(10000);
}

MpvPlayer::~MpvPlayer()
{
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
