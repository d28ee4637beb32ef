#pragma once

#include "engineexport.h"
#include "registrysettings.h"
#include "windowsassociations.h"

#include <QBitArray>
#include <QList>
#include <QString>
#include <Qt>
#include <QVariant>

#include <functional>
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

// The ProgId a registry value names: only a string value names one, and ""
// does not. QVariant's conversions would take a one-string list, a number or
// bytes for the text they convert to, which the shell would not.
QString progIdIn(const QVariant &value);

// The per-user override of an extension key (FileExts\.ext "ProgId"), when
// there is such a value; one that is no string names no ProgId, but decides
// all the same.
std::optional<QString> overrideProgIdOf(const RegistrySettings &userFileExts, const QString &key);
// The ProgId the merged classes give an extension key.
QString classesProgIdOf(const RegistrySettings &mergedClasses, const QString &key);
// What ProgId the extension key opens with now (progIdOpening): the
// override, else the classes' default.
QString currentProgIdOf(const RegistrySettings &userFileExts, const RegistrySettings &mergedClasses,
                        const QString &key);

// An extension that the viewer's Default Programs capabilities declare, as
// spelled there but without its ".", and the ProgId declared for it.
struct DeclaredAssociation
{
    QString extension;
    QString progId;
};
// What the viewer declares, in value name order; nothing when it has no
// capabilities to declare them in.
std::optional<QList<DeclaredAssociation>> declaredAssociations();

// Walks the formats whose ProgId the viewer registered machine-wide, in
// format order: asks bitOf(fif, extension) for each extension of a format,
// where nothing means that the extension counts neither way, and hands the
// format's bits to take(fif, bits, all), all telling whether every bit that
// counts is set. Tells whether that held for every format.
bool walkRegisteredFormats(
    const std::function<std::optional<bool>(int fif, const QString &extension)> &bitOf,
    const std::function<void(int fif, const QBitArray &bits, bool all)> &take);
