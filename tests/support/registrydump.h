#pragma once

// The registry as lines, one per key and value, for comparing it before and
// after: a change anywhere below the root shows as a changed line.

#include "registrystore.h"

#include <QStringList>

inline void dumpRegistryKey(const RegistryStore &store, const RegKeyPath &key, QStringList &lines)
{
    lines.append(QLatin1Char('[') + key.toString() + QLatin1Char(']'));
    for (const RegValue &v : store.values(key))
        lines.append(v.name + QLatin1Char('=') + QString::number(v.type) + QLatin1Char(':') +
                     QString::fromLatin1(v.data.toHex()));
    for (const QString &sub : store.subkeyNames(key))
        dumpRegistryKey(store, key.child(sub), lines);
}

// The machine's hive and the user's, which are all a registry holds: the
// classes root is a view of the two.
inline QStringList dumpRegistry(const RegistryStore &store)
{
    QStringList lines;
    for (const char *hive : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"})
        dumpRegistryKey(store, *parseKeyPath(QLatin1String(hive)), lines);
    return lines;
}
