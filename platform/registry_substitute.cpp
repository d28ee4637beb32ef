#include "registrysettings.h"
#include "registrystore.h"

namespace {

// QSettings' Windows backend swaps the two separators between its own names
// and the registry's (escapedKey in qsettings_win.cpp): "/" separates keys,
// and a "\\" inside a part is a "/" in the registry name, which a key name
// may hold. Listings swap them back. The swap is its own inverse.
QString swapSeparators(QString name)
{
    for (QChar &c : name) {
        if (c == QLatin1Char('\\'))
            c = QLatin1Char('/');
        else if (c == QLatin1Char('/'))
            c = QLatin1Char('\\');
    }
    return name;
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

// "Default" and "." address the unnamed value, exactly spelt, as in
// QSettings' Windows backend.
QString valueName(const QString &last)
{
    if (last == QLatin1String("Default") || last == QLatin1String("."))
        return QString();
    return last;
}

QVariant toVariant(const RegValue &v)
{
    switch (v.type) {
    case RegType::Sz:
    case RegType::ExpandSz:
        return decodeRegSz(v.data);
    case RegType::MultiSz: {
        QStringList list;
        const QString all = QString::fromUtf16(
            reinterpret_cast<const char16_t *>(v.data.constData()), v.data.size() / 2);
        for (const QString &s : all.split(QChar(0), Qt::SkipEmptyParts))
            list.append(s);
        return list;
    }
    case RegType::Dword:
        if (v.data.size() == 4) {
            const auto *b = reinterpret_cast<const uchar *>(v.data.constData());
            return int(quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 |
                       quint32(b[3]) << 24);
        }
        break;
    case RegType::Qword:
        if (v.data.size() == 8) {
            quint64 q = 0;
            for (int i = 7; i >= 0; --i)
                q = q << 8 | uchar(v.data[i]);
            return qint64(q);
        }
        break;
    default:
        break;
    }
    return v.data;
}

} // namespace

class RegistrySettings::Private
{
public:
    std::shared_ptr<RegistryStore> store;
    std::optional<RegKeyPath> base;
    QStringList groups; // one entry per beginGroup, each a path of parts
    QSettings::Status status = QSettings::NoError;

    RegKeyPath current() const
    {
        RegKeyPath key = *base;
        for (const QString &g : groups)
            key.parts += splitName(g);
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
        RegKeyPath key = current();
        key.parts += parts;
        return std::make_pair(key, valueName(last));
    }

    void fail() { status = QSettings::AccessError; }
};

RegistrySettings::RegistrySettings(const QString &nativePath) : d(std::make_unique<Private>())
{
    d->store = RegistryStore::openDefault();
    d->base = parseKeyPath(nativePath);
}

RegistrySettings::~RegistrySettings() = default;

void RegistrySettings::beginGroup(const QString &prefix)
{
    d->groups.append(prefix);
}

void RegistrySettings::endGroup()
{
    if (!d->groups.isEmpty())
        d->groups.removeLast();
}

bool RegistrySettings::contains(const QString &key) const
{
    const auto where = d->locate(key);
    return where && d->store->value(where->first, where->second).has_value();
}

QVariant RegistrySettings::value(const QString &key) const
{
    const auto where = d->locate(key);
    if (!where)
        return QVariant();
    const auto v = d->store->value(where->first, where->second);
    return v ? toVariant(*v) : QVariant();
}

void RegistrySettings::setValue(const QString &key, const QString &value)
{
    const auto where = d->locate(key);
    if (!where || !d->store->setValue(where->first, where->second, RegType::Sz, encodeRegSz(value)))
        d->fail();
}

void RegistrySettings::remove(const QString &key)
{
    if (!d->base) {
        d->fail();
        return;
    }
    const QStringList parts = splitName(key);
    RegKeyPath target = d->current();
    RegistryStore &store = *d->store;
    bool ok;
    if (parts.isEmpty()) {
        // As QSettings does for an empty name: empty the current key but keep it.
        ok = atomically(store, [&] {
            bool all = true;
            for (const QString &g : store.subkeyNames(target))
                all = all && store.removeKey(target.child(g));
            for (const QString &v : store.valueNames(target))
                all = all && store.removeValue(target, v);
            return all;
        });
    } else {
        const auto where = d->locate(key);
        target.parts += parts;
        ok = atomically(store, [&] {
            return store.removeValue(where->first, where->second) && store.removeKey(target);
        });
    }
    if (!ok)
        d->fail();
}

QStringList RegistrySettings::childKeys() const
{
    if (!d->base)
        return {};
    QStringList names = d->store->valueNames(d->current());
    for (QString &n : names)
        n = n.isEmpty() ? QStringLiteral(".") : swapSeparators(n);
    std::sort(names.begin(), names.end());
    return names;
}

QStringList RegistrySettings::childGroups() const
{
    if (!d->base)
        return {};
    QStringList names = d->store->subkeyNames(d->current());
    for (QString &n : names)
        n = swapSeparators(n);
    std::sort(names.begin(), names.end());
    return names;
}

QSettings::Status RegistrySettings::status() const
{
    return d->status;
}

// ---------------------------------------------------------------------------

class RegistryTransaction::Private
{
public:
    std::shared_ptr<RegistryStore> store;
    bool open = false;
    bool finished = false;
    bool finish(bool keep);
};

RegistryTransaction::RegistryTransaction() : d(std::make_unique<Private>())
{
    d->store = RegistryStore::openDefault();
    d->open = d->store->beginTransaction();
    if (!d->open)
        d->store->suspendWrites();
}

RegistryTransaction::~RegistryTransaction()
{
    if (d->open)
        d->store->rollbackTransaction();
    else if (!d->finished)
        d->store->resumeWrites();
}

// Ends the transaction; one that never began had every write refused.
bool RegistryTransaction::Private::finish(bool keep)
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

bool RegistryTransaction::rollback()
{
    return d->finish(false);
}
bool RegistryTransaction::commit()
{
    return d->finish(true);
}

// ---------------------------------------------------------------------------

class RegistrySnapshot::Private
{
public:
    std::shared_ptr<RegistryStore> store = RegistryStore::openDefault();
};

RegistrySnapshot::RegistrySnapshot() : d(std::make_unique<Private>())
{
    d->store->beginSnapshot();
}

RegistrySnapshot::~RegistrySnapshot()
{
    d->store->endSnapshot();
}
