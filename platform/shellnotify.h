#pragma once

#include <QtGlobal>

// The shell's event for changed file associations, SHCNE_ASSOCCHANGED; the
// substitute records it under this number, so that it reads as the shell's.
constexpr quint32 associationsChangedEvent = 0x08000000;

// Tells the shell that file associations changed, so that Explorer and open
// file dialogs pick up the new defaults without a restart.
void notifyAssociationsChanged();
