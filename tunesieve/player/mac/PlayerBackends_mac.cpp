#include "player/OsascriptRunner.h"
#include "player/ScriptRunner.h"

std::unique_ptr<ScriptRunner> createScriptRunner()
{
    return std::make_unique<OsascriptRunner>();
}
