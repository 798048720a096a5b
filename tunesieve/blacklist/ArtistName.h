#pragma once

#include <QString>

// How artist names are compared throughout the agent.
namespace ArtistName {

// Unicode default full lower-casing, no locale and no context rules (İ becomes "i" + U+0307, a
// final Σ becomes σ). No trimming and no other folding.
QString normalized(const QString& name);

// A name as typed, without the spaces (Unicode category Zs) and tabs at either end: a line break
// there stays part of the name.
QString trimmedOfSpaces(const QString& typed);

// The form on which two names are the same entry: their NFC form, so that precomposed and
// decomposed spellings of one name are one entry.
QString equivalenceKey(const QString& name);

// Ascending order by Unicode code point. QString's own operator< compares UTF-16 code units and
// would put U+1F3B5 before U+FF21.
bool codePointLess(const QString& a, const QString& b);

} // namespace ArtistName
