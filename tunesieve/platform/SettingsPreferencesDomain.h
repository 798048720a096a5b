#pragma once

#include "PreferencesDomain.h"

#include <QHash>
#include <QSettings>
#include <memory>

// A preferences domain on QSettings. In the native format on macOS this is the CFPreferences
// domain itself, shared with the `defaults` tool and other programs.
class SettingsPreferencesDomain : public PreferencesDomain
{
public:
    explicit SettingsPreferencesDomain(std::unique_ptr<QSettings> settings);

    // The current user's domain `suiteName` in `format`, or the application's own domain
    // "com.tunesieve.TuneSieve" when that one cannot be read. QSettings takes "com.tunesieve.blacklist"
    // as the organisation "tunesieve.com" with the application "blacklist", which the native format
    // on macOS turns back into the CFPreferences domain "com.tunesieve.blacklist".
    static std::unique_ptr<SettingsPreferencesDomain> openSuite(const QString& suiteName, QSettings::Format format);

    QVariant value(const QString& key) override;
    // A date is stored as local time: only that becomes a date in a property list.
    void setValue(const QString& key, const QVariant& value) override;
    void synchronize() override;
    // QSettings cannot tell when another program changed the domain: each call reads the value
    // again, and the revision moves only when it differs from the one read last time.
    quint64 revision(const QString& key) override;
    QStringList keys() override { return m_settings->childKeys(); }

private:
    struct Seen
    {
        QVariant value;
        quint64 revision;
    };

    std::unique_ptr<QSettings> m_settings;
    QHash<QString, Seen> m_seen;
    quint64 m_lastRevision = 0;
};
