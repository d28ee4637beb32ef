#include "shellnotify.h"

#include "registrystore.h"

#include <QtDebug>

// There is no shell here to tell, so the event is counted in the registry
// file, where another process (pellvarin-reg notifications) can watch it.
void notifyAssociationsChanged()
{
    if (!RegistryStore::openDefault()->recordNotification(associationsChangedEvent))
        qDebug("notifyAssociationsChanged: the notification could not be recorded");
}
