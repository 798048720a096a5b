#pragma once

#include <QString>
#include <QStringList>

// Which artists a track credits, read from the artist and the title that the player reports.
namespace ArtistCredits {

// The reported artist (`artists`, the player's entries, joined with ", "), whole and first (even
// when empty), then each other artist the track credits, once each (names that the lists hold as
// one entry are one credit):
// - each of the player's entries, whole: a band called "Earth, Wind & Fire" is never split;
// - the names after "feat.", "ft." or "featuring" (any case, with or without the dot) in an entry,
//   and those in a "(feat. ...)" or "[feat. ...]" part of an entry or of the title.
// Featured names are split on ", ", and each of them that holds " & " counts whole and as its
// parts ("Simon & Garfunkel", "Simon", "Garfunkel"): outside such a marker "&", "and", "x" and "/"
// belong to names. A lone artist with a plain title yields only itself.
QStringList credits(const QStringList& artists, const QString& title);

} // namespace ArtistCredits
