#pragma once

#include "ArtistSet.h"
#include "platform/PreferencesDomain.h"

#include <optional>

// The names stored under one key of a preferences domain, lower-cased as the store compares them.
// What was read is kept for as long as the domain reports no change under the key, so that a look-up
// costs no parsing; a wrong-typed value reads as empty.
class StoredArtistList
{
public:
    explicit StoredArtistList(QString key) : m_key(std::move(key)) {}

    const QString& key() const { return m_key; }
    const ArtistSet& read(PreferencesDomain& domain) const;
    // Stores `artists` in the order in which lists are kept, and flushes.
    void write(PreferencesDomain& domain, const ArtistSet& artists);
    // Moves the names under the key, once, into the list file at `path` (which they replace), and takes
    // the key out of the domain; a value of another type, which held no names, is taken out too. A
    // file that cannot be written leaves the names where they are, to be moved at the next start.
    void moveToFile(PreferencesDomain& domain, const QString& path) const;
    // The same for names already lower-cased and in that order (`sorted` is `artists.sorted()`):
    // nothing is left to do on the main thread but storing them.
    void write(PreferencesDomain& domain, const QStringList& sorted, const ArtistSet& artists);

private:
    QString m_key;
    mutable std::optional<quint64> m_revision;
    mutable ArtistSet m_names;
};
