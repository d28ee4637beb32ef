#include "registrysettings.h"

#include "registrysettings_p.h"

// As QSettings does it: groups and keys are normalised and joined here, so
// that every backend sees one full name per operation.

namespace {

// "/a//b/" becomes "a/b": separators collapse and none starts or ends a name.
QString normalizedKey(const QString &key)
{
    return key.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

} // namespace

class RegistrySettings::Private
{
public:
    // The platform's access to the location the settings were opened on.
    std::unique_ptr<RegistryBackend> backend;
    // The groups entered, each normalised; empty ones are kept so that
    // endGroup() pairs with beginGroup().
    QStringList groups;
    // AccessError from the first refused write on.
    QSettings::Status status = QSettings::NoError;

    QString group() const
    {
        QStringList parts;
        for (const QString &g : groups) {
            if (!g.isEmpty())
                parts.append(g);
        }
        return parts.join(QLatin1Char('/'));
    }

    QString actualKey(const QString &key) const
    {
        const QString prefix = group();
        const QString name = normalizedKey(key);
        return prefix.isEmpty() ? name : name.isEmpty() ? prefix : prefix + QLatin1Char('/') + name;
    }

    void check(bool ok)
    {
        if (!ok)
            status = QSettings::AccessError;
    }

    // Qt's native settings on Windows ignore a failed RegDeleteValue and
    // skip a key they cannot open, so a removal is only known to have landed
    // when neither a value nor a key of that name is left.
    bool isGone(const QString &name) const
    {
        return !backend->contains(name) && !backend->containsGroup(name);
    }

    bool isEmptyAtTop() const
    {
        return backend->childKeys(QString()).isEmpty() && backend->childGroups(QString()).isEmpty();
    }
};

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

RegistrySettings::RegistrySettings(const QString &nativePath)
    : RegistrySettings(createRegistryBackend(nativePath))
{
}

RegistrySettings::RegistrySettings(std::unique_ptr<RegistryBackend> backend)
    : d(std::make_unique<Private>())
{
    d->backend = std::move(backend);
}

RegistrySettings::~RegistrySettings() = default;

void RegistrySettings::beginGroup(const QString &prefix)
{
    d->groups.append(normalizedKey(prefix));
}

void RegistrySettings::endGroup()
{
    if (!d->groups.isEmpty())
        d->groups.removeLast();
}

bool RegistrySettings::contains(const QString &key) const
{
    const QString name = d->actualKey(key);
    return !name.isEmpty() && d->backend->contains(name);
}

QVariant RegistrySettings::value(const QString &key) const
{
    const QString name = d->actualKey(key);
    return name.isEmpty() ? QVariant() : d->backend->value(name);
}

void RegistrySettings::setValue(const QString &key, const QString &value)
{
    const QString name = d->actualKey(key);
    d->check(!name.isEmpty() && d->backend->setValue(name, value));
}

void RegistrySettings::remove(const QString &key)
{
    // An empty name removes the current group, or at the top everything the
    // location holds, as QSettings::remove does.
    const QString name = d->actualKey(key);
    if (name.isEmpty())
        d->check(d->backend->clear() && d->isEmptyAtTop());
    else
        d->check(d->backend->remove(name) && d->isGone(name));
}

QStringList RegistrySettings::childKeys() const
{
    return d->backend->childKeys(d->group());
}

QStringList RegistrySettings::childGroups() const
{
    return d->backend->childGroups(d->group());
}

QSettings::Status RegistrySettings::status() const
{
    return d->status;
}

// ---------------------------------------------------------------------------

RegistryTransaction::RegistryTransaction() : d(createRegistryTransactionBackend()) {}
RegistryTransaction::~RegistryTransaction() = default;

bool RegistryTransaction::commit()
{
    return d->commit();
}

bool RegistryTransaction::rollback()
{
    return d->rollback();
}

// ---------------------------------------------------------------------------

RegistrySnapshot::RegistrySnapshot() : d(createRegistrySnapshotBackend()) {}
RegistrySnapshot::~RegistrySnapshot() = default;

bool RegistrySnapshot::isComplete() const
{
    return d->isComplete();
}
