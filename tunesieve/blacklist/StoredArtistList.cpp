#include "StoredArtistList.h"

#include "ArtistListFile.h"
#include "ArtistName.h"

#include <QThreadPool>

const ArtistSet& StoredArtistList::read(PreferencesDomain& domain) const
{
    const quint64 revision = domain.revision(m_key);
    if (m_revision != revision) {
        ArtistSet names;
        for (const QString& name : domain.stringArray(m_key).value_or(QStringList())) {
            names.insert(ArtistName::normalized(name));
        }
        m_names = std::move(names);
        m_revision = revision;
    }
    return m_names;
}

void StoredArtistList::write(PreferencesDomain& domain, const ArtistSet& artists)
{
    domain.setValue(m_key, artists.sorted());
    domain.synchronize();
}

void StoredArtistList::write(PreferencesDomain& domain, const QStringList& sorted, const ArtistSet& artists)
{
    const quint64 before = domain.revision(m_key);
    domain.setValue(m_key, sorted);
    domain.synchronize();
    // A write the domain refused (a file it cannot read) leaves the revision, and the names read before,
    // as they were. A save that fails later moves the revision again, so the names are read anew.
    const quint64 after = domain.revision(m_key);
    if (after != before) {
        m_revision = after;
        // Freeing a list of 100 000 names takes the main thread some 20 ms: a worker does it instead.
        QThreadPool::globalInstance()->start(
            [retired = std::exchange(m_names, artists)]() mutable { retired = ArtistSet(); });
    }
}

void StoredArtistList::moveToFile(PreferencesDomain& domain, const QString& path) const
{
    if (!domain.value(m_key).isValid()) {
        return;
    }
    if (const std::optional<QStringList> names = domain.stringArray(m_key)) {
        ArtistKeys keys;
        for (const QString& name : *names) {
            keys.add(ArtistName::normalized(name));
        }
        keys.sort();
        if (!ArtistListFile::write(path, keys)) {
            return;
        }
    }
    domain.setValue(m_key, QVariant());
    domain.synchronize();
}
