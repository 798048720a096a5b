// macOS's OS services: preferences in the CFPreferences domain, notifications through osascript,
// the instance lock under Application Support, resources inside the bundle, file times from
// st_mtimespec; there is always a display.
#include "platform/FileTimes.h"
#include "platform/HeadlessStart.h"
#include "platform/InstanceLock.h"
#include "platform/OsascriptNotifier.h"
#include "platform/PreferencesFactory.h"
#include "platform/Resources.h"
#include "platform/SettingsPreferencesDomain.h"

#include <QCoreApplication>
#include <QDir>
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

qint64 modificationTimeNs(const struct stat& info)
{
    return qint64(info.st_mtimespec.tv_sec) * 1000000000 + info.st_mtimespec.tv_nsec;
}

std::unique_ptr<Notifier> createNotifier()
{
    return std::make_unique<OsascriptNotifier>();
}

QString instanceLockPath()
{
    // Not in $TMPDIR, which macOS sweeps of files unused for days: the agent runs for weeks.
    const QString folder = QDir::homePath() + QStringLiteral("/Library/Application Support/com.tunesieve.TuneSieve");
    return QDir().mkpath(folder) ? folder + QStringLiteral("/instance.lock") : QString();
}

QStringList Resources::resourceFolders()
{
    // TuneSieve.app/Contents/MacOS/TuneSieve reads TuneSieve.app/Contents/Resources.
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources")};
}

bool displayReachable()
{
    // Every login session has its window server, and the agent runs in one.
    return true;
}
