#include "registrystore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>
#include <QtDebug>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "PVRG": tells our own files from any other SQLite database.
constexpr int applicationId = 0x50565247;
constexpr int schemaVersion = 1;
constexpr int busyTimeoutMs = 10000;
constexpr qint64 machineRootId = 1;
constexpr qint64 userRootId = 2;

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

// SQLite keeps names as UTF-8 and takes a leading U+FEFF of UTF-16 text for
// a byte-order mark: such a name would come back as another.
bool storableName(QStringView name)
{
    return name.isValidUtf16() && !name.startsWith(QChar(0xFEFF)) && !name.contains(QChar(0));
}

QStringList sortedUnique(QStringList names)
{
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// Merges two listings so that each name appears once whatever its case;
// the per-user spelling wins, as in the merged classes view.
QStringList mergeNames(const QStringList &user, const QStringList &machine)
{
    QStringList merged = user;
    QSet<QString> seen;
    for (const QString &n : user)
        seen.insert(foldName(n));
    for (const QString &n : machine) {
        if (!seen.contains(foldName(n))) {
            seen.insert(foldName(n));
            merged.append(n);
        }
    }
    return sortedUnique(merged);
}

class Statement
{
public:
    Statement() = default;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement() { sqlite3_finalize(stmt); }

    bool prepare(sqlite3 *db, const char *sql, bool *damageSeen = nullptr)
    {
        damage = damageSeen;
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) ==
               SQLITE_OK;
    }
    // Binds in order; the statement is reset and ready when this returns.
    Statement &reset()
    {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        next = 1;
        return *this;
    }
    Statement &bind(qint64 v)
    {
        sqlite3_bind_int64(stmt, next++, v);
        return *this;
    }
    Statement &bind(const QString &v)
    {
        sqlite3_bind_text16(stmt, next++, v.utf16(), int(v.size() * 2), SQLITE_TRANSIENT);
        return *this;
    }
    Statement &bind(const QByteArray &v)
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
    sqlite3_stmt *stmt = nullptr;
    bool *damage = nullptr;
    int next = 1;
};

} // namespace

RegKeyPath RegKeyPath::child(const QString &name) const
{
    RegKeyPath p = *this;
    p.parts.append(name);
    return p;
}

QString RegKeyPath::toString() const
{
    QStringList all{hiveName(hive)};
    all += parts;
    return all.join(QLatin1Char('\\'));
}

QString hiveName(Hive hive)
{
    switch (hive) {
    case Hive::LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case Hive::CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case Hive::ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    }
    return QString();
}

std::optional<RegKeyPath> parseKeyPath(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QStringList parts = p.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    const QString root = foldName(parts.takeFirst());
    RegKeyPath key;
    if (root == QLatin1String("HKEY_LOCAL_MACHINE") || root == QLatin1String("HKLM"))
        key.hive = Hive::LocalMachine;
    else if (root == QLatin1String("HKEY_CURRENT_USER") || root == QLatin1String("HKCU"))
        key.hive = Hive::CurrentUser;
    else if (root == QLatin1String("HKEY_CLASSES_ROOT") || root == QLatin1String("HKCR"))
        key.hive = Hive::ClassesRoot;
    else
        return std::nullopt;
    key.parts = parts;
    return key;
}

bool isValidKeyName(QStringView name)
{
    return !name.isEmpty() && name.size() <= maxKeyNameLength && !name.contains(u'\\') &&
           storableName(name);
}

bool isValidValueName(QStringView name)
{
    return name.size() <= maxValueNameLength && storableName(name);
}

QString foldName(const QString &name)
{
    QString folded = name;
    for (QChar &c : folded)
        c = c.toUpper();
    return folded;
}

QByteArray encodeRegSz(const QString &text)
{
    QByteArray data(int((text.size() + 1) * 2), '\0');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        data[int(2 * i)] = char(u & 0xff);
        data[int(2 * i + 1)] = char(u >> 8);
    }
    return data;
}

QString decodeRegSz(const QByteArray &data)
{
    QString text;
    text.reserve(data.size() / 2);
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const char16_t u = char16_t(uchar(data.at(i)) | (uchar(data.at(i + 1)) << 8));
        if (u == 0)
            break;
        text.append(QChar(u));
    }
    return text;
}

class RegistryStore::Private
{
public:
    QString fileName;
    sqlite3 *db = nullptr;
    bool usable = false;
    bool writable = false;
    dev_t device = 0;
    ino_t inode = 0;

    bool refused = false;
    bool damaged = false;
    // The whole file is checked once, before its first write: too slow for
    // every start, and reads meet any damage they touch on their own.
    bool verified = false;
    int depth = 0;
    // Snapshots held, and whether the outermost one opened a read
    // transaction of its own (none is needed inside a write transaction).
    int readDepth = 0;
    bool readOpen = false;
    bool doomed = false;
    int suspensions = 0;

