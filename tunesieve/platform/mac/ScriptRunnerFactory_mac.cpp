#include "platform/OsascriptRunner.h"
#include "platform/ScriptRunner.h"

std::unique_ptr<ScriptRunner> createScriptRunner()
{
    return std::make_unique<OsascriptRunner>();
}
