#include "registrynames.h"
#include "registrysettings.h"
#include "registrysettings_p.h"

#include <QSettings>

#include <windows.h>

#include <utility>

namespace {

// Qt's own native-format settings: the real registry, with its merged
// classes view kept by the system. Their status stays AccessError after a
// failed write, so each write reports the state after it.
class WinRegistryBackend final : public RegistryBackend
{
public:
    explicit WinRegistryBackend(const QString &path) : settings(path, QSettings::NativeFormat)
    {
        // The hive as QSettings names it, and the path below it.
        static const std::pair<const char *, HKEY> hives[] = {
            {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
            {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
            {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
            {"HKEY_USERS", HKEY_USERS}};
        const qsizetype slash = path.indexOf(QLatin1Char('\\'));
        const QString hive = slash < 0 ? path : path.left(slash);
        for (const auto &[name, key] : hives) {
            if (foldName(hive) == QLatin1String(name)) {
                root = key;
                below = slash < 0 ? QString() : path.mid(slash + 1);
            }
        }
    }

    bool contains(const QString &key) const override { return settings.contains(key); }
    bool containsGroup(const QString &key) const override
    {
        if (!root)
            return true;
        HKEY opened = nullptr;
        const QString path =
            below.isEmpty() ? swapSeparators(key) : below + QLatin1Char('\\') + swapSeparators(key);
        const LONG status =
            RegOpenKeyExW(root, reinterpret_cast<LPCWSTR>(path.utf16()), 0, KEY_READ, &opened);
        if (status == ERROR_SUCCESS)
            RegCloseKey(opened);
        return status != ERROR_FILE_NOT_FOUND;
    }
    QVariant value(const QString &key) const override { return settings.value(key); }
    bool setValue(const QString &key, const QString &value) override
    {
        settings.setValue(key, value);
        return settings.status() == QSettings::NoError;
    }
    bool remove(const QString &key) override
    {
        settings.remove(key);
        return settings.status() == QSettings::NoError;
    }
    bool clear() override
    {
        settings.clear();
        return settings.status() == QSettings::NoError;
    }
    QStringList childKeys(const QString &group) const override
    {
        return inGroup(group, &QSettings::childKeys);
    }
    QStringList childGroups(const QString &group) const override
    {
        return inGroup(group, &QSettings::childGroups);
    }

private:
    // Only listings need the group entered; every other call takes it in the key.
    mutable QSettings settings;
    // Where the settings were opened, for what QSettings cannot ask: none
    // for a path it names no hive of.
    HKEY root = nullptr;
    QString below;

    QStringList inGroup(const QString &group, QStringList (QSettings::*list)() const) const
    {
        settings.beginGroup(group);
        const QStringList names = (settings.*list)();
        settings.endGroup();
        return names;
    }
};

// The registry has no transactions: each write lands on its own, and the
// callers learn of failures through the settings' status.
class WinRegistryTransaction final : public RegistryTransactionBackend
{
public:
    bool commit() override { return true; }
    // Nothing can be undone: every write has landed as it was made.
    bool rollback() override { return false; }
};

// Nor snapshots: each read sees the registry as it is at that moment, and
// no reader ever waits for a writer, so no read is left undone.
class WinRegistrySnapshot final : public RegistrySnapshotBackend
{
public:
    bool isComplete() const override { return true; }
};

} // namespace

PELLVARIN_REGISTRY_BACKENDS(WinRegistryBackend, WinRegistryTransaction, WinRegistrySnapshot)

// QSettings on Windows reports every failed write as an AccessError and
// keeps the Win32 error to itself, so there is no reason to give.
RegistryFailure lastRegistryFailure()
{
    return {};
}
