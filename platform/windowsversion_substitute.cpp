#include "windowsversion.h"

#include "registrystore.h"

// Read from the substitute registry where Windows keeps it, so that a test or
// a user can choose which Windows the engine believes it runs on. The true
// numbers of Windows 10 and later are in DWORDs beside a "CurrentVersion"
// that stays at 6.3 for old programs; without any value this is XP.
namespace {

RegKeyPath currentVersionKey()
{
    return *parseKeyPath(windowsVersionKey.path);
}

} // namespace

int windowsVersion()
{
    const auto store = RegistryStore::openDefault();
    const RegKeyPath key = currentVersionKey();
    auto dword = [&](const QString &name) -> int {
        const auto number = regDwordOf(store->value(key, name));
        return number ? int(*number) : -1;
    };
    const int major = dword(windowsVersionKey.majorNumber);
    const int minor = dword(windowsVersionKey.minorNumber);
    if (major >= 0 && minor >= 0)
        return winVersionFromNt(major, minor);

    if (const auto current = regStringOf(store->value(key, windowsVersionKey.currentVersion))) {
        const QStringList parts = current->split(QLatin1Char('.'));
        bool okMajor = false, okMinor = parts.size() < 2;
        const int ntMajor = parts.value(0).toInt(&okMajor);
        const int ntMinor = parts.size() < 2 ? 0 : parts.at(1).toInt(&okMinor);
        if (okMajor && okMinor)
            return winVersionFromNt(ntMajor, ntMinor);
    }
    return windowsRelease(WindowsReleaseId::WindowsXP).winVersion;
}

int windowsBuild()
{
    const auto text = regStringOf(
        RegistryStore::openDefault()->value(currentVersionKey(), windowsVersionKey.buildNumber));
    bool ok = false;
    const int build = text ? text->trimmed().toInt(&ok) : 0;
    return ok && build > 0 ? build : 0;
}
