#include "windowsassociations_p.h"

#include "registrystore.h"
#include "shellnotify.h"
#include "shellrecord.h"
#include "windowsversion.h"

#include <QMap>
#include <QSaveFile>
#include <QtDebug>

#include <cstdlib>
#include <cstring>

namespace {

std::optional<QString> stringValue(const RegistryStore &store, const RegKeyPath &key,
                                   const QString &name)
{
    return regStringOf(store.value(key, name));
}

// Default Programs as Windows documents it: a registered application names
// its Capabilities key, whose FileAssociations map extensions to ProgIds;
// the user's choice per extension is FileExts\.ext\UserChoice "Progid".
class Registration final : public AssociationRegistration
{
public:
    Registration() : store(RegistryStore::openDefault()) {}

    HResult queryAppIsDefault(const QString &query, int type, int level, const QString &appName,
                              bool *isDefault) override
    {
        if (type != associationTypeFileExtension || level != associationLevelEffective)
            return HResults::notImplemented;
        const auto declared = declaredProgIds(appName);
        if (!declared)
            return HResults::fileNotFound;
        const auto it = declared->constFind(foldName(query));
        if (it == declared->constEnd())
            return HResults::noAssociation;
        *isDefault = foldName(effectiveHandler(query)) == foldName(*it);
        return HResults::ok;
    }

    HResult queryAppIsDefaultAll(int level, const QString &appName, bool *isDefault) override
    {
        if (level != associationLevelEffective)
            return HResults::notImplemented;
        const auto declared = declaredProgIds(appName);
        if (!declared)
            return HResults::fileNotFound;
        bool all = true;
        for (auto it = declared->constBegin(); it != declared->constEnd(); ++it) {
            const QString &extension = extensions.value(it.key());
            all = all && foldName(effectiveHandler(extension)) == foldName(*it);
        }
        *isDefault = all;
        return HResults::ok;
    }

    // From Windows 8 the call is still accepted, but the defaults are the
    // user's alone: nothing changes.
    HResult setAppAsDefaultAll(const QString &appName) override
    {
        const auto declared = declaredProgIds(appName);
        if (!declared)
            return HResults::fileNotFound;
        if (isWindows8OrLater(windowsVersion()))
            return HResults::ok;
        const bool written = atomically(*store, [&] {
            for (auto it = declared->constBegin(); it != declared->constEnd(); ++it) {
                const RegKeyPath choice = userChoiceOf(extensions.value(it.key()));
                if (!store->setValue(choice, userChoiceProgIdValue, RegType::Sz, encodeRegSz(*it)))
                    return false;
            }
            return true;
        });
        if (!written)
            return HResults::accessDenied; // as for a registry refusing writes
        notifyAssociationsChanged();
        return HResults::ok;
    }

    // The handler the shell would use.
    HResult queryCurrentDefault(const QString &query, int type, int level,
                                char16_t **association) override
    {
        *association = nullptr;
        if (type != associationTypeFileExtension || level != associationLevelEffective)
            return HResults::notImplemented;
        const QString handler = effectiveHandler(query);
        if (handler.isEmpty())
            return HResults::noAssociation;
        // Allocated as the caller frees it, as CoTaskMemAlloc pairs with
        // CoTaskMemFree.
        const size_t units = size_t(handler.size()) + 1;
        auto *copy = static_cast<char16_t *>(std::malloc(units * sizeof(char16_t)));
        if (!copy)
            return HResults::outOfMemory;
        std::memcpy(copy, handler.utf16(), units * sizeof(char16_t));
        *association = copy;
        return HResults::ok;
    }

    void freeString(char16_t *s) override { std::free(s); }

    void release() override { delete this; }

private:
    // By folded extension; the extension's own spelling is kept beside.
    std::optional<QMap<QString, QString>> declaredProgIds(const QString &appName)
    {
        const auto capabilities =
            stringValue(*store, *parseKeyPath(registeredApplicationsPath), appName);
        if (!capabilities)
            return std::nullopt;
        const auto path = parseKeyPath(capabilitiesHive + QLatin1Char('\\') + *capabilities);
        if (!path)
            return std::nullopt;
        const RegKeyPath associations = path->child(fileAssociationsKey);
        QMap<QString, QString> declared;
        extensions.clear();
        for (const RegValue &v : store->values(associations)) {
            if (!v.name.startsWith(QLatin1Char('.')) || v.type != RegType::Sz)
                continue;
            declared.insert(foldName(v.name), decodeRegSz(v.data));
            extensions.insert(foldName(v.name), v.name);
        }
        return declared;
    }

    RegKeyPath userChoiceOf(const QString &extension) const
    {
        return parseKeyPath(userFileExtsPath)->child(extension).child(userChoiceKey);
    }

    // A choice that is no string is none, and leaves it to the classes.
    QString effectiveHandler(const QString &extension) const
    {
        return progIdOpening(
            stringValue(*store, userChoiceOf(extension), userChoiceProgIdValue), [&] {
                return stringValue(*store, parseKeyPath(mergedClassesPath)->child(extension), {})
                    .value_or(QString());
            });
    }

    // The registry the service answers from.
    std::shared_ptr<RegistryStore> store;
    // The declared extensions' spelling in the Capabilities key, by folded
    // name, so that the user's choice is written under the same spelling.
    QMap<QString, QString> extensions;
};

class SubstituteFactory final : public AssociationServiceFactory
{
public:
    HResult createRegistration(AssociationRegistration **out) override
    {
        *out = new Registration;
        return HResults::ok;
    }

    // The page is part of Windows' own shell, which is not here.
    HResult createRegistrationUI(AssociationRegistrationUI **out) override
    {
        *out = nullptr;
        return HResults::classNotRegistered;
    }
};

} // namespace

AssociationServiceFactory &platformAssociationServiceFactory()
{
    static SubstituteFactory factory;
    return factory;
}

// There is no shell here to open anything, so the request is kept where it
// can be read back, whole or not at all.
bool openUri(const QString &uri)
{
    QSaveFile file(ShellRecord::openedUriFileFor(RegistryStore::defaultFileName()));
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug("openUri: the URI could not be recorded");
        return false;
    }
    file.write(uri.toUtf8() + '\n');
    return file.commit();
}
