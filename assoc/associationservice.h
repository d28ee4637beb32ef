#pragma once

#include "engineexport.h"

#include "formatselection.h"
#include "identity.h"

#include <QString>

// Vista and later own the choice of defaults themselves.
PELLVARIN_ENGINE_EXPORT bool isVistaOrLater();
// The same test on a version in QSysInfo::WinVersion numbering (0x80 Vista).
PELLVARIN_ENGINE_EXPORT bool isVistaOrLater(int winVersion);
// The viewer's entry under the registered applications exists.
PELLVARIN_ENGINE_EXPORT bool isAppInstalled();

// Opens the system's page for the viewer's defaults; says why in a message
// box when it cannot.
PELLVARIN_ENGINE_EXPORT void launchAssociationPage();
// ok, when given, tells whether the service accepted the request.
PELLVARIN_ENGINE_EXPORT void makeAppDefaultThroughService(bool *ok);
// Appends, for every format the viewer registered, which extensions open
// with it now; the result is the service's own overall answer.
PELLVARIN_ENGINE_EXPORT bool queryDefaultsThroughService(SelectionList *list);
