#pragma once

#include "ArtistKeys.h"

#include <QFile>
#include <QString>
#include <memory>
#include <optional>
#include <sys/stat.h>

// One downloaded list in a file of its own, mapped into memory and looked up in place, never parsed:
// a million names cost a start nothing and a look-up some twenty comparisons.
//
// The file holds a header (the magic "TSNAMES1", the number of names, the number of name bytes and a
// checksum of what follows it), the names' count + 1 offsets (32-bit, this machine's byte order) and
// then the names themselves as ArtistKeys keeps them, sorted. It is only ever replaced whole: written
// beside and renamed over the old one, so that a mapped copy stays valid. Each look-up first checks
// whether the file at the path is still the one mapped, and maps the new one when it is not, so that a
// list another program (or another thread) put in its place is seen at once. A file that is missing
// reads as an empty list; one truncated, corrupt or not of this format reads as empty too, and is
// said once on standard error.
//
// Used on one thread; the static members on any.
class ArtistListFile
{
public:
    // A list file mapped and checked, as it was when mapped; shared between threads as it is.
    struct Snapshot;

    explicit ArtistListFile(QString path);
    ~ArtistListFile();
    ArtistListFile(ArtistListFile&&) noexcept;
    ArtistListFile& operator=(ArtistListFile&&) noexcept;

    const QString& path() const { return m_path; }
    // Whether the list holds `lowerCasedName`.
    bool contains(const QString& lowerCasedName) const { return names().contains(ArtistKeys::keyOf(lowerCasedName)); }
    // The names in the file as it now stands.
    SortedKeysView names() const;
    // A number that changes whenever the file is seen to be another one.
    quint64 revision() const;
    // The checksum in the header of the file as it now stands, which tells one copy of a list from
    // another; none when there is no copy, or no valid one.
    std::optional<quint64> checksum() const;
    // Takes `snapshot`, a file just written at this path and mapped on another thread, so that this one
    // never checks a large file. (Should the file change again, the next look-up maps it anew.)
    void adopt(std::shared_ptr<const Snapshot> snapshot) const;

    // Replaces the file at `path` with `keys` (sorted), creating its folder. False, said on standard
    // error, when it cannot be written; the file from before is then left as it was.
    static bool write(const QString& path, const ArtistKeys& keys);
    // The same, and maps the new file for adopt(); nothing when it cannot be written.
    static std::shared_ptr<const Snapshot> writeAndMap(const QString& path, const ArtistKeys& keys);
    // The checksum of the copy that `snapshot` holds, as checksum() tells it.
    static quint64 checksumOf(const Snapshot& snapshot);
    static void remove(const QString& path) { QFile::remove(path); }

private:
    struct Identity
    {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        qint64 modifiedNs = 0;
        bool operator==(const Identity& other) const;
    };
    static Identity identityOf(const QByteArray& encodedPath);
    // Maps the file anew when it is not the one mapped.
    void refresh() const;
    // The file at `path`, as it is at `identity`, mapped and checked whole; nothing, said on standard
    // error, when it is no list.
    static std::shared_ptr<const Snapshot> map(const QString& path, const Identity& identity);

    QString m_path;
    QByteArray m_encodedPath;
    mutable std::shared_ptr<const Snapshot> m_mapping;
    mutable Identity m_identity;
    mutable quint64 m_revision = 0;
};
