#include "portableregistry.h"

#include "formatcatalogue.h"
#include "registrylayout.h"
#include "registrysettings.h"

#include <QtTest>

#include <windows.h>

// The real registry is one for all tests, so each starts by removing every
// key that the association layout gives the viewer's formats, the machine's
// included: the tests run in a prefix of their own.
struct PortableRegistry::Platform
{
};

PortableRegistry::PortableRegistry() : platform(std::make_unique<Platform>())
{
    RegistrySettings machine(machineClassesPath);
    RegistrySettings user(userClassesPath);
    RegistrySettings fileExts(userFileExtsPath);
    for (int fif = 0; fif < formatCount(); ++fif)
        machine.remove(progIdOf(fif));
    for (const QString &extension : allExtensions()) {
        for (RegistrySettings *root : {&machine, &user, &fileExts})
            root->remove(extensionKey(extension));
    }
    QVERIFY(machine.status() == QSettings::NoError && user.status() == QSettings::NoError &&
            fileExts.status() == QSettings::NoError);
    machineSeed = machineLines();
}

PortableRegistry::~PortableRegistry()
{
    checkMachine();
}

bool PortableRegistry::underWine()
{
    // Wine's ntdll exports its version; Windows' has no such function.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::optional<qint64> PortableRegistry::notifications() const
{
    // SHChangeNotify leaves nothing behind in the registry to count.
    return std::nullopt;
}

bool PortableRegistry::refuseWrites()
{
    return false;
}
