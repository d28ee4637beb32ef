#include "registrylayout.h"

#include "formatcatalogue.h"
#include "identity.h"

QString progIdOf(int fif)
{
    return progIdPrefix + formatName(fif);
}

QString extensionKey(const QString &extension)
{
    return QLatin1Char('.') + extension;
}
