#pragma once

// One prepared SQLite statement, kept for the connection's lifetime: values
// are bound in order and read back as Qt types, and what goes wrong in any
// statement is reported to whoever watches for it.

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

// Text as SQLite holds it, in UTF-8, exactly. SQLite's own UTF-16 would turn
// U+FFFE and U+FFFF into U+FFFD, and the toolkit's decoders take a leading
// U+FEFF for a byte-order mark and drop it.
inline QString exactText(const char *utf8, qsizetype size)
{
    QString text;
    while (size >= 3 && qstrncmp(utf8, "\xef\xbb\xbf", 3) == 0) {
        text += QChar(0xFEFF);
        utf8 += 3;
        size -= 3;
    }
    return text + QString::fromUtf8(utf8, size);
}

// What the statements of one connection met: damage, which condemns the
// file, and the last error with the system's errno behind it, which says
// why a write failed.
struct SqliteErrors
{
    bool damaged = false;
    int code = SQLITE_OK;
    int systemErrno = 0;
};

class SqliteStatement
{
public:
    SqliteStatement() = default;
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;
    ~SqliteStatement() { sqlite3_finalize(stmt); }

    // *errors, when given, hears of every step that fails.
    bool prepare(sqlite3 *db, const char *sql, SqliteErrors *errors = nullptr)
    {
        watch = errors;
        sqlite3_finalize(stmt); // a connection opened again prepares anew
        stmt = nullptr;
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) ==
               SQLITE_OK;
    }
    // A statement left would keep its connection open past sqlite3_close_v2().
    void finalize()
    {
        sqlite3_finalize(stmt);
        stmt = nullptr;
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
    // As UTF-8, the file's own encoding: SQLite reads UTF-16 that starts with
    // U+FEFF or U+FFFE as a byte-order mark, whichever byte order it is told,
    // and would drop the first or swap every unit after it.
    SqliteStatement &bind(const QString &v)
    {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text64(stmt, next++, utf8.constData(), sqlite3_uint64(utf8.size()),
                            SQLITE_TRANSIENT, SQLITE_UTF8);
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
        if (watch && rc != SQLITE_ROW && rc != SQLITE_DONE) {
            sqlite3 *db = sqlite3_db_handle(stmt);
            watch->code = sqlite3_extended_errcode(db);
            watch->systemErrno = sqlite3_system_errno(db);
            // The main file's own errno, which the connection's may have lost,
            // or else the write-ahead log's, which a failed commit was writing.
            int fileErrno = 0;
            if ((rc & 0xff) == SQLITE_IOERR) {
                sqlite3_file_control(db, "main", SQLITE_FCNTL_LAST_ERRNO, &fileErrno);
                sqlite3_file *log = nullptr;
                if (fileErrno == 0 &&
                    sqlite3_file_control(db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) ==
                        SQLITE_OK &&
                    log && log->pMethods)
                    log->pMethods->xFileControl(log, SQLITE_FCNTL_LAST_ERRNO, &fileErrno);
            }
            if (fileErrno != 0)
                watch->systemErrno = fileErrno;
            // Damage found by any statement condemns the whole file.
            if ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB)
                watch->damaged = true;
        }
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
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, col));
        return exactText(p, sqlite3_column_bytes(stmt, col));
    }
    QByteArray blob(int col) const
    {
        const auto *p = static_cast<const char *>(sqlite3_column_blob(stmt, col));
        return QByteArray(p, sqlite3_column_bytes(stmt, col));
    }

private:
    sqlite3_stmt *stmt = nullptr;  // null until prepared
    SqliteErrors *watch = nullptr; // where to report failures, if anywhere
    int next = 1;                  // the parameter the next bind() fills
};
