#include "registryfailure.h"

RegistryFailure whyRegistryFailed()
{
    return lastRegistryFailure();
}
