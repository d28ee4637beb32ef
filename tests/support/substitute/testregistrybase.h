#pragma once

// What the substitute's own tests reach past the fixture's calls: the
// registry's file, its store, and the emulator's headers with them.

#include "fifof.h"
#include "regfile.h"
#include "registrydump.h"
#include "registryfile.h"
#include "registrystore.h"

#include <QTemporaryDir>

#include <memory>

struct TestRegistryBase
{
    static RegKeyPath key(const QString &path) { return *parseKeyPath(path); }

    QTemporaryDir dir;
    QString fileName;
    std::shared_ptr<RegistryStore> store;
};
