#pragma once

// The store's state, shared by its parts: the file (registrystore_file.cpp)
// and its schema (registrystore_schema.cpp), what went wrong with it
// (registrystore_diagnosis.cpp), the key cache and the rows of one hive
// (registrystore_cache.cpp), keys and values as callers name them, the
// merged classes view included (registrystore_view.cpp), and transactions
// (registrystore_transactions.cpp). The shell's record (shellrecord.cpp)
// keeps its rows through the same connection.

#include "filehold.h"
#include "registrystore.h"
#include "shellrecord_p.h"
#include "sqlitestatement.h"

#include <QHash>
#include <QPair>

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

// The keys table's rows for the two hives kept in the file; every other key
// hangs below one of them.
constexpr qint64 machineRootId = 1;
constexpr qint64 userRootId = 2;

// Whether a failure with SQLite's extended code and the errno it met was
// for want of room, in the file's folder.
bool outOfRoom(int code, int error, const QByteArray &folder);

class RegistryStore::Private
{
public:
    // The file's descriptor, let go last, after the connection and its
    // statements.
    FileHold hold;
    // The file's absolute path, which also names the store among those open.
    QString fileName;
    // The one connection to the file, or null when it could not be opened.
    sqlite3 *db = nullptr;
    // Whether the file is a sound registry of ours; if not, it reads as empty.
    bool usable = false;
    // Whether the connection may write it; never true without usable.
    bool writable = false;
    // Opened for reading only because the log's index found no room: a
    // write opens the file again to try, and otherwise says the disk is full.
    bool wantsRoom = false;
    // Why the file is not written, for a write that is refused.
    Problem readOnlyKind = Problem::ReadOnly;
    QString readOnlyText;
    // The file opened, so that a file put in its place is opened anew, and
    // when it was last changed, for a connection that reads it unlocked.
    QByteArray path;
    dev_t device = 0;
    ino_t inode = 0;
    struct timespec changed = {};
    off_t size = 0;
    // The connection reads the file as it is, without locks or the log: a
    // file that no program holds, in a place nothing can be written. A log
    // that appears or a change to the file opens it again. The log's size
    // when opened, or -1 for none.
    bool immutable = false;
    off_t logSize = -1;
    // The file was refused for holding something the store never makes
    // (a trigger, a view, another table), which removeForeignObjects() may
    // drop; and whether the next opening does.
    bool foreignSchema = false;
    bool dropsForeign = false;
    // How long a statement waits for another program's lock.
    int busyTimeoutMs = 0;

    // The file has been refused and said so once; it is not said again.
    bool refused = false;
    // Another program's lock kept the file from being opened: the next
    // operation opens it again. Being busy condemns nothing.
    bool openPending = false;
    // A lock has been logged and nothing has worked since.
    bool busyLogged = false;
    // What the statements met; damage makes the next ready() refuse the file.
    SqliteErrors errors;
    // The whole file is checked once, before its first write: too slow for
    // every start, and reads meet any damage they touch on their own.
    bool verified = false;
    // What problem() and problemText() tell.
    Problem problem = Problem::None;
    QString problemText;
    // Write transactions open; the outermost holds SQLite's.
    int depth = 0;
    // Snapshots held, and whether the outermost one opened a read
    // transaction of its own (none is needed inside a write transaction).
    int readDepth = 0;
    bool readOpen = false;
    // An inner transaction failed, so the outermost can only roll back.
    bool doomed = false;
    // suspendWrites() calls not yet undone by resumeWrites().
    int suspensions = 0;
    // Reads that could not complete, for callers to tell a failed read from
    // an absent key; never reset, so that nested checks can compare counts.
    qint64 readFailures = 0;
    // The outermost snapshot could not be taken: every read inside it fails
    // at once, rather than each waiting out the lock again.
    bool readBlocked = false;

    // Key ids by (parent id, folded name); 0 caches a missing key. Dropped
    // whenever another connection commits or this one deletes keys.
    QHash<QPair<qint64, QString>, qint64> keyCache;
    // SQLite's data_version when the cache was last known current.
    qint64 dataVersion = -1;

