#include "ArtistSet.h"

#include "ArtistName.h"

#include <algorithm>

ArtistSet::ArtistSet(std::initializer_list<QString> names)
{
    for (const QString& name : names) {
        insert(name);
    }
}

ArtistSet ArtistSet::fromNames(const QStringList& names)
{
    ArtistSet set;
    set.m_namesByKey.reserve(names.size());
    for (const QString& name : names) {
        set.insert(name);
    }
    return set;
}

bool ArtistSet::insert(const QString& name)
{
    const QString key = ArtistName::equivalenceKey(name);
    if (m_namesByKey.contains(key)) {
        return false;
    }
    m_namesByKey.insert(key, name);
    return true;
}

bool ArtistSet::remove(const QString& name)
{
    return m_namesByKey.remove(ArtistName::equivalenceKey(name));
}

bool ArtistSet::contains(const QString& name) const
{
    return m_namesByKey.contains(ArtistName::equivalenceKey(name));
}

void ArtistSet::unite(const ArtistSet& other)
{
    for (auto it = other.m_namesByKey.cbegin(); it != other.m_namesByKey.cend(); ++it) {
        if (!m_namesByKey.contains(it.key())) {
            m_namesByKey.insert(it.key(), it.value());
        }
    }
}

QStringList ArtistSet::sorted() const
{
    QStringList keys = m_namesByKey.keys();
    std::sort(keys.begin(), keys.end(), ArtistName::codePointLess);
    QStringList names;
    names.reserve(keys.size());
    for (const QString& key : std::as_const(keys)) {
        names.append(m_namesByKey.value(key));
    }
    return names;
}

bool ArtistSet::operator==(const ArtistSet& other) const
{
    if (size() != other.size()) {
        return false;
    }
    return std::all_of(m_namesByKey.keyBegin(), m_namesByKey.keyEnd(),
                       [&other](const QString& key) { return other.m_namesByKey.contains(key); });
}
