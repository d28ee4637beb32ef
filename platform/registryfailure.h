#pragma once

// Why the registry refused the last write, as far as the platform can tell,
// for the window to tell the user what to do about it.

#include <QString>

enum class RegistryFailureKind { Unknown, DiskFull, ReadOnly, Damaged, Busy };

struct RegistryFailure
{
    RegistryFailureKind kind = RegistryFailureKind::Unknown;
    // The file that holds the registry, where there is one to name.
    QString file;
};

RegistryFailure lastRegistryFailure();
