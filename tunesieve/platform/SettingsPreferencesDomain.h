#pragma once

#include "MonotonicClock.h"
#include "PreferencesDomain.h"

#include <QHash>
#include <QSettings>
#include <memory>

// A preferences domain on QSettings. In the native format on macOS this is the CFPreferences
// domain itself, shared with the `defaults` tool and other programs.
class SettingsPreferencesDomain : public PreferencesDomain
{
public:
    explicit SettingsPreferencesDomain(std::unique_ptr<QSettings> settings, MonotonicClock clock = monotonicNowMs);

    // The current user's domain `suiteName` in `format`, or the application's own domain
    // "com.tunesieve.TuneSieve" when that one cannot be read. QSettings takes "com.tunesieve.blacklist"
    // as the organisation "tunesieve.com" with the application "blacklist", which the native format
    // on macOS turns back into the CFPreferences domain "com.tunesieve.blacklist".
    static std::unique_ptr<SettingsPreferencesDomain> openSuite(const QString& suiteName, QSettings::Format format,
                                                                MonotonicClock clock = monotonicNowMs);

    QVariant value(const QString& key) override;
    // A date is stored as local time: only that becomes a date in a property list.
    void setValue(const QString& key, const QVariant& value) override;
    void synchronize() override;
    // QSettings cannot tell when another program changed the domain, and reading a whole list to
    // compare costs milliseconds: what the domain said is kept, and read again to compare after our
    // own write at once, else once a second at most. Another program's change is seen within that.
    quint64 revision(const QString& key) override;
    QStringList keys() override { return m_settings->childKeys(); }

private:
    struct Seen
    {
        QVariant value;
        quint64 revision;
        qint64 readAgainAt;
    };

    std::unique_ptr<QSettings> m_settings;
    MonotonicClock m_clock;
    QHash<QString, Seen> m_seen;
    quint64 m_lastRevision = 0;
};
