#pragma once

// The registry file reached the way another program would, with no store in
// between: for tests and benchmarks that must see or change what is on disk.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sqlite3.h>

// Runs SQL on a registry file, every statement in turn, waiting for another
// program's lock as long as a patient one would: the first column of every
// row, or what went wrong as the only line. Read-write, so that it can roll
// back a journal left by a killed writer.
inline QStringList sqlRows(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    QStringList rows;
    int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_busy_timeout(db, 10000);
    for (const char *rest = sql; rc == SQLITE_OK && *rest;) {
        sqlite3_stmt *stmt = nullptr;
        rc = sqlite3_prepare_v2(db, rest, -1, &stmt, &rest);
        if (rc != SQLITE_OK || !stmt)
            break;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            rows.append(
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))));
        rc = sqlite3_finalize(stmt);
    }
    if (rc != SQLITE_OK)
        rows = QStringList{QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db))};
    sqlite3_close(db);
    return rows;
}

// The first row's first column, if any, or what went wrong.
inline QByteArray runSql(const QString &path, const char *sql)
{
    return sqlRows(path, sql).value(0).toUtf8();
}

// What is committed but still in the write-ahead log goes into the file, as
// when its last user closes it; false when it could not.
inline bool checkpointRegistryFile(const QString &path)
{
    return !runSql(path, "PRAGMA wal_checkpoint(TRUNCATE)").startsWith("error: ");
}

// A registry file copied whole, its write-ahead log folded in first.
inline bool copyRegistryFile(const QString &from, const QString &to)
{
    return checkpointRegistryFile(from) && QFile::copy(from, to);
}

// The keys' unique index made to claim an order it does not hold, as
// damage would: a quick check passes it, and a write through it could put a
// second key beside the first.
inline bool damageKeyIndex(const QString &path)
{
    return runSql(path, "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = "
                        "replace(sql, 'UNIQUE(parent, fold)', 'UNIQUE(parent, name)') "
                        "WHERE name = 'keys';")
        .isEmpty();
}

// Another program holding the registry file for as long as this lives, on a
// connection of its own, so that a test meets the lock as users would.
class HeldRegistry
{
public:
    enum Hold {
        Writing,   // a write under way: readers go on, writers wait
        Exclusive, // a write about to commit: on a file without a write-ahead log,
                   // readers wait too
        Whole      // a program in exclusive locking mode: nobody else can even
                   // open the file, write-ahead log or not
    };

    explicit HeldRegistry(const QString &path, Hold hold = Exclusive)
    {
        static const char *const begin[] = {"BEGIN IMMEDIATE", "BEGIN EXCLUSIVE",
                                            "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE"};
        held = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE,
                               nullptr) == SQLITE_OK &&
               sqlite3_exec(db, begin[hold], nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!held) {
            why = "could not hold " + QFile::encodeName(path) + ": " + sqlite3_errmsg(db);
            release();
        }
    }
    ~HeldRegistry() { release(); }
    HeldRegistry(const HeldRegistry &) = delete;
    HeldRegistry &operator=(const HeldRegistry &) = delete;

    bool isHeld() const { return held; }
    // For QVERIFY2: what kept it from holding the file.
    const char *whyNot() const { return why.constData(); }

    // Lets go early, as the other program finishing its write does.
    void release()
    {
        if (held)
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        db = nullptr;
        held = false;
    }

private:
    sqlite3 *db = nullptr;
    bool held = false;
    QByteArray why;
};
