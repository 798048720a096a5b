#include "BlockedSongs.h"

#include "ArtistName.h"
#include "StoredRecords.h"

#include <QJsonObject>
#include <algorithm>

namespace {

// Joins an artist's key and a title's key; players put no such character in names.
constexpr QChar kSongKeySeparator = QChar(0x1F);

QString nameKey(const QString& name)
{
    return ArtistName::equivalenceKey(ArtistName::normalized(name));
}

QJsonObject encodedSong(const BlockedSong& song)
{
    return {{"artist", song.artist}, {"title", song.title}};
}

std::optional<BlockedSong> decodedSong(const QJsonObject& object)
{
    if (!object.value(QLatin1String("artist")).isString() || !object.value(QLatin1String("title")).isString()) {
        return std::nullopt;
    }
    return BlockedSong{ArtistName::normalized(object["artist"].toString()),
                       ArtistName::normalized(object["title"].toString())};
}

} // namespace

QString BlockedSongs::songKey(const QString& artist, const QString& title)
{
    return nameKey(artist) + kSongKeySeparator + nameKey(title);
}

const QList<BlockedSong>& BlockedSongs::read(PreferencesDomain& domain) const
{
    const quint64 revision = domain.revision(m_key);
    if (m_revision == revision) {
        return m_songs;
    }
    m_songs.clear();
    m_songKeys.clear();
    m_artistKeys.clear();
    for (const BlockedSong& song : StoredRecords::read<BlockedSong>(domain, m_key, decodedSong)) {
        if (!m_songKeys.contains(songKey(song.artist, song.title))) {
            m_songKeys.insert(songKey(song.artist, song.title));
            m_artistKeys.insert(nameKey(song.artist));
            m_songs.append(song);
        }
    }
    m_revision = revision;
    return m_songs;
}

std::optional<QString> BlockedSongs::firstBlocked(PreferencesDomain& domain, const QStringList& credits,
                                                  const QString& title) const
{
    read(domain);
    for (const QString& credit : credits) {
        if (m_songKeys.contains(songKey(credit, title))) {
            return credit;
        }
    }
    return std::nullopt;
}

bool BlockedSongs::holdsSongsBy(PreferencesDomain& domain, const QStringList& credits) const
{
    read(domain);
    return std::any_of(credits.cbegin(), credits.cend(),
                       [this](const QString& credit) { return m_artistKeys.contains(nameKey(credit)); });
}

ListMerge BlockedSongs::merge(PreferencesDomain& domain, const QList<BlockedSong>& songs) const
{
    read(domain);
    QSet<QString> counted;
    ListMerge merge;
    for (const BlockedSong& song : songs) {
        const QString key = songKey(song.artist, song.title);
        if (!counted.contains(key)) {
            counted.insert(key);
            ++(m_songKeys.contains(key) ? merge.alreadyListed : merge.added);
        }
    }
    return merge;
}

void BlockedSongs::add(PreferencesDomain& domain, const QList<BlockedSong>& songs)
{
    QList<BlockedSong> blocked = read(domain);
    QSet<QString> keys = m_songKeys;
    for (const BlockedSong& song : songs) {
        if (!keys.contains(songKey(song.artist, song.title))) {
            keys.insert(songKey(song.artist, song.title));
            blocked.append({ArtistName::normalized(song.artist), ArtistName::normalized(song.title)});
        }
    }
    if (blocked.size() != m_songs.size()) {
        write(domain, std::move(blocked));
    }
}

void BlockedSongs::remove(PreferencesDomain& domain, const QString& artist, const QString& title)
{
    QList<BlockedSong> songs = read(domain);
    const QString key = songKey(artist, title);
    if (songs.removeIf([&key](const BlockedSong& song) { return songKey(song.artist, song.title) == key; }) > 0) {
        write(domain, std::move(songs));
    }
}

void BlockedSongs::write(PreferencesDomain& domain, QList<BlockedSong> songs)
{
    std::sort(songs.begin(), songs.end(), [](const BlockedSong& a, const BlockedSong& b) {
        return a.artist != b.artist ? ArtistName::codePointLess(a.artist, b.artist)
                                    : ArtistName::codePointLess(a.title, b.title);
    });
    StoredRecords::write(domain, m_key, songs, encodedSong);
}
