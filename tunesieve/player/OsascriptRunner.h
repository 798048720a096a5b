#pragma once

#include "ScriptRunner.h"

// Runs each script as `osascript -e SOURCE` in a child process and waits for it. A script that has
// not finished when its timeout ends is killed and counts as failed. A process check gets a short
// one: until the user answers macOS's first Automation prompt (for System Events), it waits, and
// the menu with it.
class OsascriptRunner : public ScriptRunner
{
public:
    explicit OsascriptRunner(QString program = QStringLiteral("/usr/bin/osascript"), int timeoutMs = 10000,
                             int processCheckTimeoutMs = 2000);

    std::optional<QString> run(const QString& source) override;

private:
    QString m_program;
    int m_timeoutMs;
    int m_processCheckTimeoutMs;
};
