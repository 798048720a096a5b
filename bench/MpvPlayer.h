#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real MPRIS player: mpv with the mpv-mpris plugin, on the session bus of the process (start a
// PrivateBus first). It plays one-second tagged files generated with ffmpeg, each in a loop, so
// that only a skip moves it on to the next one; a skip past the last starts over at the first.
class MpvPlayer
{
public:
    struct Track
    {
        QString artist;
        QString title;
    };

    // Why mpv cannot run here (mpv, ffmpeg or the plugin missing), or the empty text.
    static QString missingReason();

    // Starts with the track at index `firstTrack`.
    explicit MpvPlayer(const QList<Track>& tracks, int firstTrack = 0);
    ~MpvPlayer();
    MpvPlayer(const MpvPlayer&) = delete;
    MpvPlayer& operator=(const MpvPlayer&) = delete;

    // False when the files could not be made or mpv could not be started.
    bool isRunning() const { return m_process.state() == QProcess::Running; }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
};
