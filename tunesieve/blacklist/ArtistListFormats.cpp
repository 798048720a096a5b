#include "ArtistListFormats.h"

#include "platform/JsonText.h"

#include <QJsonObject>
#include <QStringDecoder>

namespace ArtistListFormats {

namespace {

using CommunityWireFormat::CapFault;
using CommunityWireFormat::ListCollector;

const QString kUnreadable = QStringLiteral("not a list TuneSieve can read");

QString capError(CapFault fault)
{
    switch (fault) {
    case CapFault::tooManyNames:
        return QStringLiteral("more than %1 names").arg(CommunityWireFormat::maxListNames);
    case CapFault::nameTooLong:
        return QStringLiteral("a name longer than %1 characters").arg(CommunityWireFormat::maxNameLength);
    case CapFault::invalidText:
        return QStringLiteral("a name that is not valid text");
    case CapFault::none:
        break;
    }
    return kUnreadable;
}

// An array of strings, or of objects that each name an artist.
bool collectArray(const QJsonArray& array, ListCollector& names)
{
    if (array.isEmpty() || !array.first().isObject()) {
        return CommunityWireFormat::collectNames(array, names);
    }
    if (!names.acceptsCount(array.size())) {
        return false;
    }
    for (const QJsonValue& entry : array) {
        const QJsonObject object = entry.toObject();
        const QJsonValue name =
            object.value(object.contains(QLatin1String("name")) ? QLatin1String("name") : QLatin1String("artist"));
        if (!name.isString() || !names.add(name.toString())) {
            return false;
        }
    }
    return true;
}

bool collectJson(QByteArray body, ListCollector& names)
{
    QJsonParseError error;
    const QJsonDocument document = JsonText::parse(body, &error);
    body = QByteArray();
    if (error.error != QJsonParseError::NoError) {
        return false;
    }
    if (document.isArray()) {
        return collectArray(document.array(), names);
    }
    const QJsonValue artists = document.object().value(QLatin1String("artists"));
    return artists.isArray() && CommunityWireFormat::collectNames(artists.toArray(), names);
}

// RFC 4180 records, one at a time: fields split by commas, records by CRLF or LF; a field in double
// quotes may hold commas, line breaks and doubled quotes.
class CsvRecords
{
public:
    explicit CsvRecords(QStringView text) : m_text(text) {}

    // False at the end of the text, or once a quote is left open or followed by anything but a
    // comma or a line end (then broken() says so).
    bool next(QStringList& fields)
    {
        fields.clear();
        if (m_broken || m_at >= m_text.size()) {
            return false;
        }
        for (;;) {
            if (m_at < m_text.size() && m_text[m_at] == u'"') {
                if (!readQuoted(fields)) {
                    return fail();
                }
            } else {
                readPlain(fields);
            }
            if (m_at >= m_text.size()) {
                return true;
            }
            const QChar after = m_text[m_at++];
            if (after == u',') {
                continue;
            }
            if (after == u'\r' && m_at < m_text.size() && m_text[m_at] == u'\n') {
                ++m_at;
            }
            return after == u'\r' || after == u'\n' || fail();
        }
    }

    bool broken() const { return m_broken; }
    // Where the next record starts.
    qsizetype position() const { return m_at; }

private:
    bool fail()
    {
        m_broken = true;
        return false;
    }

    void readPlain(QStringList& fields)
    {
        const qsizetype start = m_at;
        while (m_at < m_text.size() && m_text[m_at] != u',' && m_text[m_at] != u'\n' && m_text[m_at] != u'\r') {
            ++m_at;
        }
        fields.append(m_text.mid(start, m_at - start).trimmed().toString()); // a quoted field is kept whole
    }

    bool readQuoted(QStringList& fields)
    {
        QString field;
        for (++m_at; m_at < m_text.size(); ++m_at) {
            if (m_text[m_at] != u'"') {
                field += m_text[m_at];
            } else if (m_at + 1 < m_text.size() && m_text[m_at + 1] == u'"') {
                field += m_text[++m_at];
            } else {
                ++m_at;
                fields.append(field);
                return true;
            }
        }
        return false; // the text ends inside the quotes
    }

    QStringView m_text;
    qsizetype m_at = 0;
    bool m_broken = false;
};

qsizetype columnTitled(const QStringList& header, std::initializer_list<const char*> titles)
{
    for (const char* title : titles) {
        for (qsizetype column = 0; column < header.size(); ++column) {
            if (header[column].trimmed().compare(QLatin1String(title), Qt::CaseInsensitive) == 0) {
                return column;
            }
        }
    }
    return -1;
}

// One name a line, the lines ending in LF, CRLF or CR alone (old Macs). With `unquote`, a line wrapped
// in double quotes is read as one CSV field would be.
void collectLines(QStringView text, ListCollector& names, bool unquote = false)
{
    for (QStringView lfLine : text.tokenize(u'\n')) {
        for (QStringView line : lfLine.tokenize(u'\r')) {
            line = line.trimmed();
            if (line.isEmpty() || line.startsWith(u'#')) {
                continue;
            }
            const bool quoted = unquote && line.size() > 1 && line.startsWith(u'"') && line.endsWith(u'"');
            if (!names.add(quoted ? line.sliced(1, line.size() - 2)
                                        .toString()
                                        .replace(QStringLiteral("\"\""), QStringLiteral("\""))
                                  : line.toString())) {
                return;
            }
        }
    }
}

// The lines under a lone title: each line a name whole, but a line that starts with a double quote
// and holds one CSV field, which may span lines.
void collectTitledLines(QStringView text, ListCollector& names)
{
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype start = at;
        while (start < text.size() && (text[start] == u' ' || text[start] == u'\t')) {
            ++start;
        }
        QStringList fields;
        CsvRecords field(text.sliced(start));
        if (start < text.size() && text[start] == u'"' && field.next(fields) && fields.size() == 1) {
            if (!names.add(fields.first())) {
                return;
            }
            at = start + field.position();
            continue;
        }
        qsizetype end = at;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r') {
            ++end;
        }
        collectLines(text.sliced(at, end - at), names, true);
        if (names.fault() != CapFault::none) {
            return;
        }
        at = end + 1;
    }
}

