#include "portableregistry.h"

#include "registryfile.h"
#include "registrystore.h"
#include "shellnotify.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// A new registry file for every registry, made the default for everything
// the test then calls.
struct PortableRegistry::Platform
{
    QTemporaryDir dir;
    QString file;
};

PortableRegistry::PortableRegistry() : platform(std::make_unique<Platform>())
{
    static int serial = 0;
    platform->file = platform->dir.filePath(QStringLiteral("registry%1.sqlite").arg(++serial));
    qputenv("PELLVARIN_REGISTRY", QFile::encodeName(platform->file));
    machineSeed = machineLines();
}

PortableRegistry::~PortableRegistry()
{
    checkMachine();
}

bool PortableRegistry::underWine()
{
    return false;
}

std::optional<qint64> PortableRegistry::notifications() const
{
    return RegistryStore::openDefault()->notifications(associationsChangedEvent).count;
}

bool PortableRegistry::setData(const QString &path, const QString &name, quint32 type,
                               const QByteArray &data)
{
    const std::optional<RegKeyPath> key = parseKeyPath(path);
    const bool ok = key && RegistryStore::openDefault()->setValue(*key, name, type, data);
    if (path.startsWith(QLatin1String("HKEY_LOCAL_MACHINE"), Qt::CaseInsensitive))
        machineSeed = machineLines();
    return ok;
}

bool PortableRegistry::refuseWrites()
{
    // A read-only copy under a name of its own: a file put in the place of
    // one still open would meet the old one's log.
    const QString copy = platform->file + QStringLiteral(".readonly");
    if (!copyRegistryFile(platform->file, copy) || !QFile::setPermissions(copy, QFile::ReadOwner))
        return false;
    platform->file = copy;
    qputenv("PELLVARIN_REGISTRY", QFile::encodeName(platform->file));
    const auto store = RegistryStore::openDefault();
    return store->isUsable() && !store->isWritable();
}
