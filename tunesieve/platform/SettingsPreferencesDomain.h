#pragma once

#include "PreferencesDomain.h"

#include <QSettings>
#include <memory>

// A preferences domain on QSettings. In the native format on macOS this is the CFPreferences
// domain itself, shared with the `defaults` tool and other programs.
class SettingsPreferencesDomain : public PreferencesDomain
{
public:
    explicit SettingsPreferencesDomain(std::unique_ptr<QSettings> settings);

    QVariant value(const QString& key) override;
    void setValue(const QString& key, const QVariant& value) override;
    void synchronize() override;
    // QSettings cannot tell cheaply whether another program changed the domain, so every call
    // answers a new number and nothing derived from the domain is ever reused.
    quint64 revision(const QString&) override { return ++m_revision; }

private:
    std::unique_ptr<QSettings> m_settings;
    quint64 m_revision = 0;
};
