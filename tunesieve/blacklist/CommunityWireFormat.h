#pragma once

#include "ArtistKeys.h"

#include <QByteArray>
#include <QJsonArray>
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
    // The received names, lower-cased as the store keeps them, sorted, duplicates collapsed.
    ArtistKeys names;
    // How many names the reply held, duplicates and letter-case variants included.
    int count = 0;
};

// The most names a list reply may hold, and the longest name in characters (code points). The real
// list holds about 90 000 short names; a reply beyond either is refused, so that a hostile one cannot
// freeze the agent or swell every later save.
constexpr qsizetype maxListNames = 1000000;
constexpr qsizetype maxNameLength = 1000;

// Which cap a list broke.
enum class CapFault
{
    none,
    tooManyNames,
    nameTooLong,
    invalidText
};

// Takes a list's names one at a time within the caps above, lower-cased as the store keeps them.
// Every list the agent downloads goes through one of these, so that all keep the same caps.
class ListCollector
{
public:
    // False, and nothing more taken, once `count` names would break the cap on their number.
    bool acceptsCount(qsizetype count);
    // False, and nothing more taken, once a name breaks a cap. A name that is not valid Unicode (a
    // lone surrogate) breaks one too: it could not be stored or matched faithfully.
    bool add(const QString& name);
    CapFault fault() const { return m_fault; }
    qsizetype count() const { return m_list.count; }
    // The names taken, sorted; the collector is left empty.
    CommunityList take();

private:
    bool refuse(CapFault fault);

    CommunityList m_list;
    CapFault m_fault = CapFault::none;
};

// Gives `collector` every name of `names`, an array that must hold only strings. False when it holds
// anything else or breaks a cap (the collector's fault then says which).
bool collectNames(const QJsonArray& names, ListCollector& collector);

// A list reply, read whole: an object whose "artists" member is an array made only of strings. The
// status code is not examined. (CommunityListReader reads one as it arrives.) Nothing when any part of the body has
// another shape, including a name that is not valid Unicode, more than maxListNames names or a name longer than
// maxNameLength.
std::optional<CommunityList> readList(const QByteArray& body);

// A flag reply: the service's verdict, the boolean "success" of an object answered with status
// 200. Any other status or shape is false.
bool readFlagVerdict(int statusCode, const QByteArray& body);

} // namespace CommunityWireFormat
