#include "platform/OsaScriptRunner.h"
#include "platform/ScriptRunnerFactory.h"

std::unique_ptr<ScriptRunner> createScriptRunner()
{
    return std::make_unique<OsaScriptRunner>();
}