    // Key ids by (parent id, folded name); 0 caches a missing key. Dropped
    // whenever another connection commits or this one deletes keys.
    QHash<QPair<qint64, QString>, qint64> keyCache;
    qint64 dataVersion = -1;

    Statement dataVersionQuery, findKey, insertKey, listKeys, getValue, listValues, putValue,
        deleteValue, deleteTreeValues, deleteTreeKeys, begin, commit, rollback, bumpNotification,
        readNotification;

    // close_v2 lets the statements, finalised after this body, go last.
    ~Private() { sqlite3_close_v2(db); }

    void refuse(const QString &why)
    {
        if (!usable && refused)
            return; // said once is enough
        refused = true;
        qWarning().noquote() << QStringLiteral("Registry file %1 %2; it reads as empty and "
                                               "nothing will be written to it.")
                                    .arg(QDir::toNativeSeparators(fileName), why);
        usable = false;
        writable = false;
    }

    bool execSql(const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == 0; }

    int pragmaInt(const char *sql)
    {
        Statement s;
        if (!s.prepare(db, sql) || s.step() != SQLITE_ROW)
            return -1;
        return int(s.int64(0));
    }

    bool hasSchema()
    {
        Statement s;
        return s.prepare(db, "SELECT count(*) FROM sqlite_master WHERE name IN "
                             "('keys','vals','notifications')") &&
               s.step() == SQLITE_ROW && s.int64(0) == 3;
    }

    bool openFile();
    bool prepareStatements();
    bool verify();
    bool ready();
    qint64 childId(qint64 parent, const QString &name);
    qint64 resolve(qint64 root, const QStringList &parts);
    qint64 create(qint64 root, const QStringList &parts);
    std::optional<RegValue> readValue(qint64 key, const QString &name);
    QStringList names(qint64 key, bool values);
    bool writeValue(qint64 key, const QString &name, quint32 type, const QByteArray &data);
    bool eraseValue(qint64 key, const QString &name);
    bool eraseTree(qint64 key);
};

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
    Statement check;
    if (!check.prepare(db, "PRAGMA quick_check(1)") || check.step() != SQLITE_ROW ||
        check.text(0) != QLatin1String("ok")) {
        refuse(QStringLiteral("is corrupt"));
        return false;
    }
    verified = true;
    return true;
}

// Whether the store can be used, with the key cache made current first.
bool RegistryStore::Private::ready()
{
    if (damaged && usable)
        refuse(QStringLiteral("is corrupt"));
    if (!usable)
        return false;
    if (depth > 0 || readOpen)
        return true; // nobody else can commit while we hold the lock
    qint64 v = -1;
    if (dataVersionQuery.reset().step() == SQLITE_ROW)
        v = dataVersionQuery.int64(0);
    dataVersionQuery.reset();
    if (v != dataVersion) {
        keyCache.clear();
        dataVersion = v;
    }
    return true;
}

qint64 RegistryStore::Private::childId(qint64 parent, const QString &name)
{
    if (!isValidKeyName(name))
        return 0;
    const QPair<qint64, QString> cacheKey(parent, foldName(name));
    const auto hit = keyCache.constFind(cacheKey);
    if (hit != keyCache.constEnd())
        return *hit;
    qint64 id = 0;
    findKey.reset().bind(parent).bind(cacheKey.second);
    if (findKey.step() == SQLITE_ROW)
        id = findKey.int64(0);
    findKey.reset();
    keyCache.insert(cacheKey, id);
    return id;
}

qint64 RegistryStore::Private::resolve(qint64 root, const QStringList &parts)
{
    qint64 id = root;
    for (const QString &part : parts) {
        id = childId(id, part);
        if (id == 0)
            return 0;
    }
    return id;
}

qint64 RegistryStore::Private::create(qint64 root, const QStringList &parts)
{
    qint64 id = root;
    for (const QString &part : parts) {
        qint64 next = childId(id, part);
        if (next == 0) {
            if (!isValidKeyName(part))
                return 0;
            const QString folded = foldName(part);
            if (!insertKey.reset().bind(id).bind(part).bind(folded).exec())
                return 0;
            next = sqlite3_last_insert_rowid(db);
            keyCache.insert(qMakePair(id, folded), next);
        }
        id = next;
    }
    return id;
}

std::optional<RegValue> RegistryStore::Private::readValue(qint64 key, const QString &name)
{
    if (!isValidValueName(name))
        return std::nullopt;
    getValue.reset().bind(key).bind(foldName(name));
    std::optional<RegValue> v;
    if (getValue.step() == SQLITE_ROW)
        v = RegValue{getValue.text(0), quint32(getValue.int64(1)), getValue.blob(2)};
    getValue.reset();
    return v;
}

