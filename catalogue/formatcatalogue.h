#pragma once

#include "engineexport.h"

#include "formatselection.h"

#include <QString>
#include <QStringList>

// FreeImage's format table as Qt strings. Each call asks FreeImage again, so a
// plugin registered at run time shows up in the next call.

PELLVARIN_ENGINE_EXPORT int formatCount();
PELLVARIN_ENGINE_EXPORT QString formatName(int fif);
PELLVARIN_ENGINE_EXPORT QString formatDescription(int fif);
PELLVARIN_ENGINE_EXPORT QString extensionListString(int fif);

// The extensions exactly as FreeImage spells them, only the empty ones dropped.
PELLVARIN_ENGINE_EXPORT QStringList extensionsOfFormat(int fif);

// Every format's extensions in fif order; an extension that several formats
// share appears once for each of them.
PELLVARIN_ENGINE_EXPORT QStringList allExtensions();

// allExtensions() as "*.ext" file dialog filters.
PELLVARIN_ENGINE_EXPORT QStringList allExtensionFilters();

PELLVARIN_ENGINE_EXPORT QBitArray flattenSelection(const SelectionList &list);

// -1 when a lacks bits of b or has a bit set that b has clear, +1 when b has a
// bit set that a has clear, decided by the lowest differing bit; bits of a past
// the end of b do not count.
PELLVARIN_ENGINE_EXPORT int compareSelections(const QBitArray &a, const QBitArray &b);
