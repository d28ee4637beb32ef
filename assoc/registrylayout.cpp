#include "registrylayout.h"

#include "formatcatalogue.h"
#include "identity.h"
#include "registrynames.h"

#include <QtDebug>

QString progIdOf(int fif)
{
    return progIdPrefix + formatName(fif);
}

QString extensionKey(const QString &extension)
{
    return QLatin1Char('.') + extension;
}

std::optional<QString> extensionKeyIfSafe(const QString &extension)
{
    const QString key = extensionKey(extension);
    if (!isSafeName(key, maxKeyNameLength)) {
        qDebug("skipped an extension that cannot name a registry key");
        return std::nullopt;
    }
    return key;
}

bool isSafeName(const QString &name, qsizetype limit)
{
    return !name.isEmpty() && name.size() <= limit && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0)) && isWritableName(name);
}

QString progIdIn(const QVariant &value)
{
    return value.userType() == QMetaType::QString ? value.toString() : QString();
}
