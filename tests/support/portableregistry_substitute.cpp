#include "portableregistry.h"

#include <QDir>
#include <QTemporaryDir>

// A new registry file for every registry, made the default for everything
// the test then calls.
struct PortableRegistry::Platform
{
    QTemporaryDir dir;
};

PortableRegistry::PortableRegistry() : platform(std::make_unique<Platform>())
{
    static int serial = 0;
    const QString file = platform->dir.filePath(QStringLiteral("registry%1.sqlite").arg(++serial));
    qputenv("PELLVARIN_REGISTRY", QFile::encodeName(file));
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
