#pragma once

// The .reg files live with the rest of the registry emulator. This header
// stays for code that finds its headers through the engine's include
// directories, which name platform/ but not the emulator.
#include "../registryemulator/regfile.h"
