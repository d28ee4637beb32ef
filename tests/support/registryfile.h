#pragma once

#include <QFile>
#include <QString>

#include <sqlite3.h>

// A registry file copied whole: what is committed but still in its
// write-ahead log goes into the file first, as when its last user closes it.
inline bool copyRegistryFile(const QString &from, const QString &to)
{
    sqlite3 *db = nullptr;
    const bool whole =
        sqlite3_open_v2(QFile::encodeName(from).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK &&
        sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return whole && QFile::copy(from, to);
}
