#include "platform/OsascriptNotifier.h"

std::unique_ptr<Notifier> createNotifier()
{
    return std::make_unique<OsascriptNotifier>();
}
