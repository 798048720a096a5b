#include "platform/linux/DBusNotifier.h"

std::unique_ptr<Notifier> createNotifier()
{
    return std::make_unique<DBusNotifier>();
}
