#include "registryfailure.h"

// QSettings on Windows reports every failed write as an AccessError and
// keeps the Win32 error to itself, so there is no reason to give.
RegistryFailure lastRegistryFailure()
{
    return {};
}
