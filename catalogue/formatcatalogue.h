#pragma once

#include "formatselection.h"

#include <QString>
#include <QStringList>

// FreeImage's format table as Qt strings. Each call asks FreeImage again, so a
// plugin registered at run time shows up in the next call.

int formatCount();
QString formatName(int fif);
QString formatDescription(int fif);
QString extensionListString(int fif);

// The extensions exactly as FreeImage spells them, only the empty ones dropped.
QStringList extensionsOfFormat(int fif);

// Every format's extensions in fif order; an extension that several formats
// share appears once for each of them.
QStringList allExtensions();

// allExtensions() as "*.ext" file dialog filters.
QStringList allExtensionFilters();

QBitArray flattenSelection(const SelectionList &list);

// -1 when a lacks bits of b or has a bit set that b has clear, +1 when b has a
// bit set that a has clear, decided by the lowest differing bit; bits of a past
// the end of b do not count.
int compareSelections(const QBitArray &a, const QBitArray &b);
