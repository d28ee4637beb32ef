#pragma once

// Why the registry last failed this thread, for the window to say in words
// the user can act on: the platform's own reasons, passed on through the
// engine's exports, so that the window needs the engine alone. (The
// platform's lastRegistryFailure stays inside the engine, where a test
// program's own copy of the platform can define it too.)

#include "engineexport.h"
#include "registrysettings.h"

PELLVARIN_ENGINE_EXPORT RegistryFailure whyRegistryFailed();
