#pragma once

#include <QString>
#include <optional>
#include <utility>

// The AppleScript texts that the player bridge sends, and how it reads the track query's answer.
// The Linux script engine recognises exactly these texts, so both sides build them here.
namespace PlayerScripts {

// Separates the artists of a track query's answer that a player lists apart (MPRIS players do). An
// AppleScript answer holds one artist text and never this character.
inline constexpr QChar artistSeparator{0x1E};

// Answers "true" when System Events sees a process named `processName`.
QString processCheck(const QString& processName);
// Whether `source` is a process check.
bool isProcessCheck(const QString& source);
// Answers artist, "|||" and title while the application plays, else the empty text.
QString trackQuery(const QString& applicationName);
// The (artist, title) of a track query's answer, both unchanged: exactly one "|||" with text on
// either side, the artist more than separators. Anything else, no answer included, is no track.
std::optional<std::pair<QString, QString>> parseTrackResult(const std::optional<QString>& result);
// Tells the application to go to the next track.
QString nextTrack(const QString& applicationName);

} // namespace PlayerScripts
