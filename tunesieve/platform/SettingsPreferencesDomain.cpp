#include "SettingsPreferencesDomain.h"

SettingsPreferencesDomain::SettingsPreferencesDomain(std::unique_ptr<QSettings> settings)
    : m_settings(std::move(settings))
{}

QVariant SettingsPreferencesDomain::value(const QString& key)
{
    const QVariant stored = m_settings->value(key);
    // Property lists hand arrays back as lists of variants; an array made only of strings is the
    // string array that callers ask for.
    if (stored.metaType() == QMetaType::fromType<QVariantList>()) {
        const QVariantList list = stored.toList();
        QStringList strings;
        for (const QVariant& element : list) {
            if (element.metaType() != QMetaType::fromType<QString>()) {
                return stored;
            }
            strings.append(element.toString());
        }
        return strings;
    }
    return stored;
}

void SettingsPreferencesDomain::setValue(const QString& key, const QVariant& value)
{
    if (value.isValid()) {
        m_settings->setValue(key, value);
    } else {
        m_settings->remove(key);
    }
}

void SettingsPreferencesDomain::synchronize()
{
    m_settings->sync();
}
