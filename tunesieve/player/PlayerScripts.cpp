#include "PlayerScripts.h"

namespace PlayerScripts {

QString processCheck(const QString& processName)
{
    // The name goes in unescaped: only our own three player names are ever passed.
    return QStringLiteral("tell application \"System Events\" to (name of processes) contains \"") + processName +
           QStringLiteral("\"");
}

QString trackQuery(const QString& applicationName)
{
    return QStringLiteral("tell application \"") + applicationName +
           QStringLiteral("\"\n"
                          "    if player state is playing then\n"
                          "        return (artist of current track) & \"|||\" & (name of current track)\n"
                          "    end if\n"
                          "end tell\n"
                          "return \"\"");
}

QString nextTrack(const QString& applicationName)
{
    return QStringLiteral("tell application \"") + applicationName + QStringLiteral("\" to next track");
}

} // namespace PlayerScripts
