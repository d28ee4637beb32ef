#include "shellnotify.h"

#include "registrystore.h"

#include <QtDebug>

namespace {
// SHCNE_ASSOCCHANGED, so that the record reads as the shell's own event.
constexpr quint32 assocChangedEvent = 0x08000000;
} // namespace

// There is no shell here to tell, so the event is counted in the registry
// file, where another process (pellvarin-reg notifications) can watch it.
void notifyAssociationsChanged()
{
    if (!RegistryStore::openDefault()->recordNotification(assocChangedEvent))
        qDebug("notifyAssociationsChanged: the notification could not be recorded");
}
