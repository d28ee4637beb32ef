#pragma once

// Whether another user could change what a registry file holds, through the
// file, the journals SQLite plays into it, or the folders it lies in. Taken
// from the file system alone: a verdict on a path, never on a store.

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

struct FileSafety
{
    bool safe = true;
    // Why not, said of the file as "it ...", for "... is not a usable
    // registry: it <why>"; empty when safe.
    QString why;
};

// For the folders of path, which has every link resolved. Checked before
// the file is opened, so that nothing is made in a folder others control.
FileSafety foldersSafety(const QByteArray &path);
// For the file at path and the journals beside it. The file's status is
// that of the descriptor opened, not of whatever the path names by now:
// what is checked is what is read.
FileSafety fileSafety(const QByteArray &path, const struct stat &opened);

// The folder that path lies in; "/" for a file at the root.
QByteArray folderOf(const QByteArray &path);
// The system's words for errno error.
QString systemError(int error);
