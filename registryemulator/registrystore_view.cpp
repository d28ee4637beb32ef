// Keys and values as callers name them. HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER are rows of their own; HKEY_CLASSES_ROOT is a view that
// merges the per-user classes over the machine classes, as Windows does:
// reads prefer the per-user copy, and each write goes to the one copy that
// Windows would write.

#include "registrystore_p.h"

#include <QSet>

namespace {

// A key of the file: one hive's root and the names below it.
struct Resolved
{
    qint64 root;       // machineRootId or userRootId
    QStringList parts; // key names below that root
};

// The merged view's two copies, each with the classes' own path in front.
Resolved userClasses(const RegKeyPath &key)
{
    return {userRootId,
            QStringList{QStringLiteral("Software"), QStringLiteral("Classes")} + key.parts};
}

Resolved machineClasses(const RegKeyPath &key)
{
    return {machineRootId,
            QStringList{QStringLiteral("SOFTWARE"), QStringLiteral("Classes")} + key.parts};
}

Resolved direct(const RegKeyPath &key)
{
    return {key.hive == Hive::CurrentUser ? userRootId : machineRootId, key.parts};
}

// Merges two listings so that each name appears once whatever its case;
// the per-user spelling wins, as in the merged classes view.
QStringList mergeNames(const QStringList &user, const QStringList &machine)
{
    QStringList merged = user;
    QSet<QString> seen;
    for (const QString &n : user)
        seen.insert(foldName(n));
    for (const QString &n : machine) {
        if (!seen.contains(foldName(n))) {
            seen.insert(foldName(n));
            merged.append(n);
        }
    }
    return RegistryStore::Private::sortedUnique(merged);
}

// The value or subkey names of a key, merged through the view where it is one.
QStringList listNames(RegistryStore::Private &d, const RegKeyPath &key, bool values)
{
    if (!d.ready())
        return {};
    auto list = [&](const Resolved &r) {
        const qint64 id = d.resolve(r.root, r.parts);
        return id ? d.names(id, values) : QStringList();
    };
    if (key.hive == Hive::ClassesRoot)
        return mergeNames(list(userClasses(key)), list(machineClasses(key)));
    return list(direct(key));
}

} // namespace

bool RegistryStore::keyExists(const RegKeyPath &key) const
{
    if (!d->ready())
        return false;
    if (key.hive == Hive::ClassesRoot) {
        const Resolved u = userClasses(key), m = machineClasses(key);
        return d->resolve(u.root, u.parts) || d->resolve(m.root, m.parts);
    }
    const Resolved r = direct(key);
    return d->resolve(r.root, r.parts) != 0;
}

std::optional<RegValue> RegistryStore::value(const RegKeyPath &key, const QString &name) const
{
    if (!d->ready())
        return std::nullopt;
    if (key.hive == Hive::ClassesRoot) {
        const Resolved u = userClasses(key);
        if (const qint64 id = d->resolve(u.root, u.parts)) {
            if (auto v = d->readValue(id, name))
                return v;
        }
        const Resolved m = machineClasses(key);
        const qint64 id = d->resolve(m.root, m.parts);
        return id ? d->readValue(id, name) : std::nullopt;
    }
    const Resolved r = direct(key);
    const qint64 id = d->resolve(r.root, r.parts);
    return id ? d->readValue(id, name) : std::nullopt;
}

QList<RegValue> RegistryStore::values(const RegKeyPath &key) const
{
    QList<RegValue> out;
    for (const QString &name : valueNames(key)) {
        if (auto v = value(key, name))
            out.append(*v);
    }
    return out;
}

QStringList RegistryStore::valueNames(const RegKeyPath &key) const
{
    return listNames(*d, key, true);
}

QStringList RegistryStore::subkeyNames(const RegKeyPath &key) const
{
    return listNames(*d, key, false);
}

bool RegistryStore::createKey(const RegKeyPath &key)
{
    return atomically(*this, [&] {
        if (key.hive == Hive::ClassesRoot) {
            // Opening a key that either copy has creates nothing; a new key
            // created through the view goes to the machine copy.
            const Resolved u = userClasses(key), m = machineClasses(key);
            return d->resolve(u.root, u.parts) != 0 || d->create(m.root, m.parts) != 0;
        }
        const Resolved r = direct(key);
        return d->create(r.root, r.parts) != 0;
    });
}

bool RegistryStore::setValue(const RegKeyPath &key, const QString &name, quint32 type,
                             const QByteArray &data)
{
    return atomically(*this, [&] {
        Resolved target = direct(key);
        if (key.hive == Hive::ClassesRoot) {
            // Written where the key exists per user, else to the machine copy.
            const Resolved u = userClasses(key);
            target = d->resolve(u.root, u.parts) ? u : machineClasses(key);
        }
        const qint64 id = d->create(target.root, target.parts);
        return id != 0 && d->writeValue(id, name, type, data);
    });
}

bool RegistryStore::removeValue(const RegKeyPath &key, const QString &name)
{
    return atomically(*this, [&] {
        Resolved target = direct(key);
        if (key.hive == Hive::ClassesRoot) {
            // The per-user copy goes first; the machine value shows through after.
            const Resolved u = userClasses(key);
            const qint64 uid = d->resolve(u.root, u.parts);
            target = (uid && d->readValue(uid, name)) ? u : machineClasses(key);
        }
        const qint64 id = d->resolve(target.root, target.parts);
        return id == 0 || d->eraseValue(id, name);
    });
}

bool RegistryStore::removeKey(const RegKeyPath &key)
{
    return atomically(*this, [&] {
        Resolved target = direct(key);
        if (key.hive == Hive::ClassesRoot) {
            if (key.parts.isEmpty())
                return false; // the view's root is a hive too
            const Resolved u = userClasses(key);
            target = d->resolve(u.root, u.parts) ? u : machineClasses(key);
        }
        if (target.parts.isEmpty())
            return false; // a hive itself cannot be removed
        const qint64 id = d->resolve(target.root, target.parts);
        return id == 0 || d->eraseTree(id);
    });
}
