#include "CommunityListReader.h"

namespace {

// The depth beyond which a reply is refused, as Qt's parser refuses it.
constexpr size_t kMaxDepth = 1024;

bool isSpace(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

// A byte of a number or of true, false or null, or of some misspelling of them.
bool isWordByte(char byte)
{
    return (byte >= '0' && byte <= '9') || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z') || byte == '-' ||
           byte == '+' || byte == '.';
}

// A JSON number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool isNumber(QByteArrayView word)
{
    qsizetype at = 0;
    const auto digits = [&] {
        const qsizetype start = at;
        while (at < word.size() && word[at] >= '0' && word[at] <= '9') {
            ++at;
        }
        return at > start;
    };
    at += word.startsWith('-') ? 1 : 0;
    const bool leadingZero = at < word.size() && word[at] == '0';
    const qsizetype integerStart = at;
    if (!digits() || (leadingZero && at - integerStart > 1)) {
        return false;
    }
    if (at < word.size() && word[at] == '.' && (++at, !digits())) {
        return false;
    }
    if (at < word.size() && (word[at] == 'e' || word[at] == 'E')) {
        ++at;
        at += (at < word.size() && (word[at] == '+' || word[at] == '-')) ? 1 : 0;
        if (!digits()) {
            return false;
        }
    }
    return at == word.size();
}

} // namespace

bool CommunityListReader::feed(QByteArrayView piece)
{
    static constexpr char byteOrderMark[] = "\xEF\xBB\xBF";
    for (qsizetype at = 0; at < piece.size(); ++at) {
        if (m_failed) {
            return false;
        }
        if (m_token == Token::String) { // the plain run of a string, taken whole
            const qsizetype start = at;
            while (at < piece.size() && piece[at] != '"' && piece[at] != '\\' && quint8(piece[at]) >= 0x20) {
                ++at;
            }
            m_bytes += piece.sliced(start, at - start);
            if (at == piece.size()) {
                break;
            }
        }
        const char byte = piece[at];
        if (m_markRead < 3) { // a byte order mark may come first
            if (byte == byteOrderMark[m_markRead]) {
                ++m_markRead;
                continue;
            }
            if (m_markRead > 0) {
                return fail();
            }
            m_markRead = 3;
        }
        if (!step(byte)) {
            return fail();
        }
    }
    return true;
}

std::optional<CommunityWireFormat::CommunityList> CommunityListReader::finish()
{
    if (m_failed || m_expect != Expect::Nothing || !m_sawArtists) {
        return std::nullopt;
    }
    return m_names.take();
}

bool CommunityListReader::fail()
{
    m_failed = true;
    m_bytes.clear();
    m_text.clear();
    return false;
}

bool CommunityListReader::step(char byte)
{
    switch (m_token) {
    case Token::String:
        if (byte == '"') {
            return endString();
        }
        if (byte == '\\') {
            m_token = Token::Escape;
            return flushText();
        }
        if (quint8(byte) < 0x20) {
            return false;
        }
        m_bytes += byte;
        return true;
    case Token::Escape: {
        static const char escapes[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
        m_token = Token::String;
        if (byte == 'u') {
            m_token = Token::Unicode;
            m_escape = 0;
            m_escapeDigits = 0;
            return true;
        }
        for (const char* at = escapes; *at; at += 2) {
            if (*at == byte) {
                m_text += QChar(at[1]);
                return true;
            }
        }
        return false;
    }
    case Token::Unicode: {
        const int digit = byte >= '0' && byte <= '9'                     ? byte - '0'
                          : (byte | 0x20) >= 'a' && (byte | 0x20) <= 'f' ? (byte | 0x20) - 'a' + 10
                                                                         : -1;
        if (digit < 0) {
            return false;
        }
        m_escape = char16_t(m_escape * 16 + digit);
        if (++m_escapeDigits == 4) {
            m_text += QChar(m_escape);
            m_token = Token::String;
        }
        return true;
    }
    case Token::Bare:
        if (isWordByte(byte)) {
            m_bytes += byte;
            return true;
        }
        if (!endBare()) {
            return false;
        }
        break;
    case Token::None:
        break;
    }
    if (isSpace(byte)) {
        return true;
    }
    switch (m_expect) {
    case Expect::Value:
        return value(byte);
    case Expect::ValueOrEnd:
        return byte == ']' ? close(byte) : value(byte);
    case Expect::KeyOrEnd:
        if (byte == '}') {
            return close(byte);
        }
        [[fallthrough]];
    case Expect::Key:
        m_inKey = true;
        m_token = Token::String;
        return byte == '"';
    case Expect::Colon:
        m_expect = Expect::Value;
        return byte == ':';
    case Expect::CommaOrEnd:
        if (byte == ',') {
            m_expect = m_open.back() == '{' ? Expect::Key : Expect::Value;
            return true;
        }
        return close(byte);
    case Expect::Nothing:
        break;
    }
    return false;
}

bool CommunityListReader::value(char byte)
{
    if (m_open.empty() && byte != '{') {
        return false; // the reply is an object
    }
    if ((m_inArtists && byte != '"') || (m_nextIsArtists && byte != '[')) {
        return false; // "artists" holds an array, of strings only
    }
    if (byte == '"') {
        m_token = Token::String;
        return true;
    }
    if (byte == '{' || byte == '[') {
        return open(byte);
    }
    m_token = Token::Bare;
    m_bytes += byte;
    return true;
}

bool CommunityListReader::open(char bracket)
{
    if (m_open.size() >= kMaxDepth) {
        return false;
    }
    m_inArtists = m_nextIsArtists;
    m_nextIsArtists = false;
    m_open.push_back(bracket);
    m_expect = bracket == '{' ? Expect::KeyOrEnd : Expect::ValueOrEnd;
    return true;
}

bool CommunityListReader::close(char bracket)
{
    if (m_open.empty() || m_open.back() != (bracket == '}' ? '{' : '[')) {
        return false;
    }
    m_open.pop_back();
    m_inArtists = false; // nothing nests in that array

    return afterValue();
}

bool CommunityListReader::afterValue()
{
    m_expect = m_open.empty() ? Expect::Nothing : Expect::CommaOrEnd;
    return true;
}

bool CommunityListReader::flushText()
{
    m_text += m_utf8.decode(m_bytes);
    m_bytes.resize(0); // keeps its room for the next string
    return !m_utf8.hasError();
}

bool CommunityListReader::endString()
{
    m_token = Token::None;
    if (!flushText()) {
        return false;
    }
    const QString text = std::exchange(m_text, QString());
    if (std::exchange(m_inKey, false)) {
        m_expect = Expect::Colon;
        m_nextIsArtists = m_open.size() == 1 && text == QLatin1String("artists");
        if (m_nextIsArtists && std::exchange(m_sawArtists, true)) {
            return false; // which of two lists would be meant?
        }
        return true;
    }
    if (m_inArtists && !m_names.add(text)) {
        return false;
    }
    return afterValue();
}

bool CommunityListReader::endBare()
{
    m_token = Token::None;
    const QByteArray word = std::exchange(m_bytes, QByteArray());
    if (word != "true" && word != "false" && word != "null" && !isNumber(word)) {
        return false;
    }
    return afterValue();
}
