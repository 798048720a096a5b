#include "PlayerScripts.h"

#include <QStringList>

namespace PlayerScripts {

namespace {
const QString kApplicationStart = QStringLiteral("application \"");

// The name goes in unescaped: only our own three player names are ever passed.
QString ifRunning(const QString& applicationName)
{
    return QStringLiteral("if ") + kApplicationStart + applicationName + QStringLiteral("\" is running then");
}
} // namespace

QString trackQuery(const QString& applicationName)
{
    return ifRunning(applicationName) +
           QStringLiteral("\n"
                          "    tell application \"") +
           applicationName +
           QStringLiteral("\"\n"
                          "        if player state is playing then\n"
                          "            return (artist of current track) & \"|||\" & (name of current track)\n"
                          "        end if\n"
                          "    end tell\n"
                          "end if\n"
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
    return ifRunning(applicationName) + QStringLiteral(" tell application \"") + applicationName +
           QStringLiteral("\" to next track");
}

QString applicationOf(const QString& source)
{
    if (!source.startsWith(QStringLiteral("if ") + kApplicationStart)) {
        return {};
    }
    const qsizetype nameStart = 3 + kApplicationStart.size();
    const qsizetype nameEnd = source.indexOf(QLatin1Char('"'), nameStart);
    return nameEnd < 0 ? QString() : source.mid(nameStart, nameEnd - nameStart);
}

} // namespace PlayerScripts
