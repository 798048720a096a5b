#include "OsascriptRunner.h"

#include <QProcess>

OsascriptRunner::OsascriptRunner(QString program, int timeoutMs) : m_program(std::move(program)), m_timeoutMs(timeoutMs)
{}

std::optional<QString> OsascriptRunner::run(const QString& source)
{
    QProcess process;
    // What the script reports on standard error is of no use to the caller.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(m_program, {QStringLiteral("-e"), source});
    if (!process.waitForStarted(m_timeoutMs)) {
        return std::nullopt;
    }
    if (!process.waitForFinished(m_timeoutMs)) {
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
