#include "PreferencesDomain.h"

namespace {

template <typename T> std::optional<T> valueOfType(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<T>()) {
        return value.value<T>();
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> PreferencesDomain::string(const QString& key)
{
    return valueOfType<QString>(value(key));
}

std::optional<QStringList> PreferencesDomain::stringArray(const QString& key)
{
    return valueOfType<QStringList>(value(key));
}

std::optional<QDateTime> PreferencesDomain::date(const QString& key)
{
    return valueOfType<QDateTime>(value(key));
}

bool PreferencesDomain::boolean(const QString& key)
{
    return valueOfType<bool>(value(key)).value_or(false);
}
