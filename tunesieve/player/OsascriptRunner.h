#pragma once

#include "PassedOverPlayers.h"
#include "ScriptRunner.h"

#include <QObject>
#include <QSet>

class QProcess;

// Runs each script as `osascript -e SOURCE` in a child process, and answers once it has ended; the
// event loop goes on meanwhile. A script that has not ended when its timeout ends is killed and
// counts as failed, and its player is passed over for a while: until the user answers macOS's
// Automation prompt, or while the player hangs. A refused permission (error -1743) is reported once
// per player.
class OsascriptRunner : public ScriptRunner
{
public:
    explicit OsascriptRunner(QString program = QStringLiteral("/usr/bin/osascript"), int timeoutMs = 10000,
                             MonotonicClock clock = monotonicNowMs);
    // Kills the scripts still running; their callers hear nothing.
    ~OsascriptRunner() override;

    void run(const QString& source, Completion done) override;

private:
    void ended(QProcess* process, const QString& application, bool timedOut, const Completion& done);

    QString m_program;
    int m_timeoutMs;
    PassedOverPlayers m_passedOver;
    QSet<QString> m_refusalsReported;
    // The parent of the running scripts' processes.
    QObject m_processes;
};
