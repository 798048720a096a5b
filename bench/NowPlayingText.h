#pragma once

#include "player/MusicController.h"

// A found track as one comparable text, "Spotify: artist|||title", or "no track".
inline QString describe(const std::optional<NowPlaying>& track)
{
    if (!track) {
        return QStringLiteral("no track");
    }
    return MusicController::rawValue(track->app) + QStringLiteral(": ") + track->artist + QStringLiteral("|||") +
           track->track;
}
