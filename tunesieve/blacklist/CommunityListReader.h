#pragma once

#include "CommunityWireFormat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <optional>
#include <vector>

// Reads a community list reply as it arrives, piece by piece, into a ListCollector: no body, no
// document and no list of strings is ever held whole, so that a list of a million names costs little
// more than the names themselves. Takes what CommunityWireFormat::readList takes: a JSON object (a
// byte order mark before it allowed) whose "artists" member, once only, is an array made only of
// strings, within the caps; the other members may hold any JSON. Everything else is refused, as soon
// as it shows.
class CommunityListReader
{
public:
    // False, and nothing more read, once the body cannot be such a list.
    bool feed(QByteArrayView piece);
    // The list, once the whole body has been fed; nothing when it is not a whole list.
    std::optional<CommunityWireFormat::CommunityList> finish();
    // Which cap the list broke, if that is why it was refused.
    CommunityWireFormat::CapFault fault() const { return m_names.fault(); }

private:
    enum class Expect
    {
        Value,
        KeyOrEnd,
        Key,
        Colon,
        CommaOrEnd,
        ValueOrEnd,
        Nothing // after the whole document
    };
    enum class Token
    {
        None,
        String,
        Escape,
        Unicode,
        Bare // a number or true, false, null
    };

    bool step(char byte);
    bool value(char byte);
    bool open(char bracket);
    bool close(char bracket);
    bool endString();
    bool endBare();
    bool afterValue();
    bool fail();
    // Decodes the UTF-8 bytes gathered so far into the string being read.
    bool flushText();

    CommunityWireFormat::ListCollector m_names;
    std::vector<char> m_open; // the brackets not yet closed
    Expect m_expect = Expect::Value;
    Token m_token = Token::None;
    QByteArray m_bytes;    // of the string or bare word being read
    QString m_text;        // the string being read, up to its last escape
    char16_t m_escape = 0; // the \u escape being read
    int m_escapeDigits = 0;
    bool m_inKey = false;
    bool m_nextIsArtists = false; // the member being read is the top object's "artists"
    bool m_inArtists = false;     // the innermost array is the "artists" one
    bool m_sawArtists = false;
    bool m_failed = false;
    int m_markRead = 0; // bytes of a byte order mark read, 3 once past it
    QStringDecoder m_utf8{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
};
