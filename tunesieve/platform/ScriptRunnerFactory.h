#pragma once

#include "ScriptRunner.h"

#include <memory>

// The platform's own script engine: osascript on macOS, MPRIS players on the session bus on Linux.
std::unique_ptr<ScriptRunner> createScriptRunner();
