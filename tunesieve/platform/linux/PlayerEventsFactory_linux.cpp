#include "platform/PlayerEvents.h"
#include "platform/linux/MprisPlayerEvents.h"

std::unique_ptr<PlayerEvents> createPlayerEvents()
{
    return std::make_unique<MprisPlayerEvents>();
}
