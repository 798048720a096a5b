#pragma once

#include <QString>
#include <memory>
#include <optional>

// The script engine of the player bridge: one AppleScript source text in, its result out.
class ScriptRunner
{
public:
    virtual ~ScriptRunner() = default;

    // Runs `source` to its end and answers its result as text; no value when the script could not
    // be compiled or run, or its result has no text form.
    virtual std::optional<QString> run(const QString& source) = 0;
};

// The platform's own script engine: osascript on macOS, MPRIS players on the session bus on Linux.
std::unique_ptr<ScriptRunner> createScriptRunner();
