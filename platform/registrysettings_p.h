#pragma once

// What each platform puts under RegistrySettings, RegistryTransaction and
// RegistrySnapshot, in the manner of QSettingsPrivate: the public classes
// keep the groups and the status once for all platforms, and a platform's
// file defines a backend for each and the factories below. A backend that
// leaves an operation out stays abstract, so its factory does not compile.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class RegistryBackend
{
public:
    virtual ~RegistryBackend() = default;

    // Keys are full names below the location, the groups joined by "/".
    virtual bool contains(const QString &key) const = 0;
    // Whether a key of that full name is there, asked of that one key; when
    // the registry cannot tell, it is.
    virtual bool containsGroup(const QString &key) const = 0;
    virtual QVariant value(const QString &key) const = 0;
    // These return false when the registry refused the write.
    virtual bool setValue(const QString &key, const QString &value) = 0;
    virtual bool remove(const QString &key) = 0;
    // Everything at the location itself, which stays.
    virtual bool clear() = 0;
    // The names directly below group ("" for the location), sorted in
    // QString order, each once; the unnamed value as ".".
    virtual QStringList childKeys(const QString &group) const = 0;
    virtual QStringList childGroups(const QString &group) const = 0;
};

class RegistryTransactionBackend
{
public:
    virtual ~RegistryTransactionBackend() = default;
    virtual bool commit() = 0;
    virtual bool rollback() = 0;
};

// Holds the snapshot for as long as it lives.
class RegistrySnapshotBackend
{
public:
    virtual ~RegistrySnapshotBackend() = default;
    virtual bool isComplete() const = 0;
};

// QSettings' Windows backend swaps the two separators between its own names
// and the registry's (escapedKey in qsettings_win.cpp): "/" separates keys,
// and a "\\" inside a part is a "/" in the registry name, which a key name
// may hold. The swap is its own inverse, so listings swap them back with it.
QString swapSeparators(QString name);

std::unique_ptr<RegistryBackend> createRegistryBackend(const QString &nativePath);
std::unique_ptr<RegistryTransactionBackend> createRegistryTransactionBackend();
std::unique_ptr<RegistrySnapshotBackend> createRegistrySnapshotBackend();

// Defines the three factories of a platform's file from its backend classes.
#define PELLVARIN_REGISTRY_BACKENDS(Settings, Transaction, Snapshot)                               \
    std::unique_ptr<RegistryBackend> createRegistryBackend(const QString &nativePath)              \
    {                                                                                              \
        return std::make_unique<Settings>(nativePath);                                             \
    }                                                                                              \
    std::unique_ptr<RegistryTransactionBackend> createRegistryTransactionBackend()                 \
    {                                                                                              \
        return std::make_unique<Transaction>();                                                    \
    }                                                                                              \
    std::unique_ptr<RegistrySnapshotBackend> createRegistrySnapshotBackend()                       \
    {                                                                                              \
        return std::make_unique<Snapshot>();                                                       \
    }
