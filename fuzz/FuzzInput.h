#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Takes typed pieces off the front of a fuzzer's input. Once the input is used up, every further
// piece is zero or empty, so any input is a valid one.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint8_t byte()
    {
        if (m_size == 0) {
            return 0;
        }
        --m_size;
        return *m_data++;
    }

    // Up to `maxUnits` UTF-16 code units of any value, lone surrogates included: a length byte,
    // then two bytes per unit.
    QString text(size_t maxUnits = 255) { return units(std::min<size_t>(byte(), maxUnits)); }

    // Everything left, as UTF-16 code units.
    QString remainingText() { return units(m_size / 2); }

    QByteArray remainingBytes()
    {
        QByteArray bytes(reinterpret_cast<const char*>(m_data), qsizetype(m_size));
        m_data += m_size;
        m_size = 0;
        return bytes;
    }

private:
    QString units(size_t count)
    {
        count = std::min(count, m_size / 2);
        QString text(qsizetype(count), Qt::Uninitialized);
        // Copied rather than cast: the input need not be aligned for char16_t.
        std::memcpy(text.data(), m_data, count * 2);
        m_data += count * 2;
        m_size -= count * 2;
        return text;
    }

    const uint8_t* m_data;
    size_t m_size;
};

// Stops the fuzzer with a report when a property the target checks does not hold.
inline void require(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "property does not hold: %s\n", property);
        std::abort();
    }
}
