// The registry file: finding and opening it, refusing one that is not ours
// or that others could change, and opening it again when it changed or a
// lock kept it. Opening keeps one store per file and thread.

#include "filesafety.h"
#include "registrystore_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// How long a write waits for another program's; PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS
// shortens it where waiting is pointless, as in tests.
constexpr int defaultBusyTimeoutMs = 10000;

// Per thread, as a connection, its key cache and its transactions serve one
// thread at a time: two threads on one file are two connections, and see
// each other's commits as two programs would.
std::map<QString, std::shared_ptr<RegistryStore>> &openStores()
{
    thread_local std::map<QString, std::shared_ptr<RegistryStore>> stores;
    return stores;
}

int busyTimeout()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS", &ok);
    return ok && ms >= 0 ? ms : defaultBusyTimeoutMs;
}

// The missing folders down to dir, owner-only like the file made in them.
bool makeFolders(const QByteArray &dir)
{
    struct stat st;
    if (::stat(dir.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (dir != folderOf(dir) && !makeFolders(folderOf(dir)))
        return false;
    return ::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST;
}

// The path with every symbolic link resolved, the last one included; for a
// file not there yet, its folder's. Empty when the folder is missing.
QByteArray resolved(const QByteArray &path)
{
    if (char *real = ::realpath(path.constData(), nullptr)) {
        const QByteArray r(real);
        std::free(real);
        return r;
    }
    char *folder = ::realpath(folderOf(path).constData(), nullptr);
    if (!folder)
        return {};
    QByteArray r(folder);
    std::free(folder);
    return (r.endsWith('/') ? r : r + '/') + path.mid(path.lastIndexOf('/') + 1);
}

} // namespace

QString RegistryStore::defaultFileName()
{
    const QString fromEnv = qEnvironmentVariable("PELLVARIN_REGISTRY");
    if (!fromEnv.isEmpty())
        return fromEnv;
    // Without a home there is no place of the user's own: Qt would answer
    // "/.local/share", a directory that is not the user's.
    if (qEnvironmentVariable("XDG_DATA_HOME").isEmpty() && qEnvironmentVariable("HOME").isEmpty())
        return QString();
    // The generic location, not the application's own: the viewer that links
    // the engine must find the same registry as the tool.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/pellvarin/registry.sqlite");
}

std::shared_ptr<RegistryStore> RegistryStore::openDefault()
{
    return open(defaultFileName());
}

std::shared_ptr<RegistryStore> RegistryStore::open(const QString &fileName)
{
    const QString path = QFileInfo(fileName).absoluteFilePath();
    auto &stores = openStores();
    const auto it = stores.find(path);
    if (it != stores.end()) {
        const RegistryStore &s = *it->second;
        struct stat st;
        // Keep the connection while the file is the one it was opened on;
        // one that was replaced or removed is opened afresh.
        if (s.inTransaction() || (::stat(QFile::encodeName(path).constData(), &st) == 0 &&
                                  st.st_dev == s.d->device && st.st_ino == s.d->inode))
            return it->second;
        // The log beside the path may now be the new file's: closing must
        // neither play the old one's into it nor delete it.
        if (s.d->db)
            sqlite3_db_config(s.d->db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        stores.erase(it);
    }
    auto d = std::make_unique<Private>();
    d->fileName = fileName.isEmpty() ? QString() : path;
    if (fileName.isEmpty())
        d->refuse(Problem::Unusable,
                  QStringLiteral("has no place: HOME is not set (PELLVARIN_REGISTRY names one)"));
    else
        d->openFile();
    std::shared_ptr<RegistryStore> store(new RegistryStore(std::move(d)));
    stores[path] = store;
    return store;
}

RegistryStore::RegistryStore(std::unique_ptr<Private> p) : d(std::move(p)) {}

RegistryStore::~RegistryStore() = default;

QString RegistryStore::fileName() const
{
    return d->fileName;
}
bool RegistryStore::isUsable() const
{
    // Damage that a read met condemns the file as soon as anyone asks.
    if (d->errors.damaged && d->usable)
        d->refuse(Problem::Damaged, QStringLiteral("is damaged"));
    return d->usable;
}
bool RegistryStore::isWritable() const
{
    return d->usable && (d->writable || d->wantsRoom) && !d->suspensions;
}

bool RegistryStore::removeForeignObjects()
{
    if (!d->foreignSchema)
        return isUsable();
    d->foreignSchema = false;
    d->refused = false;
    d->dropsForeign = true;
    const bool opened = d->openFile();
    d->dropsForeign = false;
    return opened;
}

bool RegistryStore::Private::retryOpen()
{
    if (!openPending)
        return usable;
    openPending = false;
    return openFile();
}

bool RegistryStore::Private::execSql(const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == 0;
}

int RegistryStore::Private::pragmaInt(const char *sql)
{
    SqliteStatement s;
    if (!s.prepare(db, sql) || s.step() != SQLITE_ROW)
        return -1;
    return int(s.int64(0));
}

bool RegistryStore::Private::openFile()
{
    busyTimeoutMs = busyTimeout();
    const QByteArray path = locateFile();
    if (path.isEmpty())
        return false;
    struct stat st;
    FileHold next = holdFile(path, &st);
    if (next.fd() < 0)
        return false;
    rememberFile(path, st);
    decideWritable(st);
    if (writable)
        makeLogWritable();
    const bool walFile = inWalMode(next.fd());
    if (!connect(std::move(next), walFile))
        return false;
    // An empty file is a registry not yet written; anything else must be ours.
    if (st.st_size == 0 && writable && !initialiseEmptyFile())
        return false;
    const std::optional<int> appId = readApplicationId(walFile);
    if (!appId || !acceptSchema(*appId))
        return false;
    // With a write-ahead log, readers and the one writer never wait for
    // each other, as on Windows, where a reader never sees half a write and
    // never waits for one. A file it cannot be switched on now (another
    // program holds it) stays as it is, correct but slower to read.
    if (writable && st.st_size != 0)
        execSql("PRAGMA journal_mode = WAL");
    if (!bringSchemaUpToDate())
        return false;
    execSql("PRAGMA synchronous = FULL");
    if (!prepareOrRefuse())
        return false;
    markOpened();
    return true;
}

// What is checked is what the links lead to, and what is opened is what
// was checked: folders that nobody else can write cannot change between
// the two, and the last step is never a link.
QByteArray RegistryStore::Private::locateFile()
{
    const QByteArray given = QFile::encodeName(fileName);
    struct stat st;
    if (::stat(given.constData(), &st) != 0 && errno == ENOENT && !makeFolders(folderOf(given))) {
        refuse(Problem::Unusable, QStringLiteral("cannot be created (%1)").arg(systemError(errno)));
        return {};
    }
    const QByteArray path = resolved(given);
    if (path.isEmpty()) {
        refuse(Problem::Unusable, QStringLiteral("cannot be found (%1)").arg(systemError(errno)));
        return {};
    }
    const FileSafety folders = foldersSafety(path);
    if (!folders.safe) {
        refuse(Problem::Unsafe, folders.why);
        return {};
    }
    return path;
}

FileHold RegistryStore::Private::holdFile(const QByteArray &path, struct stat *st)
{
    const bool missing = ::lstat(path.constData(), st) != 0 && errno == ENOENT;
    FileHold next = FileHold::acquire(path, true, st);
    if (next.fd() < 0) {
        if (missing && errno != ELOOP)
            refuse(Problem::Unusable,
                   QStringLiteral("cannot be created (%1)").arg(systemError(errno)));
        else
            refuse(errno == ELOOP ? Problem::Unsafe : Problem::Unusable,
                   QStringLiteral("cannot be read (%1)").arg(systemError(errno)));
        return next;
    }
    if (!S_ISREG(st->st_mode)) {
        refuse(Problem::Unusable, QStringLiteral("is not a regular file"));
        return {};
    }
    const FileSafety self = fileSafety(path, *st);
    if (!self.safe) {
        refuse(Problem::Unsafe, self.why);
        return {};
    }
    return next;
}

void RegistryStore::Private::rememberFile(const QByteArray &path, const struct stat &st)
{
    this->path = path;
    device = st.st_dev;
    inode = st.st_ino;
    changed = st.st_mtim;
    size = st.st_size;
    wantsRoom = false;
    immutable = false;
}

// What is written goes into the log beside the file first, which the
// folder must take; a file marked read-only stays unwritten even for
// root, as on Windows.
void RegistryStore::Private::decideWritable(const struct stat &st)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    writable = false;
    readOnlyKind = Problem::ReadOnly;
    readOnlyText = QStringLiteral("the registry %1 is read-only").arg(shown);
    errno = 0;
    if (!(st.st_mode & S_IWUSR) || ::access(path.constData(), W_OK) != 0) {
        if (errno == EROFS)
            readOnlyText += QStringLiteral(": it lies on a file system mounted read-only");
    } else if (st.st_nlink > 1) {
        // Each name would keep a log of its own, and whichever is folded in
        // last would undo what was written through the other.
        readOnlyKind = Problem::Unsafe;
        readOnlyText = QStringLiteral("the registry %1 has %2 names (hard links) and is not "
                                      "written: each name keeps a log of its own, and one would "
                                      "undo what was written through the other")
                           .arg(shown)
                           .arg(st.st_nlink);
    } else if (::access(folderOf(path).constData(), W_OK) != 0) {
        readOnlyText += QStringLiteral(": its folder %1 cannot be written")
                            .arg(QFile::decodeName(folderOf(path)));
    } else {
        writable = true;
    }
}

bool RegistryStore::Private::madeWritableSince() const
{
    struct stat st;
    return usable && !writable && readOnlyKind == Problem::ReadOnly &&
           ::stat(path.constData(), &st) == 0 && (st.st_mode & S_IWUSR) &&
           ::access(path.constData(), W_OK) == 0 && ::access(folderOf(path).constData(), W_OK) == 0;
}

// SQLite gives a log and its index the file's permissions: ones made while
// the file was read-only would refuse every write once it is not.
void RegistryStore::Private::makeLogWritable()
{
    for (const char *suffix : {"-wal", "-shm"}) {
        const QByteArray companion = path + suffix;
        struct stat cs;
        if (::lstat(companion.constData(), &cs) == 0 && S_ISREG(cs.st_mode) &&
            !(cs.st_mode & S_IWUSR))
            ::chmod(companion.constData(), (cs.st_mode & 07777) | S_IWUSR);
    }
}

// Version 2 in the header is a file in write-ahead log mode.
bool RegistryStore::Private::inWalMode(int fd)
{
    char header[20] = {};
    return ::pread(fd, header, sizeof header, 0) == sizeof header &&
           std::memcmp(header, "SQLite format 3", 16) == 0 && header[19] == 2;
}

bool RegistryStore::Private::connect(FileHold next, bool walFile)
{
    keyCache.clear();
    dataVersion = -1;
    const bool connected =
        writable ? openConnection(path, SQLITE_OPEN_READWRITE) : openReadOnly(walFile);
    // The connection before is closed now, so the file it was on may go.
    hold = std::move(next);
    return connected;
}

bool RegistryStore::Private::initialiseEmptyFile()
{
    // Born with its log, so that no process ever meets it in the old mode.
    execSql("PRAGMA journal_mode = WAL");
    if (!execSql("BEGIN IMMEDIATE")) {
        if (!lockedOut())
            refuseUninitialised();
        return false;
    }
    if (!createSchema()) {
        refuseUninitialised();
        execSql("ROLLBACK");
        return false;
    }
    if (!execSql("COMMIT")) {
        if (!lockedOut())
            refuseUninitialised();
        execSql("ROLLBACK");
        return false;
    }
    return true;
}

std::optional<int> RegistryStore::Private::readApplicationId(bool walFile)
{
    int appId = pragmaInt("PRAGMA application_id");
    // Where even the log's index finds no room, the file is read without
    // it, and a write tries again: on Windows a full disk stops no reader.
    if (appId < 0 && writable &&
        outOfRoom(sqlite3_extended_errcode(db), sqlite3_system_errno(db), folderOf(path))) {
        writable = false;
        if (!openReadOnly(walFile))
            return std::nullopt;
        wantsRoom = true;
        readOnlyKind = Problem::DiskFull;
        readOnlyText = QStringLiteral("the disk is full: the registry %1 cannot grow")
                           .arg(QDir::toNativeSeparators(fileName));
        appId = pragmaInt("PRAGMA application_id");
    }
    if (appId < 0) {
        if (!lockedOut())
            refuseUnreadable();
        return std::nullopt;
    }
    return appId;
}

bool RegistryStore::Private::prepareOrRefuse()
{
    if (prepareStatements())
        return true;
    if (!lockedOut())
        refuse(Problem::Unusable,
               QStringLiteral("cannot be used (%1)").arg(QString::fromUtf8(sqlite3_errmsg(db))));
    return false;
}

void RegistryStore::Private::markOpened()
{
    usable = true;
    busyLogged = false;
    if (problem == Problem::Busy)
        setProblem(Problem::None, QString());
}

// Another program's lock condemns nothing: the store opens the file again
// at its next operation.
bool RegistryStore::Private::lockedOut()
{
    const int code = sqlite3_extended_errcode(db) & 0xff;
    if (code != SQLITE_BUSY && code != SQLITE_LOCKED)
        return false;
    errors.code = SQLITE_BUSY;
    noteFailure();
    sqlite3_close_v2(db);
    db = nullptr;
    openPending = true;
    return true;
}

bool RegistryStore::Private::openConnection(const QByteArray &name, int flags)
{
    // The connection before goes first: one of this process left open shares
    // the log's index with the next, and a read-only one makes it read-only.
    for (SqliteStatement *s : {&dataVersionQuery, &findKey, &insertKey, &listKeys, &getValue,
                               &listValues, &putValue, &deleteValue, &deleteTreeValues,
                               &deleteTreeKeys, &begin, &commit, &rollback, &takeSnapshot})
        s->finalize();
    shellRecord.finalize();
    sqlite3_close_v2(db);
    db = nullptr;
    if (sqlite3_open_v2(name.constData(), &db,
                        flags | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        refuse(Problem::Unusable, QStringLiteral("cannot be opened"));
        return false;
    }
    sqlite3_busy_timeout(db, busyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    // The file holds data, never code: what its schema names runs only if
    // it is harmless, and nothing can change the schema behind SQLite's back.
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    return true;
}

// Reading makes nothing beside the file, as before the log came in: with
// no log there, nothing is left to fold in and the file is read as it is;
// with one, through its index, shared with whoever writes, or rebuilt in
// memory when nobody holds it. A log whose index is gone cannot be read
// without writing one.
bool RegistryStore::Private::openReadOnly(bool walFile)
{
    immutable = false;
    if (!walFile)
        return openConnection(path, SQLITE_OPEN_READONLY);
    struct stat log, index;
    const bool hasLog = ::lstat(QByteArray(path + "-wal").constData(), &log) == 0;
    const bool hasIndex = ::lstat(QByteArray(path + "-shm").constData(), &index) == 0;
    if (hasLog && log.st_size > 0 && !hasIndex) {
        refuse(Problem::Unusable,
               QStringLiteral("cannot be read: its log %1 holds writes, and the index beside it "
                              "is missing; open it once where it can be written")
                   .arg(QFile::decodeName(path + "-wal")));
        return false;
    }
    immutable = !hasLog || !hasIndex;
    logSize = hasLog ? log.st_size : -1;
    return openConnection("file:" + path.toPercentEncoding("/") +
                              (immutable ? "?immutable=1" : "?readonly_shm=1"),
                          SQLITE_OPEN_READONLY);
}

bool RegistryStore::Private::changedUnderneath() const
{
    struct stat st;
    const off_t log = ::lstat(QByteArray(path + "-wal").constData(), &st) == 0 ? st.st_size : -1;
    return log != logSize || ::stat(path.constData(), &st) != 0 || st.st_dev != device ||
           st.st_ino != inode || st.st_size != size || st.st_mtim.tv_sec != changed.tv_sec ||
           st.st_mtim.tv_nsec != changed.tv_nsec;
}

bool RegistryStore::Private::verify()
{
    if (verified)
        return true;
    // Not quick_check: it passes an index that no longer matches its table,
    // and a write through such an index can put a second key beside the first.
    SqliteStatement check;
    if (!check.prepare(db, "PRAGMA integrity_check(1)", &errors)) {
        noteFailure();
        return false;
    }
    const int rc = check.step();
    if (rc == SQLITE_ROW && check.text(0) == QLatin1String("ok")) {
        verified = true;
        return true;
    }
    if (rc == SQLITE_ROW || errors.damaged)
        refuse(Problem::Damaged, QStringLiteral("is damaged"));
    else
        noteFailure();
    return false;
}
