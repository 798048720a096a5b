#include "PlayerScripts.h"

#include <QStringList>

namespace PlayerScripts {

namespace {
const QString kProcessCheckStart =
    QStringLiteral("tell application \"System Events\" to (name of processes) contains \"");
} // namespace

QString processCheck(const QString& processName)
{
    // The name goes in unescaped: only our own three player names are ever passed.
    return kProcessCheckStart + processName + QStringLiteral("\"");
}

bool isProcessCheck(const QString& source)
{
    return source.startsWith(kProcessCheckStart);
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

std::optional<std::pair<QString, QString>> parseTrackResult(const std::optional<QString>& result)
{
    if (!result || result->isEmpty()) {
        return std::nullopt;
    }
    const QStringList pieces = result->split(QStringLiteral("|||"), Qt::KeepEmptyParts);
    if (pieces.size() != 2 || QString(pieces[0]).remove(artistSeparator).isEmpty() || pieces[1].isEmpty()) {
        return std::nullopt;
    }
    return std::pair{pieces[0], pieces[1]};
}

QString nextTrack(const QString& applicationName)
{
    return QStringLiteral("tell application \"") + applicationName + QStringLiteral("\" to next track");
}

} // namespace PlayerScripts
