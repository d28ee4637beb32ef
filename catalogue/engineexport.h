#pragma once

#include <QtGlobal>

// PELLVARIN_ENGINE_EXPORT marks what the engine library offers its users.
// The build defines it: Q_DECL_EXPORT while the library itself is compiled,
// Q_DECL_IMPORT for everything that links it, the viewer included.
