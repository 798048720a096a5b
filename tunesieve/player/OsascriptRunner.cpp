#include "OsascriptRunner.h"

#include "PlayerScripts.h"

#include <QProcess>

OsascriptRunner::OsascriptRunner(QString program, int timeoutMs, int processCheckTimeoutMs)
    : m_program(std::move(program)), m_timeoutMs(timeoutMs), m_processCheckTimeoutMs(processCheckTimeoutMs)
{}

std::optional<QString> OsascriptRunner::run(const QString& source)
{
    const int timeoutMs = PlayerScripts::isProcessCheck(source) ? m_processCheckTimeoutMs : m_timeoutMs;
    QProcess process;
    // What the script reports on standard error is of no use to the caller.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(m_program, {QStringLiteral("-e"), source});
    if (!process.waitForStarted(timeoutMs)) {
        return std::nullopt;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    QByteArray output = process.readAllStandardOutput();
    // osascript ends its result with one line feed; the result itself may end with more.
    if (output.endsWith('\n')) {
        output.chop(1);
    }
    return QString::fromUtf8(output);
}
