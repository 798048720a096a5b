// macOS's players: osascript runs the scripts.
#include "player/OsascriptRunner.h"
#include "player/PlayerEvents.h"

std::unique_ptr<ScriptRunner> createScriptRunner()
{
    return std::make_unique<OsascriptRunner>();
}

std::unique_ptr<PlayerEvents> createPlayerEvents()
{
    // The players' scripting interfaces announce nothing we could listen to: the timer finds changes.
    return std::make_unique<PlayerEvents>();
}
