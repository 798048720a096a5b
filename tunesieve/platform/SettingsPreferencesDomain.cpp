#include "SettingsPreferencesDomain.h"

#include <algorithm>

namespace {

const QString kApplicationSuite = QStringLiteral("com.tunesieve.TuneSieve");
constexpr qint64 kReadAgainMs = 1000;

std::unique_ptr<QSettings> openSettings(const QString& suiteName, QSettings::Format format)
{
    QStringList parts = suiteName.split(QLatin1Char('.'));
    const QString application = parts.takeLast();
    std::reverse(parts.begin(), parts.end());
    auto settings =
        std::make_unique<QSettings>(format, QSettings::UserScope, parts.join(QLatin1Char('.')), application);
    // Only the domain itself: an absent key is not looked for in the organisation's and the global
    // domains, and a sync writes this one alone.
    settings->setFallbacksEnabled(false);
    return settings;
}

} // namespace

SettingsPreferencesDomain::SettingsPreferencesDomain(std::unique_ptr<QSettings> settings, MonotonicClock clock)
    : m_settings(std::move(settings)), m_clock(std::move(clock))
{}

std::unique_ptr<SettingsPreferencesDomain>
SettingsPreferencesDomain::openSuite(const QString& suiteName, QSettings::Format format, MonotonicClock clock)
{
    auto suite = openSettings(suiteName, format);
    if (suite->status() != QSettings::NoError) {
        suite = openSettings(kApplicationSuite, format);
    }
    return std::make_unique<SettingsPreferencesDomain>(std::move(suite), std::move(clock));
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
    m_seen.remove(key);
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
    const qint64 now = m_clock();
    auto seen = m_seen.find(key);
    if (seen != m_seen.end() && now < seen->readAgainAt) {
        return seen->revision;
    }
    const QVariant current = m_settings->value(key);
    if (seen == m_seen.end() || seen->value != current) {
        seen = m_seen.insert(key, {current, ++m_lastRevision, 0});
    }
    seen->readAgainAt = now + kReadAgainMs;
    return seen->revision;
}
