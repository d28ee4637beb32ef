// The registry file: finding and opening it, refusing one that is not ours
// or that others could write, creating the schema in a new one, and
// preparing the statements every other part of the store runs. Opening
// keeps one store per file and process.

#include "registrystore_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "PVRG": tells our own files from any other SQLite database.
constexpr int applicationId = 0x50565247;
constexpr int schemaVersion = 1;
constexpr int busyTimeoutMs = 10000;

const char *const schemaSql = R"sql(
CREATE TABLE keys(
    id INTEGER PRIMARY KEY,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    UNIQUE(parent, fold));
CREATE TABLE vals(
    key INTEGER NOT NULL,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, fold)) WITHOUT ROWID;
CREATE TABLE notifications(
    event INTEGER PRIMARY KEY,
    count INTEGER NOT NULL,
    last_ms INTEGER NOT NULL);
INSERT INTO keys(id, parent, name, fold) VALUES
    (1, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),
    (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER');
)sql";

std::map<QString, std::shared_ptr<RegistryStore>> &openStores()
{
    static std::map<QString, std::shared_ptr<RegistryStore>> stores;
    return stores;
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
        stores.erase(it);
    }
    auto d = std::make_unique<Private>();
    d->fileName = fileName.isEmpty() ? QString() : path;
    if (fileName.isEmpty())
        d->refuse(QStringLiteral("has no place: HOME is not set (PELLVARIN_REGISTRY names one)"));
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
    return d->usable;
}
bool RegistryStore::isWritable() const
{
    return d->usable && d->writable && !d->suspensions;
}

void RegistryStore::Private::refuse(const QString &why)
{
    if (!usable && refused)
        return; // said once is enough
    refused = true;
    const QString subject =
        fileName.isEmpty() ? QStringLiteral("The registry")
                           : QStringLiteral("Registry file ") + QDir::toNativeSeparators(fileName);
    qWarning().noquote() << QStringLiteral("%1 %2; it reads as empty and nothing will be "
                                           "written to it.")
                                .arg(subject, why);
    usable = false;
    writable = false;
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

bool RegistryStore::Private::hasSchema()
{
    SqliteStatement s;
    return s.prepare(db, "SELECT count(*) FROM sqlite_master WHERE name IN "
                         "('keys','vals','notifications')") &&
           s.step() == SQLITE_ROW && s.int64(0) == 3;
}

bool RegistryStore::Private::openFile()
{
    const QByteArray native = QFile::encodeName(fileName);
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        if (errno != ENOENT) {
            refuse(
                QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(strerror(errno))));
            return false;
        }
        QDir().mkpath(QFileInfo(fileName).absolutePath());
        // Created here, not by SQLite, so that it is owner-only from its first byte.
        const int fd = ::open(native.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            refuse(QStringLiteral("cannot be created (%1)")
                       .arg(QString::fromLocal8Bit(strerror(errno))));
            return false;
        }
        if (fd >= 0)
            ::close(fd);
        if (::stat(native.constData(), &st) != 0) {
            refuse(QStringLiteral("cannot be read"));
            return false;
        }
    }
    if (!S_ISREG(st.st_mode)) {
        refuse(QStringLiteral("is not a regular file"));
        return false;
    }
    // Whoever can write the file decides what opens every file type; a file
    // that others can write is no registry of ours (chmod 600 mends it).
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        refuse(QStringLiteral("can be written by other users"));
        return false;
    }
    device = st.st_dev;
    inode = st.st_ino;
    // A file marked read-only stays unwritten even for root, as on Windows.
    writable = (st.st_mode & S_IWUSR) && ::access(native.constData(), W_OK) == 0;

    const int flags =
        (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(native.constData(), &db, flags, nullptr) != SQLITE_OK) {
        refuse(QStringLiteral("cannot be opened"));
        return false;
    }
    sqlite3_busy_timeout(db, busyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);

    // An empty file is a registry not yet written; anything else must be ours.
    if (st.st_size == 0 && writable) {
        if (!execSql("BEGIN IMMEDIATE")) {
            refuse(QStringLiteral("is locked by another program"));
            return false;
        }
        if (!hasSchema()) {
            const QByteArray stamp =
                "PRAGMA application_id = " + QByteArray::number(applicationId) +
                "; PRAGMA user_version = " + QByteArray::number(schemaVersion);
            if (!execSql(schemaSql) || !execSql(stamp.constData())) {
                execSql("ROLLBACK");
                refuse(QStringLiteral("could not be initialised"));
                return false;
            }
        }
        if (!execSql("COMMIT")) {
            execSql("ROLLBACK");
            refuse(QStringLiteral("could not be initialised"));
            return false;
        }
    }

    const int appId = pragmaInt("PRAGMA application_id");
    if (appId < 0) {
        refuse(QStringLiteral("is not a database or cannot be read"));
        return false;
    }
    if (appId != applicationId || !hasSchema()) {
        refuse(QStringLiteral("is not a Pellvarin registry"));
        return false;
    }
    if (pragmaInt("PRAGMA user_version") > schemaVersion) {
        refuse(QStringLiteral("was written by a newer version"));
        return false;
    }
    execSql("PRAGMA synchronous = FULL");
    if (!prepareStatements()) {
        refuse(QStringLiteral("cannot be used (%1)").arg(QString::fromUtf8(sqlite3_errmsg(db))));
        return false;
    }
    usable = true;
    return true;
}