// CSV or plain text; the error of a CSV list that cannot be read, else nothing.
QString collectDelimited(const QString& text, ListCollector& names, Reading& reading)
{
    CsvRecords records(text);
    QStringList fields;
    records.next(fields);
    const qsizetype column = columnTitled(fields, {"artist", "name"});
    const qsizetype titleColumn = columnTitled(fields, {"title"});
    if (column < 0 && (fields.size() < 2 || text.startsWith(u'#'))) {
        collectLines(text, names);
        return {};
    }
    if (column < 0) {
        return QStringLiteral("a CSV list without an artist or name column");
    }
    if (fields.size() == 1) { // a list of names under its title, which may hold commas: "Earth, Wind & Fire"
        collectTitledLines(QStringView(text).sliced(records.position()), names);
        return {};
    }
    while (records.next(fields)) {
        const QString name = fields.value(column).trimmed();
        if (name.isEmpty()) {
            reading.unreadLines += !fields.join(QString()).trimmed().isEmpty();
        } else if (!names.add(name)) {
            return {};
        } else if (titleColumn >= 0 && !fields.value(titleColumn).isEmpty()) {
            reading.songs.append({fields.value(column), fields.value(titleColumn)});
        }
    }
    return records.broken() ? QStringLiteral("a CSV list with a quote left open or misplaced") : QString();
}

} // namespace

namespace {

Reading refused(const QString& error)
{
    Reading reading;
    reading.error = error;
    return reading;
}

const QString kEmpty = QStringLiteral("the list came back empty");
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

} // namespace

Reading read(QByteArray body)
{
    QByteArrayView start(body);
    start = (start.startsWith(kByteOrderMark) ? start.sliced(3) : start).trimmed();
    ListCollector names;
    QString error;
    Reading reading;
    if (start.startsWith('{') || start.startsWith('[')) {
        error = collectJson(std::move(body), names) ? QString() : capError(names.fault());
    } else if (start.startsWith('<')) {
        error = kUnreadable; // a web page, such as a sign-in page put in the list's place, is no list
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8); // drops the byte order mark
        const QString text = utf8.decode(std::exchange(body, QByteArray()));
        error = utf8.hasError() ? kUnreadable : collectDelimited(text, names, reading);
        error = names.fault() == CapFault::none ? error : capError(names.fault());
    }
    if (error.isEmpty() && names.count() == 0) {
        error = kEmpty;
    }
    if (!error.isEmpty()) {
        return refused(error);
    }
    reading.list = names.take();
    return reading;
}

void Reader::feed(QByteArrayView piece)
{
    if (m_streamed) {
        m_streamed->feed(piece); // once it refuses the list, it reads nothing more
        return;
    }
    m_gathered += piece;
    if (m_gatheredWhole) {
        return;
    }
    QByteArrayView start(m_gathered);
    if (start.size() < 3 && QByteArrayView(kByteOrderMark).startsWith(start)) {
        return; // too early to tell
    }
    start = (start.startsWith(kByteOrderMark) ? start.sliced(3) : start).trimmed();
    m_gatheredWhole = !start.isEmpty() && !start.startsWith('{');
    if (start.startsWith('{')) {
        m_streamed.emplace();
        m_streamed->feed(std::exchange(m_gathered, QByteArray()));
    }
}

Reading Reader::finish()
{
    if (!m_streamed) {
        return read(std::exchange(m_gathered, QByteArray()));
    }
    std::optional<CommunityWireFormat::CommunityList> list = m_streamed->finish();
    if (!list || list->count == 0) {
        return refused(list ? kEmpty : capError(m_streamed->fault()));
    }
    Reading reading;
    reading.list = std::move(*list);
    return reading;
}

QByteArray csv(const QStringList& header, const QList<QStringList>& rows)
{
    const auto field = [](QString text) {
        const bool plain = !text.isEmpty() && text.trimmed() == text && !text.startsWith(u'#') &&
                           !text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
                           !text.contains(u'\r');
        return plain ? text : u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
    };
    QString text;
    for (const QStringList& row : QList<QStringList>{header} + rows) {
        QStringList fields;
        for (const QString& value : row) {
            fields.append(field(value));
        }
        text += fields.join(u',') + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

} // namespace ArtistListFormats
