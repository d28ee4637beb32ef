#pragma once

#include "engineexport.h"

#include "formatselection.h"

// The engine's entry points for the viewer. Each first asks whether the
// viewer is registered, then works through Windows' association service on
// Vista and later, or on the per-user registry on XP and older.

// Starts the selector tool from the calling program's own directory; true
// when the viewer is registered and the tool started.
PELLVARIN_ENGINE_EXPORT bool launchSelectorTool();

// Makes the viewer the default for every format it registered; ok, when
// given, tells whether that was carried out.
PELLVARIN_ENGINE_EXPORT void makeAppDefaultForAllFormats(bool *ok);

// Which formats and extensions open with the viewer now; allDefault, when
// given, whether the viewer is the default for everything.
PELLVARIN_ENGINE_EXPORT SelectionList queryCurrentAssociations(bool *allDefault);
