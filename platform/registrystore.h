#pragma once

// The store lives with the rest of the registry emulator. This header stays
// for code that finds its headers through the engine's include directories,
// which name platform/ but not the emulator.
#include "../registryemulator/registrystore.h"
