#include "shellnotify.h"

#include "registrystore.h"
#include "shellrecord.h"

#include <QtDebug>

static_assert(associationsChangedEvent == ShellRecord::associationsChanged);

// There is no shell here to tell, so the event is counted in the registry
// file, where another process (pellvarin-reg notifications) can watch it.
void notifyAssociationsChanged()
{
    if (!ShellRecord(*RegistryStore::openDefault()).recordNotification(associationsChangedEvent))
        qDebug("notifyAssociationsChanged: the notification could not be recorded");
}
