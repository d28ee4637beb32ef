#include "registrysettings.h"
#include "registrysettings_p.h"
#include "registrystore.h"

#include <QDir>

#include <utility>

namespace {

// Registry names as the settings list them: separators swapped, the
// unnamed value as ".", sorted in QString order.
QStringList settingsNames(QStringList names)
{
    for (QString &n : names)
        n = n.isEmpty() ? QStringLiteral(".") : swapSeparators(n);
    std::sort(names.begin(), names.end());
    return names;
}

// A name is a path of keys with, for values, the value's own name as its
// last part.
QStringList splitName(const QString &name)
{
    QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (QString &part : parts)
        part = swapSeparators(part);
    return parts;
}

// "Default" and "." address the unnamed value, as in QSettings' Windows
// backend.
QString valueName(const QString &last)
{
    return namesDefaultValue(last) ? QString() : last;
}

// The SQLite registry that stands in for the real one, answering as
// QSettings' Windows backend does.
class SubstituteRegistryBackend final : public RegistryBackend
{
public:
    explicit SubstituteRegistryBackend(const QString &nativePath)
        : store(RegistryStore::openDefault()), base(parseKeyPath(nativePath))
    {
    }

    bool contains(const QString &key) const override
    {
        const auto where = locate(key);
        return where && store->value(where->first, where->second).has_value();
    }

    bool containsGroup(const QString &key) const override
    {
        return base && store->keyExists(keyOf(key));
    }

    QVariant value(const QString &key) const override
    {
        const auto where = locate(key);
        if (!where)
            return QVariant();
        const auto v = store->value(where->first, where->second);
        return v ? nativeSettingsValue(*v) : QVariant();
    }

    bool setValue(const QString &key, const QString &value) override
    {
        const auto where = locate(key);
        return where &&
               store->setValue(where->first, where->second, RegType::Sz, encodeRegSz(value));
    }

    // The value of that name and the key of that name, with all below it.
    bool remove(const QString &key) override
    {
        const auto where = locate(key);
        if (!where)
            return false;
        RegKeyPath target = *base;
        target.parts += splitName(key);
        return atomically(*store, [&] {
            return store->removeValue(where->first, where->second) && store->removeKey(target);
        });
    }

    bool clear() override
    {
        if (!base)
            return false;
        return atomically(*store, [&] {
            bool all = true;
            for (const QString &g : store->subkeyNames(*base))
                all = all && store->removeKey(base->child(g));
            for (const QString &v : store->valueNames(*base))
                all = all && store->removeValue(*base, v);
            return all;
        });
    }

    QStringList childKeys(const QString &group) const override
    {
        return base ? settingsNames(store->valueNames(keyOf(group))) : QStringList();
    }

    QStringList childGroups(const QString &group) const override
    {
        return base ? settingsNames(store->subkeyNames(keyOf(group))) : QStringList();
    }

private:
    // The registry file of this thread, shared by every backend on it.
    std::shared_ptr<RegistryStore> store;
    // The location opened on; none when the path names no hive, and then
    // every operation fails or finds nothing.
    std::optional<RegKeyPath> base;

    RegKeyPath keyOf(const QString &group) const
    {
        RegKeyPath key = *base;
        key.parts += splitName(group);
        return key;
    }

    // The key a name lives in, and the value's name inside it.
    std::optional<std::pair<RegKeyPath, QString>> locate(const QString &name) const
    {
        if (!base)
            return std::nullopt;
        QStringList parts = splitName(name);
        if (parts.isEmpty())
            return std::nullopt;
        const QString last = parts.takeLast();
        RegKeyPath key = *base;
        key.parts += parts;
        return std::make_pair(key, valueName(last));
    }
};

// One write transaction of the store. One that cannot begin refuses every
// write until it ends, so that nothing lands outside it.
class SubstituteRegistryTransaction final : public RegistryTransactionBackend
{
public:
    SubstituteRegistryTransaction() : store(RegistryStore::openDefault())
    {
        open = store->beginTransaction();
        if (!open)
            store->suspendWrites();
    }

    ~SubstituteRegistryTransaction() override
    {
        if (open)
            store->rollbackTransaction();
        else if (!finished)
            store->resumeWrites();
    }

    bool commit() override { return finish(true); }
    bool rollback() override { return finish(false); }

private:
    // The registry file of this thread, shared by every backend on it.
    std::shared_ptr<RegistryStore> store;
    // The store's transaction began and has not ended yet.
    bool open = false;
    // commit() or rollback() has been called.
    bool finished = false;

    // Ends the transaction; one that never began had every write refused.
    bool finish(bool keep)
    {
        if (finished)
            return !keep;
        finished = true;
        if (!open) {
            store->resumeWrites();
            return !keep;
        }
        open = false;
        if (keep)
            return store->commitTransaction();
        store->rollbackTransaction();
        return true;
    }
};

class SubstituteRegistrySnapshot final : public RegistrySnapshotBackend
{
public:
    SubstituteRegistrySnapshot()
        : store(RegistryStore::openDefault()), failuresBefore(store->readFailures()),
          taken(store->beginSnapshot())
    {
    }
    ~SubstituteRegistrySnapshot() override { store->endSnapshot(); }

    bool isComplete() const override
    {
        return taken && store->isUsable() && store->readFailures() == failuresBefore;
    }

private:
    // The registry file of this thread, shared by every backend on it.
    std::shared_ptr<RegistryStore> store;
    // The store's count of failed reads when the snapshot began.
    qint64 failuresBefore;
    // Whether the store could take the snapshot.
    bool taken;
};

} // namespace

PELLVARIN_REGISTRY_BACKENDS(SubstituteRegistryBackend, SubstituteRegistryTransaction,
                            SubstituteRegistrySnapshot)

// The store of this thread remembers why its last write failed, or why it
// refuses the file altogether; what it refuses for other reasons (it is no
// registry, it cannot be opened) the window has no advice for.
RegistryFailure lastRegistryFailure()
{
    using Problem = RegistryStore::Problem;
    static const std::pair<Problem, RegistryFailureKind> told[] = {
        {Problem::DiskFull, RegistryFailureKind::DiskFull},
        {Problem::ReadOnly, RegistryFailureKind::ReadOnly},
        {Problem::Damaged, RegistryFailureKind::Damaged},
        {Problem::Busy, RegistryFailureKind::Busy},
        {Problem::Unsafe, RegistryFailureKind::Unsafe}};
    const auto store = RegistryStore::openDefault();
    for (const auto &[problem, kind] : told) {
        if (store->problem() == problem)
            return {kind, QDir::toNativeSeparators(store->fileName())};
    }
    return {};
}
