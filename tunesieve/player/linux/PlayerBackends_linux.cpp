// Linux's players: MPRIS on the D-Bus session bus answers the scripts and announces changes.
#include "player/linux/MprisPlayerEvents.h"
#include "player/linux/MprisScriptRunner.h"

std::unique_ptr<ScriptRunner> createScriptRunner()
{
    return std::make_unique<MprisScriptRunner>();
}

std::unique_ptr<PlayerEvents> createPlayerEvents()
{
    return std::make_unique<MprisPlayerEvents>();
}
