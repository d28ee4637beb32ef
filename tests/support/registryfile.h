#pragma once

#include <QByteArray>
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

// Runs SQL on a registry file the way another program would, with no store
// in between: the first row's first column, if any, or what went wrong.
inline QByteArray runSql(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    QByteArray first;
    int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    for (const char *rest = sql; rc == SQLITE_OK && *rest;) {
        sqlite3_stmt *stmt = nullptr;
        rc = sqlite3_prepare_v2(db, rest, -1, &stmt, &rest);
        if (rc != SQLITE_OK || !stmt)
            break;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (first.isNull())
                first = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        }
        rc = sqlite3_finalize(stmt);
    }
    if (rc != SQLITE_OK)
        first = "error: " + QByteArray(sqlite3_errmsg(db));
    sqlite3_close(db);
    return first;
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
