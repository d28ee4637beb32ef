#pragma once

// Why the last Save could not be written, for the window to say in words
// the user can act on.

#include "engineexport.h"

#include <QString>

enum class SaveFailure {
    Unknown,  // nothing more is known than that it failed
    DiskFull, // no room left on the disk for the registry
    ReadOnly, // the registry is marked read-only
    Damaged,  // the registry file is damaged and is no longer written
    Busy      // another program holds the registry for now
};

struct SaveFailureReason
{
    SaveFailure kind = SaveFailure::Unknown;
    // The registry's file, where the platform keeps it in one.
    QString registryFile;
};

PELLVARIN_ENGINE_EXPORT SaveFailureReason lastSaveFailure();
