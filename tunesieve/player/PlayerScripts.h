#pragma once

#include <QString>
#include <optional>
#include <utility>

// The AppleScript texts that the player bridge sends, and how it reads the track query's answer.
// The Linux script engine recognises exactly these texts, so both sides build them here. Each script
// asks first whether its application runs: a script that speaks to an application that does not run
// would launch it, and asking reads the running applications without any permission.
namespace PlayerScripts {

// Separates the artists of a track query's answer that a player lists apart (MPRIS players do). An
// AppleScript answer holds one artist text and never this character.
inline constexpr QChar artistSeparator{0x1E};

// Answers artist, "|||" and title while the application runs and plays, else the empty text.
QString trackQuery(const QString& applicationName);
// The (artist, title) of a track query's answer, both unchanged: exactly one "|||" with text on
// either side, the artist more than separators. Anything else, no answer included, is no track.
std::optional<std::pair<QString, QString>> parseTrackResult(const std::optional<QString>& result);
// Tells the application to go to the next track, if it runs.
QString nextTrack(const QString& applicationName);
// The application that one of these scripts speaks to; empty for any other text.
QString applicationOf(const QString& source);

} // namespace PlayerScripts
