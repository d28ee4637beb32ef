#include "portableregistry.h"

#include "formatcatalogue.h"
#include "registrylayout.h"
#include "registrysettings.h"

#include <QtTest>

#include <windows.h>

#include <string>

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

bool PortableRegistry::setData(const QString &path, const QString &name, quint32 type,
                               const QByteArray &data)
{
    const struct
    {
        const char *name;
        HKEY root;
    } roots[] = {{"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER},
                 {"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
                 {"HKEY_CLASSES_ROOT\\", HKEY_CLASSES_ROOT}};
    for (const auto &r : roots) {
        const QString prefix = QLatin1String(r.name);
        if (!path.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const std::wstring subkey = path.mid(prefix.size()).toStdWString();
        const std::wstring value = name.toStdWString();
        HKEY key = nullptr;
        if (RegCreateKeyExW(r.root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return false;
        const LONG result =
            RegSetValueExW(key, value.c_str(), 0, DWORD(type),
                           reinterpret_cast<const BYTE *>(data.constData()), DWORD(data.size()));
        RegCloseKey(key);
        if (r.root == HKEY_LOCAL_MACHINE)
            machineSeed = machineLines();
        return result == ERROR_SUCCESS;
    }
    return false;
}

bool PortableRegistry::refuseWrites()
{
    return false;
}
