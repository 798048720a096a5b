#include "player/PlayerEvents.h"
#include "player/linux/MprisPlayerEvents.h"

std::unique_ptr<PlayerEvents> createPlayerEvents()
{
    return std::make_unique<MprisPlayerEvents>();
}
