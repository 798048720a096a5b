#pragma once

#include <QString>
#include <QStringList>

// Which artists a track credits, read from the artist and the title that the player reports.
namespace ArtistCredits {

// The reported artist, whole and first (even when empty), then each other artist the track
// credits, once each (names that the lists hold as one entry are one credit):
// - the names that the artist text separates with ", ", which is how several artists that a
//   player lists apart are reported;
// - the names after "feat.", "ft." or "featuring" (any case, with or without the dot) in the
//   artist text, and those in a "(feat. ...)" or "[feat. ...]" part of the title.
// Only featured names are split on " & " as well: outside such a marker "&", "and", "x" and "/"
// belong to names ("Simon & Garfunkel"). A lone artist with a plain title yields only itself.
QStringList credits(const QString& artist, const QString& title);

} // namespace ArtistCredits
