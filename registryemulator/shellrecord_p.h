#pragma once

// What the shell record keeps in a registry file: its table, which every new
// file is made with, and its statements, prepared with the store's own so
// that a file whose table they cannot run on is refused when opened.

#include "sqlitestatement.h"

struct ShellRecordStatements
{
    static const char *const tableSql;

    SqliteStatement bumpNotification, readNotification;

    bool prepare(sqlite3 *db, SqliteErrors *errors);
    void finalize();
};
