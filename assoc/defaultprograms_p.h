#pragma once

// What the Vista-and-later path makes of the numbers Windows reports, as pure
// functions, so that each boundary can be tried without that Windows. The
// releases themselves are told apart in platform's windowsversion.h.

#include "engineexport.h"

#include <QString>

// Settings' Default apps page; from Windows 11 (by its build number, NT 10.0
// being shared with Windows 10) the viewer's own page on it.
PELLVARIN_AUTOTEST_EXPORT QString defaultAppsPageUri(int windowsBuild);
