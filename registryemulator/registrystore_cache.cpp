// The rows of one hive: keys found by walking names down from a root, with
// the ids met on the way cached until another connection commits, and the
// values of one key read, listed, written and erased.

#include "registrystore_p.h"

#include <algorithm>

namespace {

// Enough for the keys a caller goes back to, and not one entry for each key
// of a registry of millions walked or filled once: past it the cache starts
// over, which costs a lookup in the file for each key met again.
constexpr qsizetype maxCachedKeys = 1 << 16;

void remember(QHash<QPair<qint64, QString>, qint64> &cache, const QPair<qint64, QString> &key,
              qint64 id)
{
    if (cache.size() >= maxCachedKeys)
        cache.clear();
    cache.insert(key, id);
}

} // namespace

QStringList RegistryStore::Private::sortedUnique(QStringList names)
{
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// Whether the store can be used, with the key cache made current first.
bool RegistryStore::Private::ready()
{
    if (errors.damaged && usable)
        refuse(Problem::Damaged, QStringLiteral("is damaged"));
    // Read unlocked, the file must be what it was when opened.
    if (immutable && usable && depth == 0 && !readOpen && changedUnderneath())
        openPending = true;
    if (openPending && !retryOpen() && openPending) {
        ++readFailures; // still locked out: unknown, not empty
        return false;
    }
    if (!usable)
        return false;
    if (readBlocked) {
        failRead();
        return false;
    }
    if (depth > 0 || readOpen)
        return true; // nobody else can commit while we hold the lock
    return current();
}

bool RegistryStore::Private::current()
{
    // Without knowing whether another program committed, no remembered key
    // can be trusted: the read fails rather than answer from the past.
    if (dataVersionQuery.reset().step() != SQLITE_ROW) {
        dataVersionQuery.reset();
        failRead();
        return false;
    }
    const qint64 v = dataVersionQuery.int64(0);
    dataVersionQuery.reset();
    if (v != dataVersion) {
        keyCache.clear();
        dataVersion = v;
    }
    return true;
}

qint64 RegistryStore::Private::childId(qint64 parent, const QString &name)
{
    if (!registryTakesKeyName(name))
        return 0;
    const QPair<qint64, QString> cacheKey(parent, foldName(name));
    const auto hit = keyCache.constFind(cacheKey);
    if (hit != keyCache.constEnd())
        return *hit;
    qint64 id = 0;
    findKey.reset().bind(parent).bind(cacheKey.second);
    const int rc = findKey.step();
    if (rc == SQLITE_ROW)
        id = findKey.int64(0);
    findKey.reset();
    // A lookup that failed found nothing out: remembering it as missing
    // would answer "absent" long after the lock is gone.
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        failRead();
        return 0;
    }
    remember(keyCache, cacheKey, id);
    return id;
}

qint64 RegistryStore::Private::resolve(qint64 root, const QStringList &parts)
{
    qint64 id = root;
    for (const QString &part : parts) {
        id = childId(id, part);
        if (id == 0)
            return 0;
    }
    return id;
}

qint64 RegistryStore::Private::create(qint64 root, const QStringList &parts)
{
    if (parts.size() > maxKeyDepth)
        return 0;
    qint64 id = root;
    for (const QString &part : parts) {
        qint64 next = childId(id, part);
        if (next == 0) {
            if (!registryTakesKeyName(part) || !hasNoLineBreak(part))
                return 0;
            const QString folded = foldName(part);
            if (!insertKey.reset().bind(id).bind(part).bind(folded).exec())
                return 0;
            next = sqlite3_last_insert_rowid(db);
            remember(keyCache, qMakePair(id, folded), next);
        }
        id = next;
    }
    return id;
}

std::optional<RegValue> RegistryStore::Private::readValue(qint64 key, const QString &name)
{
    if (!registryTakesValueName(name))
        return std::nullopt;
    getValue.reset().bind(key).bind(foldName(name));
    std::optional<RegValue> v;
    const int rc = getValue.step();
    if (rc == SQLITE_ROW)
        v = RegValue{getValue.text(0), quint32(getValue.int64(1)), getValue.blob(2)};
    getValue.reset();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        failRead();
    return v;
}

QStringList RegistryStore::Private::names(qint64 key, bool values)
{
    SqliteStatement &q = values ? listValues : listKeys;
    q.reset().bind(key);
    QStringList out;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW)
        out.append(q.text(0));
    q.reset();
    // Part of a listing is no listing.
    if (rc != SQLITE_DONE) {
        failRead();
        return {};
    }
    return sortedUnique(out);
}

bool RegistryStore::Private::writeValue(qint64 key, const QString &name, quint32 type,
                                        const QByteArray &data)
{
    if (!registryTakesValueName(name) || !hasNoLineBreak(name))
        return false;
    return putValue.reset()
        .bind(key)
        .bind(name)
        .bind(foldName(name))
        .bind(qint64(type))
        .bind(data)
        .exec();
}

bool RegistryStore::Private::eraseValue(qint64 key, const QString &name)
{
    if (!registryTakesValueName(name))
        return true; // it cannot be there
    return deleteValue.reset().bind(key).bind(foldName(name)).exec();
}

bool RegistryStore::Private::eraseTree(qint64 key)
{
    keyCache.clear();
    return deleteTreeValues.reset().bind(key).exec() && deleteTreeKeys.reset().bind(key).exec();
}
