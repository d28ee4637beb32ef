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
// with it now; the result is the service's own overall answer, or from
// Windows 8 on whether every one of those extensions opens with the viewer.
PELLVARIN_ENGINE_EXPORT bool queryDefaultsThroughService(SelectionList *list);
