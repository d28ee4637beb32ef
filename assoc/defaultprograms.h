#pragma once

// The Vista-and-later path: which Windows generation the machine is, and
// what the engine asks of Windows' association service and its page.

#include "engineexport.h"

#include "formatselection.h"
#include "identity.h"

#include <QString>

// Vista and later own the choice of defaults themselves.
PELLVARIN_ENGINE_EXPORT bool isVistaOrLater();
// The viewer's entry under the registered applications exists.
PELLVARIN_ENGINE_EXPORT bool isAppInstalled();

// Opens the system's page for the viewer's defaults (Settings from Windows
// 10 on); says why in a message box when it cannot.
PELLVARIN_ENGINE_EXPORT void launchAssociationPage();
// ok, when given, tells whether the service accepted the request; from
// Windows 8 on, whether the viewer is now the default for everything.
PELLVARIN_ENGINE_EXPORT void makeAppDefaultThroughService(bool *ok);
// Appends, for every format the viewer registered, which extensions open
// with it now; the result is the service's own overall answer. From Windows
// 8 on the same two questions are answered from each extension's current
// default: a bit is set when one of the viewer's ProgIds that claim the
// extension has it, and the result is whether every extension the viewer
// declares opens with the ProgId it declares.
PELLVARIN_ENGINE_EXPORT bool queryDefaultsThroughService(SelectionList *list);