bool RegistryStore::Private::prepareStatements()
{
    return dataVersionQuery.prepare(db, "PRAGMA data_version", &damaged) &&
           findKey.prepare(db, "SELECT id FROM keys WHERE parent = ? AND fold = ?", &damaged) &&
           insertKey.prepare(db, "INSERT INTO keys(parent, name, fold) VALUES (?, ?, ?)",
                             &damaged) &&
           listKeys.prepare(db, "SELECT name FROM keys WHERE parent = ?", &damaged) &&
           getValue.prepare(db, "SELECT name, type, data FROM vals WHERE key = ? AND fold = ?",
                            &damaged) &&
           listValues.prepare(db, "SELECT name FROM vals WHERE key = ?", &damaged) &&
           putValue.prepare(db,
                            "INSERT INTO vals(key, name, fold, type, data) VALUES (?, ?, ?, ?, ?) "
                            "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, "
                            "data = excluded.data") &&
           deleteValue.prepare(db, "DELETE FROM vals WHERE key = ? AND fold = ?", &damaged) &&
           deleteTreeValues.prepare(db,
                                    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
                                    "SELECT k.id FROM keys k JOIN t ON k.parent = t.id) "
                                    "DELETE FROM vals WHERE key IN t",
                                    &damaged) &&
           deleteTreeKeys.prepare(db,
                                  "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
                                  "SELECT k.id FROM keys k JOIN t ON k.parent = t.id) "
                                  "DELETE FROM keys WHERE id IN t",
                                  &damaged) &&
           begin.prepare(db, "BEGIN IMMEDIATE", &damaged) &&
           commit.prepare(db, "COMMIT", &damaged) && rollback.prepare(db, "ROLLBACK", &damaged) &&
           bumpNotification.prepare(db,
                                    "INSERT INTO notifications(event, count, last_ms) "
                                    "VALUES (?1, 1, ?2) ON CONFLICT(event) DO UPDATE SET "
                                    "count = count + 1, last_ms = ?2",
                                    &damaged) &&
           readNotification.prepare(db, "SELECT count, last_ms FROM notifications WHERE event = ?",
                                    &damaged);
}

bool RegistryStore::Private::verify()
{
    if (verified)
        return true;
    SqliteStatement check;
    if (!check.prepare(db, "PRAGMA quick_check(1)") || check.step() != SQLITE_ROW ||
        check.text(0) != QLatin1String("ok")) {
        refuse(QStringLiteral("is corrupt"));
        return false;
    }
    verified = true;
    return true;
}
