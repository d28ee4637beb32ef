#include "registryfailure.h"
#include "registrystore.h"

#include <QDir>

// The store of this process remembers why its last write failed, or why it
// refuses the file altogether.
RegistryFailure lastRegistryFailure()
{
    const auto store = RegistryStore::openDefault();
    RegistryFailure failure;
    switch (store->problem()) {
    case RegistryStore::Problem::DiskFull:
        failure.kind = RegistryFailureKind::DiskFull;
        break;
    case RegistryStore::Problem::ReadOnly:
        failure.kind = RegistryFailureKind::ReadOnly;
        break;
    case RegistryStore::Problem::Damaged:
        failure.kind = RegistryFailureKind::Damaged;
        break;
    case RegistryStore::Problem::Busy:
        failure.kind = RegistryFailureKind::Busy;
        break;
    default:
        break;
    }
    if (failure.kind != RegistryFailureKind::Unknown)
        failure.file = QDir::toNativeSeparators(store->fileName());
    return failure;
}
