#pragma once

#include "ArtistSet.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The community service's wire formats: the flag request body and what the replies mean. Pure
// functions of their inputs (no network, no store), callable from any thread.
namespace CommunityWireFormat {

// The flag request body: a compact JSON object with "artist", exactly as given, and "device_id".
// Nothing when either text is not valid Unicode (a lone surrogate), since it could not be sent as
// it is.
std::optional<QByteArray> flagBody(const QString& artist, const QString& deviceId);

struct CommunityList
{
    // The received names, lower-cased as the store keeps them; duplicates collapsed.
    ArtistSet artists;
    // How many names the reply held, duplicates and letter-case variants included.
    int count = 0;
};

// The most names a list reply may hold, and the longest name in characters (code points). The real
// list holds about 90 000 short names; a reply beyond either is refused, so that a hostile one cannot
// freeze the agent or swell every later save.
constexpr qsizetype maxListNames = 1000000;
constexpr qsizetype maxNameLength = 1000;

// A list reply: an object whose "artists" member is an array made only of strings. The status code
// is not examined. Nothing when any part of the body has another shape, including a name that is
// not valid Unicode, more than maxListNames names or a name longer than maxNameLength.
std::optional<CommunityList> readList(const QByteArray& body);

// A flag reply: the service's verdict, the boolean "success" of an object answered with status
// 200. Any other status or shape is false.
bool readFlagVerdict(int statusCode, const QByteArray& body);

} // namespace CommunityWireFormat
