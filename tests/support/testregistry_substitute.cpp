#include "testregistry.h"

#include "shellnotify.h"
#include "shellrecord.h"

#include <algorithm>

namespace {

// In the form the Windows fixture reads through the registry settings, so
// that a test may spell out what it expects once: a string as
// "name=QString:text", the unnamed value as ".", and other types as their
// number and bytes in hex.
void dumpInto(const RegistryStore &store, const QString &path, QStringList &lines)
{
    const RegKeyPath key = TestRegistry::key(path);
    lines.append(QLatin1Char('[') + path + QLatin1Char(']'));
    QStringList values;
    for (const RegValue &v : store.values(key)) {
        const QString name = v.name.isEmpty() ? QStringLiteral(".") : v.name;
        if (v.type == RegType::Sz)
            values.append(name + QStringLiteral("=QString:") + decodeRegSz(v.data));
        else
            values.append(name + QLatin1Char('=') + QString::number(v.type) + QLatin1Char(':') +
                          QString::fromLatin1(v.data.toHex()));
    }
    std::sort(values.begin(), values.end());
    lines += values;
    QStringList subkeys = store.subkeyNames(key);
    std::sort(subkeys.begin(), subkeys.end());
    for (const QString &sub : subkeys)
        dumpInto(store, path + QLatin1Char('\\') + sub, lines);
}

} // namespace

// A new registry file for every registry, reached through the store that
// the engine itself opens on it.
TestRegistry::TestRegistry()
{
    static int serial = 0;
    reopenAt(dir.filePath(QStringLiteral("registry%1.sqlite").arg(++serial)));
}

bool TestRegistry::underWine()
{
    return false;
}

std::optional<qint64> TestRegistry::notifications() const
{
    return ShellRecord(*store).notifications(associationsChangedEvent).count;
}

bool TestRegistry::set(const QString &path, const QString &name, const QString &value)
{
    return setData(path, name, RegType::Sz, encodeRegSz(value));
}

bool TestRegistry::setData(const QString &path, const QString &name, quint32 type,
                           const QByteArray &data)
{
    return seeded(path, store->setValue(key(path), name, type, data));
}

bool TestRegistry::createKey(const QString &path)
{
    return seeded(path, store->createKey(key(path)));
}

bool TestRegistry::removeValue(const QString &path, const QString &name)
{
    return seeded(path, store->removeValue(key(path), name));
}

bool TestRegistry::removeKey(const QString &path)
{
    return seeded(path, store->removeKey(key(path)));
}

std::optional<QString> TestRegistry::get(const QString &path, const QString &name) const
{
    const auto v = store->value(key(path), name);
    if (!v)
        return std::nullopt;
    return decodeRegSz(v->data);
}

bool TestRegistry::exists(const QString &path) const
{
    return store->keyExists(key(path));
}

QStringList TestRegistry::valueNames(const QString &path) const
{
    QStringList names = store->valueNames(key(path));
    std::sort(names.begin(), names.end());
    return names;
}

QStringList TestRegistry::subkeyNames(const QString &path) const
{
    QStringList names = store->subkeyNames(key(path));
    std::sort(names.begin(), names.end());
    return names;
}

QStringList TestRegistry::dump(const QString &path) const
{
    QStringList lines;
    dumpInto(*store, path, lines);
    return lines;
}

QStringList TestRegistry::everything() const
{
    return machineLines() + dump(QStringLiteral("HKEY_CURRENT_USER"));
}

QStringList TestRegistry::machineLines() const
{
    return dump(QStringLiteral("HKEY_LOCAL_MACHINE"));
}

bool TestRegistry::import(const QString &regFile, QString *error)
{
    const bool ok = importRegFile(*store, regFile, error);
    seededMachine();
    return ok;
}

bool TestRegistry::refuseWrites()
{
    // A read-only copy under a name of its own: a file put in the place of
    // one still open would meet the old one's log.
    const QString copy = fileName + QStringLiteral(".readonly");
    if (!copyRegistryFile(fileName, copy) || !QFile::setPermissions(copy, QFile::ReadOwner))
        return false;
    reopenAt(copy);
    return store->isUsable() && !store->isWritable();
}

void TestRegistry::reopenAt(const QString &file)
{
    fileName = file;
    qputenv("PELLVARIN_REGISTRY", QFile::encodeName(fileName));
    store = RegistryStore::openDefault();
    seededMachine();
}
