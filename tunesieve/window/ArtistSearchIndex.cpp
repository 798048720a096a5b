#include "ArtistSearchIndex.h"

#include "blacklist/ArtistName.h"

void ArtistSearchIndex::update(quint64 listRevision, const std::function<ArtistSet()>& readList)
{
    if (m_revision == listRevision) {
        return;
    }
    m_names = readList().sorted();
    m_keys.clear();
    m_keys.reserve(m_names.size());
    for (const QString& name : std::as_const(m_names)) {
        m_keys.append(ArtistName::equivalenceKey(name));
    }
    m_revision = listRevision;
}

QStringList ArtistSearchIndex::matching(const QString& key) const
{
    if (key.isEmpty()) {
        return m_names;
    }
    QStringList found;
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        if (m_keys.at(i).contains(key)) {
            found.append(m_names.at(i));
        }
    }
    return found;
}
