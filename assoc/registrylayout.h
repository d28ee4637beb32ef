#pragma once

#include "associationkeys.h"
#include "engineexport.h"

#include <QString>
#include <Qt>

// The item role under which format list items carry their FreeImage format id.
constexpr int FormatIdRole = Qt::UserRole + 1;

// "Talvimor." and the format's FreeImage name: Talvimor.PNG for PNG.
PELLVARIN_ENGINE_EXPORT QString progIdOf(int fif);

// "." and the extension, as it names a key.
PELLVARIN_ENGINE_EXPORT QString extensionKey(const QString &extension);
