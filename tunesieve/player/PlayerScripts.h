#pragma once

#include <QString>

// The AppleScript texts that the player bridge sends. The Linux script engine recognises exactly
// these texts, so both sides build them here.
namespace PlayerScripts {

// Answers "true" when System Events sees a process named `processName`.
QString processCheck(const QString& processName);
// Answers artist, "|||" and title while the application plays, else the empty text.
QString trackQuery(const QString& applicationName);
// Tells the application to go to the next track.
QString nextTrack(const QString& applicationName);

} // namespace PlayerScripts
