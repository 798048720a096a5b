#pragma once

#include "ArtistSet.h"

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

// A sorted run of names as the list files keep them, wherever it lies (in memory or in a mapped
// file): `offsets` holds count + 1 ascending positions in `bytes`, name i running from offsets[i] to
// offsets[i + 1]. Looked up in place, by binary search.
struct SortedKeysView
{
    const quint32* offsets = nullptr;
    qsizetype count = 0;
    const char* bytes = nullptr;

    QByteArrayView at(qsizetype index) const
    {
        return QByteArrayView(bytes + offsets[index], qsizetype(offsets[index + 1] - offsets[index]));
    }
    bool contains(QByteArrayView key) const;
    // Every name, as an ArtistSet holds it: for showing the list, not for looking it up.
    ArtistSet toSet() const;
};

// Names kept as the list files keep them: each the UTF-8 text of the NFC form of the lower-cased
// name (ArtistName::equivalenceKey), packed one after another in one buffer. A million names take
// some 25 MB here, where a set of strings takes several times that. UTF-8 byte order is code-point
// order, the order in which lists are kept.
class ArtistKeys
{
public:
    // The key of a name already lower-cased.
    static QByteArray keyOf(const QString& lowerCasedName);
    static ArtistKeys fromSet(const ArtistSet& names);

    void add(const QString& lowerCasedName);
    // Puts the names in byte order and leaves out each repeated one; view() needs it first.
    void sort();

    qsizetype size() const { return qsizetype(m_offsets.size()) - 1; }
    SortedKeysView view() const { return {m_offsets.data(), size(), m_bytes.constData()}; }
    const std::vector<quint32>& offsets() const { return m_offsets; }
    const QByteArray& bytes() const { return m_bytes; }

private:
    // The body caps of a list (32 MiB) keep the bytes far below 4 GiB.
    std::vector<quint32> m_offsets{0};
    QByteArray m_bytes;
};
