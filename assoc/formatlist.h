#pragma once

#include "engineexport.h"

#include "formatselection.h"

class QListWidget;

// Adds one item to the list for every format whose ProgId the viewer has
// registered machine-wide, checked as far as its extensions open with the
// viewer now, and when asked the same per extension as a SelectionList.
// True when every offered format is fully associated (or none is offered).
PELLVARIN_ENGINE_EXPORT bool fillFormatList(QListWidget *list, SelectionList *selection);

// fillFormatList, told apart from a registry that could not be read (held
// by another program past the wait, or refused): then false, the list and
// the selection are left empty, and nothing read stands as an answer. On
// true, *allAssociated is fillFormatList's result.
PELLVARIN_ENGINE_EXPORT bool readFormatList(QListWidget *list, SelectionList *selection,
                                            bool *allAssociated);

// Makes the per-user registry agree with the list's check states: checked
// formats take their extensions, unchecked ones give them back, partially
// checked ones are left alone. The shell hears of it once when anything
// changed. True when every write landed; where the registry allows it, a
// call that fails leaves nothing of itself behind.
PELLVARIN_ENGINE_EXPORT bool applyFormatList(QListWidget *list);
