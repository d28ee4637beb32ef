#pragma once

#include <QString>

// Where the substitute shell keeps the last URI it was asked to open: a file
// beside the registry file, so that another process (pellvarin-reg
// last-uri) can see what would have opened.
inline QString openedUriFileFor(const QString &registryFileName)
{
    return registryFileName + QStringLiteral(".opened-uri");
}
