#include "savefailure.h"

SaveFailureReason lastSaveFailure()
{
    return lastRegistryFailure();
}