    // Prepared once the file is known to be ours, each doing what its
    // name says; the cache's and the rows' statements first.
    SqliteStatement dataVersionQuery, findKey, insertKey, listKeys, getValue, listValues, putValue,
        deleteValue, deleteTreeValues, deleteTreeKeys;
    // The write transaction's own, and the read that takes a snapshot.
    SqliteStatement begin, commit, rollback, takeSnapshot;
    // The shell record's.
    ShellRecordStatements shellRecord;

    // close_v2 lets the statements, finalised after this body, go last.
    ~Private() { sqlite3_close_v2(db); }

    // registrystore_diagnosis.cpp
    void refuse(Problem kind, const QString &why);
    void setProblem(Problem kind, const QString &text);
    // Names what errors last met, busy locks logged once; true if it was one.
    bool noteFailure(bool reading = false);
    // Counts a read that could not complete and says why; what it would
    // have found is unknown, never absent.
    void failRead();
    // A file that could not be initialised, or read at all, for what the
    // connection last met.
    void refuseUninitialised();
    void refuseUnreadable();

    // registrystore_file.cpp
    bool retryOpen();
    bool execSql(const char *sql);
    int pragmaInt(const char *sql);
    // Opens the file named, or refuses it, in the steps that follow.
    bool openFile();
    // The file's path with every link resolved, its folders made if missing
    // and checked; empty when refused.
    QByteArray locateFile();
    // The file at path held open, or created, and checked; none if refused.
    FileHold holdFile(const QByteArray &path, struct stat *st);
    // The file opened, so that a change to it or one put in its place is
    // seen.
    void rememberFile(const QByteArray &path, const struct stat &st);
    // Whether the file may be written, and if not, what to say to a write.
    void decideWritable(const struct stat &st);
    // Read-only by its permissions or its folder's when opened, and no
    // longer: the user may have changed them, as a refused Save asks.
    bool madeWritableSince() const;
    void makeLogWritable();
    static bool inWalMode(int fd);
    // Replaces the connection with one to the file that next holds.
    bool connect(FileHold next, bool walFile);
    bool initialiseEmptyFile();
    // The file's application id; none when it could not be read, the file
    // then refused or left for the next operation.
    std::optional<int> readApplicationId(bool walFile);
    bool prepareOrRefuse();
    void markOpened();
    // Whether another program's lock kept the connection from its last
    // statement; if so, the connection is closed and opened again later.
    bool lockedOut();
    // Opens the connection; the read-only one creates nothing beside the file.
    bool openConnection(const QByteArray &name, int flags);
    bool openReadOnly(bool walFile);
    // Whether a connection that reads the file unlocked must open it again.
    bool changedUnderneath() const;
    bool verify();

    // registrystore_schema.cpp
    bool hasSchema();
    // The tables of a registry, in a file with none yet, inside the
    // transaction that the caller commits.
    bool createSchema();
    // Whether the file at the connection is a registry of ours, of a version
    // it can read; it is refused if not.
    bool acceptSchema(int appId);
    // The first object in the file that the store never makes, named; empty
    // if none; none if it could not be read.
    std::optional<QString> foreignObject();
    bool dropForeignObjects();
    // Brings a writable file of an older schema up to date; false, inside
    // the transaction that failed, if it could not.
    bool updateFolds();
    // The same, refusing the file that could not be.
    bool bringSchemaUpToDate();
    bool prepareStatements();

    // registrystore_cache.cpp
    bool ready();
    // Drops the key cache if another connection committed since; false
    // when that cannot be told.
    bool current();
    qint64 childId(qint64 parent, const QString &name);
    qint64 resolve(qint64 root, const QStringList &parts);
    qint64 create(qint64 root, const QStringList &parts);
    std::optional<RegValue> readValue(qint64 key, const QString &name);
    QStringList names(qint64 key, bool values);
    bool writeValue(qint64 key, const QString &name, quint32 type, const QByteArray &data);
    bool eraseValue(qint64 key, const QString &name);
    bool eraseTree(qint64 key);

    static QStringList sortedUnique(QStringList names);
};
