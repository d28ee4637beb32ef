#include "registrysettings.h"

// On Windows the location is Qt's own native-format settings: the real
// registry, with its merged classes view kept by the system.
class RegistrySettings::Private
{
public:
    explicit Private(const QString &path) : settings(path, QSettings::NativeFormat) {}
    QSettings settings;
};

RegistrySettings::RegistrySettings(const QString &nativePath)
    : d(std::make_unique<Private>(nativePath))
{
}

RegistrySettings::~RegistrySettings() = default;

void RegistrySettings::beginGroup(const QString &prefix)
{
    d->settings.beginGroup(prefix);
}
void RegistrySettings::endGroup()
{
    d->settings.endGroup();
}
bool RegistrySettings::contains(const QString &key) const
{
    return d->settings.contains(key);
}
QVariant RegistrySettings::value(const QString &key) const
{
    return d->settings.value(key);
}

void RegistrySettings::setValue(const QString &key, const QString &value)
{
    d->settings.setValue(key, value);
}

void RegistrySettings::remove(const QString &key)
{
    d->settings.remove(key);
}
QStringList RegistrySettings::childKeys() const
{
    return d->settings.childKeys();
}
QStringList RegistrySettings::childGroups() const
{
    return d->settings.childGroups();
}
QSettings::Status RegistrySettings::status() const
{
    return d->settings.status();
}

// The registry has no transactions; each write lands on its own, and the
// callers learn of failures through status().
class RegistryTransaction::Private
{
};

RegistryTransaction::RegistryTransaction() : d(std::make_unique<Private>()) {}
RegistryTransaction::~RegistryTransaction() = default;
bool RegistryTransaction::commit()
{
    return true;
}
// Nothing can be undone: every write has landed as it was made.
bool RegistryTransaction::rollback()
{
    return false;
}

// Nor snapshots: each read sees the registry as it is at that moment.
class RegistrySnapshot::Private
{
};

RegistrySnapshot::RegistrySnapshot() = default;
RegistrySnapshot::~RegistrySnapshot() = default;
