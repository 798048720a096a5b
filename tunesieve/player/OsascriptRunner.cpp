#include "OsascriptRunner.h"

#include "PlayerScripts.h"

#include <QProcess>
#include <QTimer>

namespace {
// What osascript prints on standard error when the user has not allowed the Apple events.
const QByteArray kNotAuthorized = QByteArrayLiteral("(-1743)");
} // namespace

OsascriptRunner::OsascriptRunner(QString program, int timeoutMs, MonotonicClock clock)
    : m_program(std::move(program)), m_timeoutMs(timeoutMs), m_passedOver(std::move(clock))
{}

OsascriptRunner::~OsascriptRunner()
{
    for (QProcess* process : m_processes.findChildren<QProcess*>()) {
        process->disconnect();
        process->kill();
        process->waitForFinished();
    }
}

void OsascriptRunner::run(const QString& source, Completion done)
{
    const QString application = PlayerScripts::applicationOf(source);
    if (m_passedOver.contains(application)) {
        done(std::nullopt);
        return;
    }
    auto* process = new QProcess(&m_processes);
    auto* timeout = new QTimer(process);
    timeout->setSingleShot(true);
    QObject::connect(timeout, &QTimer::timeout, process, &QProcess::kill);
    QObject::connect(process, &QProcess::finished, process, [this, process, application, timeout, done] {
        ended(process, application, !timeout->isActive(), done);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            process->deleteLater();
            done(std::nullopt);
        }
    });
    process->start(m_program, {QStringLiteral("-e"), source});
    timeout->start(m_timeoutMs);
}

void OsascriptRunner::ended(QProcess* process, const QString& application, bool timedOut, const Completion& done)
{
    process->deleteLater();
    if (timedOut) {
        m_passedOver.timedOut(application);
        done(std::nullopt);
        return;
    }
    if (process->readAllStandardError().contains(kNotAuthorized) && !m_refusalsReported.contains(application)) {
        m_refusalsReported.insert(application);
        reportRefusal(application);
    }
    if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
        done(std::nullopt);
        return;
    }
    QByteArray output = process->readAllStandardOutput();
    // osascript ends its result with one line feed; the result itself may end with more.
    if (output.endsWith('\n')) {
        output.chop(1);
    }
    done(QString::fromUtf8(output));
}
