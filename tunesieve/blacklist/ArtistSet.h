#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// A set of artist names in which canonically equivalent spellings are one entry. Names are kept
// as they were given (no lower-casing here: callers normalise first).
class ArtistSet
{
public:
    ArtistSet() = default;
    ArtistSet(std::initializer_list<QString> names);
    static ArtistSet fromNames(const QStringList& names);

    // Returns false when an equivalent name was already there; the first spelling is kept.
    bool insert(const QString& name);
    bool remove(const QString& name);
    bool contains(const QString& name) const;
    void unite(const ArtistSet& other);

    qsizetype size() const { return m_namesByKey.size(); }
    bool isEmpty() const { return m_namesByKey.isEmpty(); }

    // The names in ascending code-point order of their NFC forms.
    QStringList sorted() const;

    bool operator==(const ArtistSet& other) const;
    bool operator!=(const ArtistSet& other) const { return !(*this == other); }

private:
    QHash<QString, QString> m_namesByKey;
};