QStringList RegistryStore::Private::names(qint64 key, bool values)
{
    Statement &q = values ? listValues : listKeys;
    q.reset().bind(key);
    QStringList out;
    while (q.step() == SQLITE_ROW)
        out.append(q.text(0));
    q.reset();
    return sortedUnique(out);
}

bool RegistryStore::Private::writeValue(qint64 key, const QString &name, quint32 type,
                                        const QByteArray &data)
{
    if (!isValidValueName(name))
        return false;
    return putValue.reset()
        .bind(key)
        .bind(name)
        .bind(foldName(name))
        .bind(qint64(type))
        .bind(data)
        .exec();
}

bool RegistryStore::Private::eraseValue(qint64 key, const QString &name)
{
    if (!isValidValueName(name))
        return true; // it cannot be there
    return deleteValue.reset().bind(key).bind(foldName(name)).exec();
}

bool RegistryStore::Private::eraseTree(qint64 key)
{
    keyCache.clear();
    return deleteTreeValues.reset().bind(key).exec() && deleteTreeKeys.reset().bind(key).exec();
}

// ---------------------------------------------------------------------------

namespace {

// The merged classes view is two real keys: the per-user copy and the
// machine copy, each with the classes' own path in front.
struct Resolved
{
    qint64 root;
    QStringList parts;
};

Resolved userClasses(const RegKeyPath &key)
{
    return {userRootId,
            QStringList{QStringLiteral("Software"), QStringLiteral("Classes")} + key.parts};
}

Resolved machineClasses(const RegKeyPath &key)
{
    return {machineRootId,
            QStringList{QStringLiteral("SOFTWARE"), QStringLiteral("Classes")} + key.parts};
}

Resolved direct(const RegKeyPath &key)
{
    return {key.hive == Hive::CurrentUser ? userRootId : machineRootId, key.parts};
}

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
    d->fileName = path;
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
void RegistryStore::suspendWrites()
{
    ++d->suspensions;
}
void RegistryStore::resumeWrites()
{
    --d->suspensions;
}
bool RegistryStore::inTransaction() const
{
    return d->depth > 0;
}

bool RegistryStore::keyExists(const RegKeyPath &key) const
{
    if (!d->ready())
        return false;
    if (key.hive == Hive::ClassesRoot) {
        const Resolved u = userClasses(key), m = machineClasses(key);
        return d->resolve(u.root, u.parts) || d->resolve(m.root, m.parts);
    }
    const Resolved r = direct(key);
    return d->resolve(r.root, r.parts) != 0;
}

std::optional<RegValue> RegistryStore::value(const RegKeyPath &key, const QString &name) const
{
    if (!d->ready())
        return std::nullopt;
    if (key.hive == Hive::ClassesRoot) {
        const Resolved u = userClasses(key);
        if (const qint64 id = d->resolve(u.root, u.parts)) {
            if (auto v = d->readValue(id, name))
                return v;
        }
        const Resolved m = machineClasses(key);
        const qint64 id = d->resolve(m.root, m.parts);
        return id ? d->readValue(id, name) : std::nullopt;
    }
    const Resolved r = direct(key);
    const qint64 id = d->resolve(r.root, r.parts);
    return id ? d->readValue(id, name) : std::nullopt;
}

QList<RegValue> RegistryStore::values(const RegKeyPath &key) const
{
    QList<RegValue> out;
    for (const QString &name : valueNames(key)) {
        if (auto v = value(key, name))
            out.append(*v);
    }
    return out;
}

QStringList RegistryStore::valueNames(const RegKeyPath &key) const
{
    if (!d->ready())
        return {};
    auto list = [this](const Resolved &r) {
        const qint64 id = d->resolve(r.root, r.parts);
        return id ? d->names(id, true) : QStringList();
    };
    if (key.hive == Hive::ClassesRoot)
        return mergeNames(list(userClasses(key)), list(machineClasses(key)));
    return list(direct(key));
}

QStringList RegistryStore::subkeyNames(const RegKeyPath &key) const
{
    if (!d->ready())
        return {};
    auto list = [this](const Resolved &r) {
        const qint64 id = d->resolve(r.root, r.parts);
        return id ? d->names(id, false) : QStringList();
    };
    if (key.hive == Hive::ClassesRoot)
        return mergeNames(list(userClasses(key)), list(machineClasses(key)));
    return list(direct(key));
}

bool RegistryStore::createKey(const RegKeyPath &key)
{
    return atomically(*this, [&] {
        if (key.hive == Hive::ClassesRoot) {
            // Opening a key that either copy has creates nothing; a new key
            // created through the view goes to the machine copy.
            const Resolved u = userClasses(key), m = machineClasses(key);
            return d->resolve(u.root, u.parts) != 0 || d->create(m.root, m.parts) != 0;
        }
        const Resolved r = direct(key);
        return d->create(r.root, r.parts) != 0;
    });
}

bool RegistryStore::setValue(const RegKeyPath &key, const QString &name, quint32 type,
                             const QByteArray &data)
{
    return atomically(*this, [&] {
        Resolved target = direct(key);
        if (key.hive == Hive::ClassesRoot) {
            // Written where the key exists per user, else to the machine copy.
            const Resolved u = userClasses(key);
            target = d->resolve(u.root, u.parts) ? u : machineClasses(key);
        }
        const qint64 id = d->create(target.root, target.parts);
        return id != 0 && d->writeValue(id, name, type, data);
    });
}

bool RegistryStore::removeValue(const RegKeyPath &key, const QString &name)
{
    return atomically(*this, [&] {
        Resolved target = direct(key);
        if (key.hive == Hive::ClassesRoot) {
            // The per-user copy goes first; the machine value shows through after.
            const Resolved u = userClasses(key);
            const qint64 uid = d->resolve(u.root, u.parts);
            target = (uid && d->readValue(uid, name)) ? u : machineClasses(key);
        }
        const qint64 id = d->resolve(target.root, target.parts);
        return id == 0 || d->eraseValue(id, name);
    });
}

bool RegistryStore::removeKey(const RegKeyPath &key)
{
    return atomically(*this, [&] {
        Resolved target = direct(key);
        if (key.hive == Hive::ClassesRoot) {
            if (key.parts.isEmpty())
                return false; // the view's root is a hive too
            const Resolved u = userClasses(key);
            target = d->resolve(u.root, u.parts) ? u : machineClasses(key);
        }
        if (target.parts.isEmpty())
            return false; // a hive itself cannot be removed
        const qint64 id = d->resolve(target.root, target.parts);
        return id == 0 || d->eraseTree(id);
    });
}

bool RegistryStore::beginSnapshot()
{
    if (d->readDepth++ > 0 || d->depth > 0)
        return true;
    if (!d->usable || !d->execSql("BEGIN DEFERRED"))
        return false;
    // This first read takes the shared lock, held until COMMIT: what it
    // finds cannot change before the snapshot ends.
    if (!d->ready()) {
        d->execSql("ROLLBACK");
        return false;
    }
    d->readOpen = true;
    return true;
}

void RegistryStore::endSnapshot()
{
    if (d->readDepth == 0 || --d->readDepth > 0 || !d->readOpen)
        return;
    d->readOpen = false;
    d->execSql("COMMIT"); // only releases the lock: nothing was written
}

bool RegistryStore::beginTransaction()
{
    if (!isWritable())
        return false;
    // A read transaction cannot become a write one without risking a
    // deadlock with another writer waiting for our lock to go.
    if (d->readOpen)
        return false;
    if (d->depth == 0) {
        if (!d->ready() || !d->verify() || !d->begin.reset().exec())
            return false;
        // BEGIN may have waited for another writer's commit: look again
        // before trusting any key id remembered from before it.
        d->ready();
        d->doomed = false;
    } else if (d->doomed) {
        return false; // the outer transaction is lost already; write nothing more
    }
    // No savepoint for an inner transaction: its failure dooms the outermost,
    // which then undoes everything, so there is never a point to return to.
    ++d->depth;
    return true;
}

bool RegistryStore::commitTransaction()
{
    if (d->depth == 0)
        return false;
    if (--d->depth > 0)
        return !d->doomed;
    if (!d->doomed && d->commit.reset().exec())
        return true;
    // SQLite may already have rolled back by itself; ROLLBACK is then a no-op error.
    if (!sqlite3_get_autocommit(d->db))
        d->rollback.reset().exec();
    d->keyCache.clear();
    d->doomed = false;
    return false;
}

void RegistryStore::rollbackTransaction()
{
    if (d->depth == 0)
        return;
    if (--d->depth > 0) {
        // An inner failure dooms the whole: the caller of the outermost
        // transaction asked for all or nothing.
        d->doomed = true;
        return;
    }
    if (!sqlite3_get_autocommit(d->db))
        d->rollback.reset().exec();
    d->keyCache.clear();
    d->doomed = false;
}

bool RegistryStore::recordNotification(quint32 event)
{
    return atomically(*this, [&] {
        return d->bumpNotification.reset()
            .bind(qint64(event))
            .bind(QDateTime::currentMSecsSinceEpoch())
            .exec();
    });
}

RegistryStore::Notifications RegistryStore::notifications(quint32 event) const
{
    Notifications n;
    if (!d->usable)
        return n;
    d->readNotification.reset().bind(qint64(event));
    if (d->readNotification.step() == SQLITE_ROW) {
        n.count = d->readNotification.int64(0);
        n.last = QDateTime::fromMSecsSinceEpoch(d->readNotification.int64(1));
    }
    d->readNotification.reset();
    return n;
}
