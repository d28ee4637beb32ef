#pragma once

#include "assocservice.h"
#include "engineexport.h"

#include <QString>
#include <Qt>
#include <QVariant>

#include <optional>

// The item role under which format list items carry their FreeImage format
// id: 33, which was Qt::UserRole + 1 when the viewer was written; Qt 5 moved
// Qt::UserRole to 256, and the number is what callers store and read.
constexpr int FormatIdRole = 33;

// "Talvimor." and the format's FreeImage name: Talvimor.PNG for PNG.
PELLVARIN_ENGINE_EXPORT QString progIdOf(int fif);

// "." and the extension, as it names a key.
PELLVARIN_ENGINE_EXPORT QString extensionKey(const QString &extension);

// The key of an extension, or nothing, with a debug line, when the name
// could not address exactly that one key. The reader and the writer skip the
// same extensions, so that what one writes the other reads back.
std::optional<QString> extensionKeyIfSafe(const QString &extension);

// A name taken from the registry or from a plug-in must stand for exactly
// one key or value: either separator would address a deeper key, a NUL
// would end the name early, and a name past the registry's limit, or with a
// line break that no .reg file can carry, would fail the whole save over one
// odd entry.
bool isSafeName(const QString &name, qsizetype limit);

// The ProgId a registry value names: only a string value names one, and ""
// does not. QVariant's conversions would take a one-string list, a number or
// bytes for the text they convert to, which the shell would not.
QString progIdIn(const QVariant &value);
