#include "ArtistKeys.h"

#include "ArtistName.h"

#include <algorithm>
#include <numeric>

bool SortedKeysView::contains(QByteArrayView key) const
{
    qsizetype low = 0;
    qsizetype high = count;
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        const int order = at(middle).compare(key);
        if (order == 0) {
            return true;
        }
        order < 0 ? low = middle + 1 : high = middle;
    }
    return false;
}

ArtistSet SortedKeysView::toSet() const
{
    QStringList names;
    names.reserve(count);
    for (qsizetype index = 0; index < count; ++index) {
        names.append(QString::fromUtf8(at(index)));
    }
    return ArtistSet::fromNames(names);
}

QByteArray ArtistKeys::keyOf(const QString& lowerCasedName)
{
    return ArtistName::equivalenceKey(lowerCasedName).toUtf8();
}

ArtistKeys ArtistKeys::fromSet(const ArtistSet& names)
{
    ArtistKeys keys;
    for (const QString& name : names.sorted()) {
        keys.add(name);
    }
    keys.sort();
    return keys;
}

void ArtistKeys::add(const QString& lowerCasedName)
{
    m_bytes += keyOf(lowerCasedName);
    m_offsets.push_back(quint32(m_bytes.size()));
}

void ArtistKeys::sort()
{
    const SortedKeysView unsorted{m_offsets.data(), size(), m_bytes.constData()};
    std::vector<quint32> order(static_cast<size_t>(size()));
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(),
              [&unsorted](quint32 a, quint32 b) { return unsorted.at(a).compare(unsorted.at(b)) < 0; });
    std::vector<quint32> offsets{0};
    offsets.reserve(order.size() + 1);
    QByteArray bytes;
    bytes.reserve(m_bytes.size());
    for (size_t at = 0; at < order.size(); ++at) {
        if (at == 0 || unsorted.at(order[at]) != unsorted.at(order[at - 1])) {
            bytes += unsorted.at(order[at]);
            offsets.push_back(quint32(bytes.size()));
        }
    }
    m_offsets = std::move(offsets);
    m_bytes = std::move(bytes);
}
