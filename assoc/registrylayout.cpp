#include "registrylayout.h"

#include "formatcatalogue.h"

QString progIdOf(int fif)
{
    return QStringLiteral("Talvimor.") + formatName(fif);
}

QString extensionKey(const QString &extension)
{
    return QLatin1Char('.') + extension;
}
