#pragma once

#include "ScriptRunner.h"

// Runs each script as `osascript -e SOURCE` in a child process and waits for it. A script that has
// not finished when the timeout ends is killed and counts as failed.
class OsascriptRunner : public ScriptRunner
{
public:
    explicit OsascriptRunner(QString program = QStringLiteral("/usr/bin/osascript"), int timeoutMs = 10000);

    std::optional<QString> run(const QString& source) override;

private:
    QString m_program;
    int m_timeoutMs;
};
