#include "savefailure.h"

#include "registryfailure.h"

SaveFailureReason lastSaveFailure()
{
    const RegistryFailure failure = lastRegistryFailure();
    SaveFailureReason reason;
    reason.registryFile = failure.file;
    switch (failure.kind) {
    case RegistryFailureKind::DiskFull:
        reason.kind = SaveFailure::DiskFull;
        break;
    case RegistryFailureKind::ReadOnly:
        reason.kind = SaveFailure::ReadOnly;
        break;
    case RegistryFailureKind::Damaged:
        reason.kind = SaveFailure::Damaged;
        break;
    case RegistryFailureKind::Busy:
        reason.kind = SaveFailure::Busy;
        break;
    case RegistryFailureKind::Unknown:
        break;
    }
    return reason;
}
