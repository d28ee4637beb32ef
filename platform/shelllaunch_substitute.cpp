#include "shelllaunch.h"

#include "shelllaunch_substitute.h"

#include "registrystore.h"

#include <QSaveFile>
#include <QtDebug>

// There is no shell here to open anything, so the request is kept where it
// can be read back, whole or not at all.
bool openUri(const QString &uri)
{
    QSaveFile file(openedUriFileFor(RegistryStore::defaultFileName()));
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug("openUri: the URI could not be recorded");
        return false;
    }
    file.write(uri.toUtf8() + '\n');
    return file.commit();
}
