#include "ArtistCredits.h"

#include "ArtistName.h"

#include <QRegularExpression>
#include <QSet>

namespace {

constexpr auto kOptions = QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption;
// The marker as a word of its own: "feat." may touch the name, "feat" and "ft" need a space.
const QString kMarker = QStringLiteral(R"((?:featuring|feat|ft)(?:\.\s*|\s+))");
// "(feat. B, C)" or "[ft. B]": the featured names run to the closing bracket.
const QRegularExpression
    kBracketedFeaturing(QStringLiteral(R"([(\[]\s*)") + kMarker + QStringLiteral(R"(([^)\]]*)[)\]])"), kOptions);
// "A feat. B": the featured names run to the end of the artist text.
const QRegularExpression kFeaturing(QStringLiteral(R"((?:^|\s))") + kMarker + QStringLiteral("(.*)$"), kOptions);
const QString kFeaturedNameSeparator = QStringLiteral(", ");
const QString kGroupSeparator = QStringLiteral(" & ");

// "B, C & D": B, then the group whole, then its members.
QStringList featuredNames(const QString& text)
{
    QStringList names;
    for (const QString& name : text.split(kFeaturedNameSeparator)) {
        names.append(name);
        if (name.contains(kGroupSeparator)) {
            names += name.split(kGroupSeparator);
        }
    }
    return names;
}

QStringList bracketedFeatured(const QString& text)
{
    QStringList names;
    for (QRegularExpressionMatchIterator it = kBracketedFeaturing.globalMatch(text); it.hasNext();) {
        names += featuredNames(it.next().captured(1));
    }
    return names;
}

// Collects names in order, each once as the lists compare them.
class CreditList
{
public:
    explicit CreditList(const QString& reportedArtist) : m_names{reportedArtist}, m_keys{key(reportedArtist)} {}

    void addEach(const QStringList& names)
    {
        for (const QString& name : names) {
            const QString credit = name.trimmed();
            if (!credit.isEmpty() && !m_keys.contains(key(credit))) {
                m_keys.insert(key(credit));
                m_names.append(credit);
            }
        }
    }

    const QStringList& names() const { return m_names; }

private:
    QStringList m_names;
    QSet<QString> m_keys;

    static QString key(const QString& name) { return ArtistName::equivalenceKey(ArtistName::normalized(name)); }
};

} // namespace

namespace ArtistCredits {

QStringList credits(const QStringList& artists, const QString& title)
{
    CreditList credits(artists.join(QStringLiteral(", ")));
    for (const QString& artist : artists) {
        QString listed = QString(artist).remove(kBracketedFeaturing);
        QStringList featured;
        const QRegularExpressionMatch match = kFeaturing.match(listed);
        if (match.hasMatch()) {
            featured = featuredNames(match.captured(1));
            listed.truncate(match.capturedStart(0));
        }
        credits.addEach({listed});
        credits.addEach(featured);
        credits.addEach(bracketedFeatured(artist));
    }
    credits.addEach(bracketedFeatured(title));
    return credits.names();
}

} // namespace ArtistCredits
