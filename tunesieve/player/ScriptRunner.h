#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// The script engine of the player bridge: one AppleScript source text in, its result out once the
// script has ended. Nothing waits for a script: a player that takes its time holds up no one.
class ScriptRunner
{
public:
    // The script's result as text; no value when the script could not be compiled or run, did not
    // end in time, or its result has no text form.
    using Completion = std::function<void(const std::optional<QString>& result)>;
    // Names the application that the user has not allowed this agent to control.
    using RefusalHandler = std::function<void(const QString& application)>;

    virtual ~ScriptRunner() = default;

    // Starts `source` and calls `done` once with its result, on this thread: later, or before
    // returning for an engine that answers at once. Never after the engine is destroyed.
    virtual void run(const QString& source, Completion done) = 0;

    // Told once per application whose Automation permission is refused, by engines that need one.
    void setRefusalHandler(RefusalHandler handler) { m_refusalHandler = std::move(handler); }

protected:
    void reportRefusal(const QString& application) const
    {
        if (m_refusalHandler) {
            m_refusalHandler(application);
        }
    }

private:
    RefusalHandler m_refusalHandler;
};

// The platform's own script engine: osascript on macOS, MPRIS players on the session bus on Linux.
std::unique_ptr<ScriptRunner> createScriptRunner();
