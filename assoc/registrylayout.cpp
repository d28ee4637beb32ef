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
    if (!namesOneSettingsEntry(key, maxKeyNameLength)) {
        qDebug("skipped an extension that cannot name a registry key");
        return std::nullopt;
    }
    return key;
}

QString progIdIn(const QVariant &value)
{
    return value.userType() == QMetaType::QString ? value.toString() : QString();
}

std::optional<QString> overrideProgIdOf(const RegistrySettings &userFileExts, const QString &key)
{
    const QString name = key + QLatin1Char('/') + overrideProgIdValue;
    if (!userFileExts.contains(name))
        return std::nullopt;
    return progIdIn(userFileExts.value(name));
}

QString classesProgIdOf(const RegistrySettings &mergedClasses, const QString &key)
{
    return progIdIn(mergedClasses.value(key + QLatin1Char('/') + defaultValueName));
}

QString currentProgIdOf(const RegistrySettings &userFileExts, const RegistrySettings &mergedClasses,
                        const QString &key)
{
    return progIdOpening(overrideProgIdOf(userFileExts, key),
                         [&] { return classesProgIdOf(mergedClasses, key); });
}

std::optional<QList<DeclaredAssociation>> declaredAssociations()
{
    const RegistrySettings registered(registeredApplicationsPath);
    const QString capabilities = progIdIn(registered.value(registeredAppName));
    if (capabilities.isEmpty())
        return std::nullopt;
    const RegistrySettings associations(capabilitiesHive + QLatin1Char('\\') + capabilities +
                                        QLatin1Char('\\') + fileAssociationsKey);
    QList<DeclaredAssociation> declared;
    for (const QString &name : associations.childKeys()) {
        // As the service reads them: extensions only (the unnamed value
        // lists as "."), each naming a ProgId.
        const QString progId = progIdIn(associations.value(name));
        if (name.size() > 1 && name.startsWith(QLatin1Char('.')) && !progId.isEmpty())
            declared.append({name.mid(1), progId});
    }
    return declared;
}

bool walkRegisteredFormats(
    const std::function<std::optional<bool>(int fif, const QString &extension)> &bitOf,
    const std::function<void(int fif, const QBitArray &bits, bool all)> &take)
{
    const RegistrySettings machineClasses(machineClassesPath);
    bool every = true;
    for (int fif = 0; fif < formatCount(); ++fif) {
        if (!machineClasses.contains(progIdOf(fif) + QLatin1Char('/') + defaultValueName))
            continue;
        const QStringList extensions = extensionsOfFormat(fif);
        QBitArray bits(int(extensions.size()), false);
        bool all = true;
        for (int j = 0; j < extensions.size(); ++j) {
            if (const std::optional<bool> bit = bitOf(fif, extensions.at(j))) {
                bits.setBit(j, *bit);
                all = all && *bit;
            }
        }
        take(fif, bits, all);
        every = every && all;
    }
    return every;
}
