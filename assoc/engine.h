#pragma once

#include "engineexport.h"

#include "formatselection.h"

// The engine's entry points for the viewer. Each first asks whether the
// viewer is registered. Making the viewer the default and reading what is
// default then work through Windows' association service on Vista and
// later, or on the per-user registry on XP and older; starting the selector
// is the same on every Windows, since the selector itself chooses.
//
// What each needs of its caller is said beside it. "Service" means that on
// Vista and later any thread may call it, several threads at once, with a
// QCoreApplication or a QApplication, provided the thread has initialised
// COM (CoInitializeEx): the engine never does that itself. A QApplication's
// own thread is initialised by Qt's Windows platform plugin; a
// QCoreApplication's, or any other thread, is the caller's. On XP and older
// the same calls work on a hidden list widget, so they need a QApplication
// and its own thread; on any other thread, or under a QCoreApplication, they
// report failure with one debug line instead of letting Qt abort the
// process.

// Starts the selector tool from the calling program's own directory; true
// when the viewer is registered and the tool started. Needs an application
// object of either kind, which knows that directory; any thread.
PELLVARIN_ENGINE_EXPORT bool launchSelectorTool();

// Makes the viewer the default for every format it registered; ok, when
// given, tells whether that was carried out (from Windows 8 on, whether
// the viewer now has every extension it declares, which only the user can
// give it). Service; on XP a QApplication's thread, else ok is false.
PELLVARIN_ENGINE_EXPORT void makeAppDefaultForAllFormats(bool *ok);

// Which formats and extensions open with the viewer now; allDefault, when
// given, whether the viewer is the default for everything. A registry that
// cannot be read gives an empty list and false, never a partial answer.
// Service; on XP a QApplication's thread, else an empty list and false.
PELLVARIN_ENGINE_EXPORT SelectionList queryCurrentAssociations(bool *allDefault);
