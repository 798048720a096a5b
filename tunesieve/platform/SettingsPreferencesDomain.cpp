#include "SettingsPreferencesDomain.h"

#include <algorithm>

namespace {

const QString kApplicationSuite = QStringLiteral("com.tunesieve.TuneSieve");

std::unique_ptr<QSettings> openSettings(const QString& suiteName, QSettings::Format format)
{
    QStringList parts = suiteName.split(QLatin1Char('.'));
    const QString application = parts.takeLast();
    std::reverse(parts.begin(), parts.end());
    return std::make_unique<QSettings>(format, QSettings::UserScope, parts.join(QLatin1Char('.')), application);
}

} // namespace

SettingsPreferencesDomain::SettingsPreferencesDomain(std::unique_ptr<QSettings> settings)
    : m_settings(std::move(settings))
{}

std::unique_ptr<SettingsPreferencesDomain> SettingsPreferencesDomain::openSuite(const QString& suiteName,
                                                                                QSettings::Format format)
{
    auto suite = openSettings(suiteName, format);
    if (suite->status() != QSettings::NoError) {
        suite = openSettings(kApplicationSuite, format);
    }
    return std::make_unique<SettingsPreferencesDomain>(std::move(suite));
}

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
    if (!value.isValid()) {
        m_settings->remove(key);
    } else if (value.metaType() == QMetaType::fromType<QDateTime>()) {
        // Qt writes any other QDateTime as an "@DateTime(...)" blob of bytes.
        m_settings->setValue(key, value.toDateTime().toLocalTime());
    } else {
        m_settings->setValue(key, value);
    }
}

void SettingsPreferencesDomain::synchronize()
{
    m_settings->sync();
    // QSettings keeps what it could not write, answers it, and writes it with the next sync. Its status stays
    // the first error for good, so the user hears of failing saves once in a run.
    if (m_settings->status() == QSettings::AccessError) {
        saveFailed(QStringLiteral("The preferences cannot be written"));
    }
}

quint64 SettingsPreferencesDomain::revision(const QString& key)
{
    const QVariant current = m_settings->value(key);
    auto seen = m_seen.find(key);
    if (seen == m_seen.end() || seen->value != current) {
        seen = m_seen.insert(key, {current, ++m_lastRevision});
    }
    return seen->revision;
}
