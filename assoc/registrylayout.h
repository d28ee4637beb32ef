#pragma once

#include "engineexport.h"

#include <QString>
#include <Qt>

// The registry locations of the per-user association store, named by the
// labels the rest of the engine knows them by. "SOFTWARE" and "Software"
// differ only in case, which the registry ignores.
inline const QString machineClassesPath = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes");
inline const QString mergedClassesPath = QStringLiteral("HKEY_CLASSES_ROOT");
inline const QString userFileExtsPath = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts");
inline const QString userClassesPath = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Classes");

// The item role under which format list items carry their FreeImage format id.
constexpr int FormatIdRole = Qt::UserRole + 1;

// "Talvimor." and the format's FreeImage name: Talvimor.PNG for PNG.
PELLVARIN_ENGINE_EXPORT QString progIdOf(int fif);

// "." and the extension, as it names a key.
PELLVARIN_ENGINE_EXPORT QString extensionKey(const QString &extension);
