#pragma once

#include "platform/PreferencesDomain.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// One song blocked by name: its artist and title, lower-cased as the store keeps names.
struct BlockedSong
{
    QString artist;
    QString title;

    // "Artist - Title", as the Blacklist window lists it.
    QString shown() const { return artist + QStringLiteral(" - ") + title; }
};

// What adding names or songs to a list does: how many are new to it, and how many it held already.
struct ListMerge
{
    qsizetype added = 0;
    qsizetype alreadyListed = 0;
};

// The songs blocked by name, under one key of a preferences domain: an array of strings, each the compact
// JSON text of {"artist": ..., "title": ...}, both lower-cased, in code-point order of artist, then title.
// Artist and title are compared as names are (ArtistName): lower-cased, whole, equivalent spellings one.
// What was read is kept for as long as the domain reports no change under the key.
class BlockedSongs
{
public:
    explicit BlockedSongs(QString key) : m_key(std::move(key)) {}

    const QList<BlockedSong>& read(PreferencesDomain& domain) const;
    // The first of `credits` (a track's credited artists) under which `title` is blocked, or none.
    std::optional<QString> firstBlocked(PreferencesDomain& domain, const QStringList& credits,
                                        const QString& title) const;
    // Whether any song of any of `credits` is blocked.
    bool holdsSongsBy(PreferencesDomain& domain, const QStringList& credits) const;
    // What add() would do with `songs`, each counted once.
    ListMerge merge(PreferencesDomain& domain, const QList<BlockedSong>& songs) const;
    // Blocks the songs not blocked yet; writes only when that changes the list.
    void add(PreferencesDomain& domain, const QList<BlockedSong>& songs);
    void remove(PreferencesDomain& domain, const QString& artist, const QString& title);

private:
    static QString songKey(const QString& artist, const QString& title);
    void write(PreferencesDomain& domain, QList<BlockedSong> songs);

    QString m_key;
    mutable std::optional<quint64> m_revision;
    mutable QList<BlockedSong> m_songs;
    mutable QSet<QString> m_songKeys;
    mutable QSet<QString> m_artistKeys;
};
