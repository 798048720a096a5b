#include "platform/PreferencesFactory.h"
#include "platform/SettingsPreferencesDomain.h"

#include <algorithm>

std::unique_ptr<PreferencesDomain> openUserPreferences(const QString& suiteName)
{
    // QSettings names a CFPreferences domain from an organisation and an application: the
    // organisation "tunesieve.com" with the application "blacklist" is "com.tunesieve.blacklist".
    QStringList parts = suiteName.split(QLatin1Char('.'));
    const QString application = parts.takeLast();
    std::reverse(parts.begin(), parts.end());
    auto suite = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             parts.join(QLatin1Char('.')), application);
    if (suite->status() == QSettings::NoError) {
        return std::make_unique<SettingsPreferencesDomain>(std::move(suite));
    }
    return std::make_unique<SettingsPreferencesDomain>(std::make_unique<QSettings>());
}
