#pragma once

// The Windows generations the engine tells apart, as pure functions of the
// numbers it reads, so that each boundary can be tried without that Windows.

#include "engineexport.h"

#include <QString>

// Vista (0x80 in QSysInfo::WinVersion numbering) and later own the choice of
// defaults themselves.
PELLVARIN_AUTOTEST_EXPORT bool isWindowsVistaOrLater(int winVersion);
// From Windows 8 (0xa0) the service no longer makes an application the
// default, and answers only QueryCurrentDefault reliably.
PELLVARIN_AUTOTEST_EXPORT bool isWindows8OrLater(int winVersion);
// From Windows 10 (0xc0) the defaults are chosen in Settings.
PELLVARIN_AUTOTEST_EXPORT bool isWindows10OrLater(int winVersion);
// Settings' Default apps page; from Windows 11 (by its build number, NT 10.0
// being shared with Windows 10) the viewer's own page on it.
PELLVARIN_AUTOTEST_EXPORT QString defaultAppsPageUri(int windowsBuild);
