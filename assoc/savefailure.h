#pragma once

// Why the last Save could not be written, for the window to say in words
// the user can act on. The registry's own reasons, passed on unchanged, so
// that the window needs the engine alone.

#include "engineexport.h"
#include "registrysettings.h"

using SaveFailure = RegistryFailureKind;
using SaveFailureReason = RegistryFailure;

PELLVARIN_ENGINE_EXPORT SaveFailureReason lastSaveFailure();
