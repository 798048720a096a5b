#include "player/ScriptRunner.h"
#include "player/linux/MprisScriptRunner.h"

std::unique_ptr<ScriptRunner> createScriptRunner()
{
    return std::make_unique<MprisScriptRunner>();
}
