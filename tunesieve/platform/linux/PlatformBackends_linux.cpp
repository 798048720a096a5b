#include "platform/JsonPreferencesDomain.h"
#include "platform/PreferencesFactory.h"

#include <QStandardPaths>

std::unique_ptr<PreferencesDomain> openUserPreferences(const QString& suiteName)
{
    // $XDG_CONFIG_HOME/tunesieve/<domain>.json, by default under ~/.config.
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/tunesieve/");
    const QString suitePath = folder + suiteName + QStringLiteral(".json");
    if (JsonPreferencesDomain::canOpen(suitePath)) {
        return std::make_unique<JsonPreferencesDomain>(suitePath);
    }
    return std::make_unique<JsonPreferencesDomain>(folder + QStringLiteral("tunesieve.json"));
}
