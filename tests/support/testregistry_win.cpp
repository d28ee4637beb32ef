#include "testregistry.h"

#include "formatcatalogue.h"
#include "registrylayout.h"
#include "registrysettings.h"

#include <QtTest>

#include <windows.h>

#include <algorithm>
#include <string>

namespace {

const QString defaultName = QStringLiteral("Default");

QString valueName(const QString &name)
{
    return name.isEmpty() ? defaultName : name;
}

// QSettings on Windows creates the key it is opened on at its first use,
// even to read, while a group entered below it is only opened. Reads
// therefore open the deepest key of the layout that always exists and enter
// the rest, so that looking leaves no key behind.
class Reader
{
public:
    explicit Reader(const QString &path) : settings(anchorOf(path))
    {
        // Groups are separated by "/": a "\\" would be part of one name.
        QString rest = path.mid(anchorOf(path).size() + 1);
        rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (!rest.isEmpty())
            settings.beginGroup(rest);
    }
    RegistrySettings *operator->() { return &settings; }

private:
    RegistrySettings settings;

    static QString anchorOf(const QString &path)
    {
        for (const QString &anchor :
             {userFileExtsPath, machineClassesPath, userClassesPath, mergedClassesPath}) {
            if (path.compare(anchor, Qt::CaseInsensitive) == 0 ||
                path.startsWith(anchor + QLatin1Char('\\'), Qt::CaseInsensitive))
                return path.left(anchor.size());
        }
        return path;
    }
};

void dumpInto(const QString &path, QStringList &lines)
{
    Reader key(path);
    lines.append(QLatin1Char('[') + path + QLatin1Char(']'));
    for (const QString &name : key->childKeys()) {
        const QVariant value = key->value(name);
        lines.append(name + QLatin1Char('=') + QString::fromLatin1(value.typeName()) +
                     QLatin1Char(':') + value.toString());
    }
    for (const QString &sub : key->childGroups())
        dumpInto(path + QLatin1Char('\\') + sub, lines);
}

// The keys of a classes root that the association layout speaks of: the
// viewer's ProgIds and the table's extensions.
bool isLayoutKey(const QString &name)
{
    return name.startsWith(QLatin1String("Talvimor."), Qt::CaseInsensitive) ||
           (name.startsWith(QLatin1Char('.')) &&
            allExtensions().contains(name.mid(1), Qt::CaseInsensitive));
}

void dumpLayoutKeys(const QString &root, QStringList &lines)
{
    for (const QString &name : Reader(root)->childGroups()) {
        if (isLayoutKey(name))
            dumpInto(root + QLatin1Char('\\') + name, lines);
    }
}

// A root the registry's API opens, and the path below it.
struct NativeKey
{
    HKEY root;
    std::wstring subkey;
};

std::optional<NativeKey> nativeKey(const QString &path)
{
    const struct
    {
        const char *name;
        HKEY root;
    } roots[] = {{"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                 {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                 {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}};
    for (const auto &r : roots) {
        const QString root = QLatin1String(r.name);
        if (path.compare(root, Qt::CaseInsensitive) == 0)
            return NativeKey{r.root, std::wstring()};
        if (path.startsWith(root + QLatin1Char('\\'), Qt::CaseInsensitive))
            return NativeKey{r.root, path.mid(root.size() + 1).toStdWString()};
    }
    return std::nullopt;
}

} // namespace

// Writes go through the registry's own calls, which take names as they
// are: a "/" or "Default" in a name is no more than part of it, as on the
// substitute.
bool TestRegistry::set(const QString &path, const QString &name, const QString &value)
{
    // REG_SZ: UTF-16LE with its terminating NUL.
    return setData(path, name, REG_SZ,
                   QByteArray(reinterpret_cast<const char *>(value.utf16()),
                              (value.size() + 1) * int(sizeof(char16_t))));
}

bool TestRegistry::createKey(const QString &path)
{
    const std::optional<NativeKey> native = nativeKey(path);
    HKEY key = nullptr;
    if (!native || RegCreateKeyExW(native->root, native->subkey.c_str(), 0, nullptr, 0, KEY_READ,
                                   nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return seeded(path, true);
}

std::optional<QString> TestRegistry::get(const QString &path, const QString &name) const
{
    Reader key(path);
    if (!key->contains(valueName(name)))
        return std::nullopt;
    return key->value(valueName(name)).toString();
}

bool TestRegistry::exists(const QString &path) const
{
    const int cut = path.lastIndexOf(QLatin1Char('\\'));
    if (cut < 0)
        return true;
    return Reader(path.left(cut))->childGroups().contains(path.mid(cut + 1), Qt::CaseInsensitive);
}

QStringList TestRegistry::valueNames(const QString &path) const
{
    QStringList names = Reader(path)->childKeys();
    for (QString &name : names) {
        if (name == QLatin1String("."))
            name.clear();
    }
    std::sort(names.begin(), names.end());
    return names;
}

QStringList TestRegistry::subkeyNames(const QString &path) const
{
    // Sorted in QString order already.
    return Reader(path)->childGroups();
}

QStringList TestRegistry::dump(const QString &path) const
{
    QStringList lines;
    dumpInto(path, lines);
    return lines;
}

QStringList TestRegistry::everything() const
{
    QStringList lines = machineLines();
    dumpLayoutKeys(userClassesPath, lines);
    dumpInto(userFileExtsPath, lines);
    return lines;
}

QStringList TestRegistry::machineLines() const
{
    QStringList lines;
    dumpLayoutKeys(machineClassesPath, lines);
    return lines;
}

// The real registry is one for all tests, so each starts by removing every
// key that the association layout gives the viewer's formats, the machine's
// included: the tests run in a prefix of their own.
TestRegistry::TestRegistry()
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
    seededMachine();
}

bool TestRegistry::underWine()
{
    // Wine's ntdll exports its version; Windows' has no such function.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::optional<qint64> TestRegistry::notifications() const
{
    // SHChangeNotify leaves nothing behind in the registry to count.
    return std::nullopt;
}

bool TestRegistry::setData(const QString &path, const QString &name, quint32 type,
                           const QByteArray &data)
{
    const std::optional<NativeKey> native = nativeKey(path);
    HKEY key = nullptr;
    if (!native || RegCreateKeyExW(native->root, native->subkey.c_str(), 0, nullptr, 0,
                                   KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring value = name.toStdWString();
    const LONG result =
        RegSetValueExW(key, value.c_str(), 0, DWORD(type),
                       reinterpret_cast<const BYTE *>(data.constData()), DWORD(data.size()));
    RegCloseKey(key);
    return seeded(path, result == ERROR_SUCCESS);
}

bool TestRegistry::removeValue(const QString &path, const QString &name)
{
    const std::optional<NativeKey> native = nativeKey(path);
    HKEY key = nullptr;
    if (!native || RegOpenKeyExW(native->root, native->subkey.c_str(), 0, KEY_SET_VALUE, &key) !=
                       ERROR_SUCCESS)
        return false;
    const std::wstring value = name.toStdWString();
    const LONG result = RegDeleteValueW(key, value.c_str());
    RegCloseKey(key);
    return seeded(path, result == ERROR_SUCCESS);
}

bool TestRegistry::removeKey(const QString &path)
{
    const std::optional<NativeKey> native = nativeKey(path);
    if (!native || native->subkey.empty())
        return false;
    // With a subkey named, the key itself goes too.
    const LONG result = RegDeleteTreeW(native->root, native->subkey.c_str());
    return seeded(path, result == ERROR_SUCCESS && !exists(path));
}

bool TestRegistry::refuseWrites()
{
    return false;
}
