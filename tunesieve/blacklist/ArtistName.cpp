#include "ArtistName.h"

#include <algorithm>

namespace ArtistName {

QString normalized(const QString& name)
{
    return name.toLower();
}

QString equivalenceKey(const QString& name)
{
    return name.normalized(QString::NormalizationForm_C);
}

QString trimmedOfSpaces(const QString& typed)
{
    const auto isSpace = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0;
    qsizetype end = typed.size();
    while (begin < end && isSpace(typed.at(begin))) {
        ++begin;
    }
    while (end > begin && isSpace(typed.at(end - 1))) {
        --end;
    }
    return typed.mid(begin, end - begin);
}

namespace {

// Moves surrogates above the rest of the BMP, so that comparing code units compares code points.
inline char16_t inCodePointOrder(char16_t unit)
{
    if (unit >= 0xE000) {
        return char16_t(unit - 0x800);
    }
    if (unit >= 0xD800) {
        return char16_t(unit + 0x2000);
    }
    return unit;
}

} // namespace

bool codePointLess(const QString& a, const QString& b)
{
    const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (mismatch.second == b.end()) {
        return false;
    }
    if (mismatch.first == a.end()) {
        return true;
    }
    return inCodePointOrder(mismatch.first->unicode()) < inCodePointOrder(mismatch.second->unicode());
}

} // namespace ArtistName
