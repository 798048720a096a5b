#pragma once

#include "BlockedSongs.h"
#include "CommunityListReader.h"
#include "CommunityWireFormat.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The formats in which people publish lists of artists, recognised from the content alone (never
// from a Content-Type, which hosts of raw files get wrong). Pure functions, callable from any thread.
//
// - the community service's object, {"artists": [...]};
// - a JSON array of strings, or of objects whose "name" (else "artist") member holds the name;
// - CSV (RFC 4180) whose header row names an "artist" or "name" column, any letter case; the other
//   columns are ignored, the values trimmed of white space. A first line with a comma is taken as such
//   a header. A header of that one title heads a list of whole lines, commas and all; a line that
//   starts with a double quote is one CSV field, which may hold line breaks;
// - plain text, one name per line (lines end in LF, CRLF or CR), blank lines and lines starting with
//   "#" left out, each line trimmed of white space; text that starts with "<" is a web page, not a list.
// A UTF-8 byte order mark before any of them is allowed. Every format keeps the community list's
// caps (CommunityWireFormat::ListCollector).
namespace ArtistListFormats {

struct Reading
{
    // The names lower-cased and sorted, and how many the list held; empty when the list is refused.
    CommunityWireFormat::CommunityList list;
    // Why the list was refused, for a person to read; empty when it was taken. An empty list is
    // refused too: a published list that suddenly comes back empty is far more likely broken than
    // emptied, and the copy from before keeps blocking.
    QString error;
    // The CSV rows that hold something, but no name in the name column.
    qsizetype unreadLines = 0;
    // Of a CSV list with a "title" column too: each row with a title, as (artist, title), a quoted
    // field whole.
    QList<BlockedSong> songs;
};

// Lets go of `body` once it is parsed or decoded, before the names are gathered: a body, its document
// and its names are never all held at once.
Reading read(QByteArray body);

// Reads a list as it arrives: the community service's object piece by piece (CommunityListReader), never
// held whole; the other formats, which are read as a whole text, gathered and read by read() at the end.
// Says what read() says of a list it refuses.
class Reader
{
public:
    void feed(QByteArrayView piece);
    Reading finish();

private:
    QByteArray m_gathered;
    // Once the body shows that it is another format.
    bool m_gatheredWhole = false;
    // Once the body shows that it is the community service's object.
    std::optional<CommunityListReader> m_streamed;
};

// CSV (RFC 4180, CRLF line ends) under the `header` row, one row a record: a field is put in double
// quotes when it needs them to be read back whole by read(), as under a lone title.
QByteArray csv(const QStringList& header, const QList<QStringList>& rows);

} // namespace ArtistListFormats
