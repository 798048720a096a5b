#include "platform/ScriptRunner.h"
#include "platform/linux/MprisScriptRunner.h"

std::unique_ptr<ScriptRunner> createScriptRunner()
{
    return std::make_unique<MprisScriptRunner>();
}
