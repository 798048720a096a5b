#include "PreferencesDomain.h"

#include <QJsonArray>
#include <QJsonValue>

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
    const QVariant stored = value(key);
    if (stored.metaType() == QMetaType::fromType<QStringList>()) {
        return stored.toStringList();
    }
    QVariantList elements;
    if (stored.metaType() == QMetaType::fromType<QVariantList>()) {
        elements = stored.toList();
    } else if (stored.metaType() == QMetaType::fromType<QJsonValue>() && stored.toJsonValue().isArray()) {
        elements = stored.toJsonValue().toArray().toVariantList();
    } else {
        return std::nullopt;
    }
    QStringList strings;
    for (const QVariant& element : std::as_const(elements)) {
        if (element.metaType() == QMetaType::fromType<QString>()) {
            strings.append(element.toString());
        }
    }
    return strings;
}

std::optional<QDateTime> PreferencesDomain::date(const QString& key)
{
    return valueOfType<QDateTime>(value(key));
}

bool PreferencesDomain::boolean(const QString& key)
{
    // Read as macOS's boolForKey: does, so that what `defaults write` leaves counts: a number (true
    // unless zero) or a text such as YES, no or TRUE.
    const QVariant stored = value(key);
    switch (stored.typeId()) {
    case QMetaType::Bool:
        return stored.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return stored.toDouble() != 0;
    case QMetaType::QString: {
        const QString text = stored.toString().trimmed();
        return text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 ||
               text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text.toDouble() != 0;
    }
    default:
        return false;
    }
}

void PreferencesDomain::setSaveFailureHandler(std::function<void(const QString& reason)> onFailure)
{
    m_onSaveFailure = std::move(onFailure);
}

void PreferencesDomain::saveFailed(const QString& reason)
{
    if (!std::exchange(m_saveFailing, true) && m_onSaveFailure) {
        m_onSaveFailure(reason);
    }
}
