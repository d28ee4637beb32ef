#pragma once

// One prepared SQLite statement, kept for the connection's lifetime: values
// are bound in order and read back as Qt types, and corruption that any
// statement meets is reported to whoever watches for it.

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

class SqliteStatement
{
public:
    SqliteStatement() = default;
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;
    ~SqliteStatement() { sqlite3_finalize(stmt); }

    // *damageSeen, when given, is set once a step meets a damaged file.
    bool prepare(sqlite3 *db, const char *sql, bool *damageSeen = nullptr)
    {
        damage = damageSeen;
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) ==
               SQLITE_OK;
    }
    // Binds in order; the statement is reset and ready when this returns.
    SqliteStatement &reset()
    {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        next = 1;
        return *this;
    }
    SqliteStatement &bind(qint64 v)
    {
        sqlite3_bind_int64(stmt, next++, v);
        return *this;
    }
    SqliteStatement &bind(const QString &v)
    {
        sqlite3_bind_text16(stmt, next++, v.utf16(), int(v.size() * 2), SQLITE_TRANSIENT);
        return *this;
    }
    SqliteStatement &bind(const QByteArray &v)
    {
        sqlite3_bind_blob(stmt, next++, v.constData(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int step()
    {
        const int rc = sqlite3_step(stmt);
        // Damage found by any statement condemns the whole file.
        if (damage && ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB))
            *damage = true;
        return rc;
    }
    bool exec()
    {
        const int rc = step();
        sqlite3_reset(stmt);
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    qint64 int64(int col) const { return sqlite3_column_int64(stmt, col); }
    QString text(int col) const
    {
        const auto *p = static_cast<const char16_t *>(sqlite3_column_text16(stmt, col));
        return QString::fromUtf16(p, sqlite3_column_bytes16(stmt, col) / 2);
    }
    QByteArray blob(int col) const
    {
        const auto *p = static_cast<const char *>(sqlite3_column_blob(stmt, col));
        return QByteArray(p, sqlite3_column_bytes(stmt, col));
    }

private:
    sqlite3_stmt *stmt = nullptr; // null until prepared
    bool *damage = nullptr;       // where to report a damaged file, if anywhere
    int next = 1;                 // the parameter the next bind() fills
};
