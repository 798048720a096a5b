#pragma once

#include "blacklist/ArtistSet.h"

#include <QStringList>
#include <functional>
#include <optional>

// One blacklist as the window lists it: its names in code-point order, with their NFC forms kept beside them, so
// that a keystroke in the search field neither sorts nor normalises the whole list again. It is taken anew from
// the store whenever that list's revision changes: the store stays the one source of the names.
class ArtistSearchIndex
{
public:
    void update(quint64 listRevision, const std::function<ArtistSet()>& readList);

    // The names whose NFC form contains `key` (the NFC form of a lower-cased query), in order; all for an empty key.
    QStringList matching(const QString& key) const;

private:
    std::optional<quint64> m_revision;
    QStringList m_names;
    QStringList m_keys;
};
