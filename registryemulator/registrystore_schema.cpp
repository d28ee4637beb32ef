// The schema of a registry file: the tables created in a new one, what
// tells a file of ours from any other, what it may not hold besides, its
// statements, and bringing a file of an older version up to date.

#include "registrystore_p.h"

namespace {

// "PVRG": tells our own files from any other SQLite database.
constexpr int applicationId = 0x50565247;
// 2: every fold made by the frozen table of regkeyfold.cpp (updateFolds()).
constexpr int schemaVersion = 2;

// A new file gets these tables, the shell record's, and then the two roots:
// the order every file has been made in, which places each table's pages.
const char *const tablesSql = R"sql(
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
)sql";
const char *const rootsSql = R"sql(
INSERT INTO keys(id, parent, name, fold) VALUES
    (1, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),
    (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER');
)sql";

// The first object in the file that the store does not make: its own are
// its three tables, notifications being the shell record's, and the index
// of keys' UNIQUE. SQLite keeps sqlite_sequence for AUTOINCREMENT, which
// no table left uses, and it cannot be dropped.
const char *const foreignObjectSql =
    "SELECT type, name FROM sqlite_master WHERE NOT ("
    "(type = 'table' AND name IN ('keys', 'vals', 'notifications', 'sqlite_sequence')) OR "
    "(type = 'index' AND name = 'sqlite_autoindex_keys_1')) LIMIT 1";

} // namespace

bool RegistryStore::Private::hasSchema()
{
    SqliteStatement s;
    return s.prepare(db, "SELECT count(*) FROM sqlite_master WHERE name IN "
                         "('keys','vals','notifications')") &&
           s.step() == SQLITE_ROW && s.int64(0) == 3;
}

std::optional<QString> RegistryStore::Private::foreignObject()
{
    SqliteStatement s;
    if (!s.prepare(db, foreignObjectSql))
        return std::nullopt;
    const int rc = s.step();
    if (rc == SQLITE_DONE)
        return QString();
    if (rc != SQLITE_ROW)
        return std::nullopt;
    return QStringLiteral("the %1 \"%2\"").arg(s.text(0), s.text(1));
}

bool RegistryStore::Private::dropForeignObjects()
{
    if (!writable || !execSql("BEGIN IMMEDIATE"))
        return false;
    // Checked first, so that nothing is dropped from a damaged file.
    SqliteStatement next;
    bool dropped = verify() && next.prepare(db, foreignObjectSql);
    // One at a time: dropping a table drops its triggers and indexes too.
    while (dropped && next.step() == SQLITE_ROW) {
        const QByteArray drop =
            "DROP " + next.text(0).toUtf8() + " \"" +
            next.text(1).replace(QLatin1Char('"'), QLatin1String("\"\"")).toUtf8() + '"';
        next.reset();
        dropped = execSql(drop.constData());
    }
    if (dropped && execSql("COMMIT"))
        return true;
    execSql("ROLLBACK");
    return false;
}

bool RegistryStore::Private::createSchema()
{
    if (hasSchema())
        return true;
    const QByteArray stamp = "PRAGMA application_id = " + QByteArray::number(applicationId) +
                             "; PRAGMA user_version = " + QByteArray::number(schemaVersion);
    return execSql(tablesSql) && execSql(ShellRecordStatements::tableSql) && execSql(rootsSql) &&
           execSql(stamp.constData());
}

bool RegistryStore::Private::acceptSchema(int appId)
{
    if (appId != applicationId || !hasSchema()) {
        if (!lockedOut())
            refuse(Problem::Unusable, QStringLiteral("is not a Pellvarin registry"));
        return false;
    }
    if (pragmaInt("PRAGMA user_version") > schemaVersion) {
        refuse(Problem::Unusable, QStringLiteral("was written by a newer version"));
        return false;
    }
    // A trigger or a view runs whenever the store writes or reads through
    // it, and another table or index is no part of a registry.
    const std::optional<QString> foreign = foreignObject();
    if (!foreign || (!foreign->isEmpty() && !(dropsForeign && dropForeignObjects()))) {
        if (!lockedOut()) {
            foreignSchema = foreign.has_value();
            refuse(Problem::Unusable,
                   foreign ? QStringLiteral("holds %1, which a registry never does: it holds "
                                            "data, never code (init --force removes it)")
                                 .arg(*foreign)
                           : QStringLiteral("cannot be read: %1")
                                 .arg(QString::fromUtf8(sqlite3_errmsg(db))));
        }
        return false;
    }
    return true;
}

bool RegistryStore::Private::prepareStatements()
{
    return dataVersionQuery.prepare(db, "PRAGMA data_version", &errors) &&
           findKey.prepare(db, "SELECT id FROM keys WHERE parent = ? AND fold = ?", &errors) &&
           insertKey.prepare(db, "INSERT INTO keys(parent, name, fold) VALUES (?, ?, ?)",
                             &errors) &&
           listKeys.prepare(db, "SELECT name FROM keys WHERE parent = ?", &errors) &&
           getValue.prepare(db, "SELECT name, type, data FROM vals WHERE key = ? AND fold = ?",
                            &errors) &&
           listValues.prepare(db, "SELECT name FROM vals WHERE key = ?", &errors) &&
           putValue.prepare(db,
                            "INSERT INTO vals(key, name, fold, type, data) VALUES (?, ?, ?, ?, ?) "
                            "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, "
                            "data = excluded.data",
                            &errors) &&
           deleteValue.prepare(db, "DELETE FROM vals WHERE key = ? AND fold = ?", &errors) &&
           deleteTreeValues.prepare(db,
                                    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
                                    "SELECT k.id FROM keys k JOIN t ON k.parent = t.id) "
                                    "DELETE FROM vals WHERE key IN t",
                                    &errors) &&
           deleteTreeKeys.prepare(db,
                                  "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
                                  "SELECT k.id FROM keys k JOIN t ON k.parent = t.id) "
                                  "DELETE FROM keys WHERE id IN t",
                                  &errors) &&
           begin.prepare(db, "BEGIN IMMEDIATE", &errors) && commit.prepare(db, "COMMIT", &errors) &&
           takeSnapshot.prepare(db, "SELECT id FROM keys WHERE id = 1", &errors) &&
           rollback.prepare(db, "ROLLBACK") && shellRecord.prepare(db, &errors);
}

// Files of version 1 hold each name's fold as the toolkit that wrote it
// folded, and the toolkits built here disagree on the few letters that
// Unicode gave a case after 13 (U+2C5F, U+A7C1, ...): a key that one build
// set, the other did not find. Their folds are made again, once, with the
// frozen table. A fold that now meets another row's belongs to a second copy
// that the disagreement made; it is left as it was rather than failing the
// whole file. A file that cannot be written is read as it is: the tables
// agree on everything else.
namespace {

// In UTF-8 both ways, as the statements bind and read names.
void foldFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    if (!text) {
        sqlite3_result_null(context);
        return;
    }
    const QByteArray folded = foldName(exactText(text, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text64(context, folded.constData(), sqlite3_uint64(folded.size()),
                          SQLITE_TRANSIENT, SQLITE_UTF8);
}

} // namespace

bool RegistryStore::Private::updateFolds()
{
    if (!writable || pragmaInt("PRAGMA user_version") >= schemaVersion)
        return true;
    if (sqlite3_create_function_v2(db, "pellvarin_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, foldFunction, nullptr, nullptr, nullptr) != SQLITE_OK ||
        !execSql("BEGIN IMMEDIATE"))
        return false;
    const int version = pragmaInt("PRAGMA user_version");
    if (version < 0)
        return false;
    // Another program may have brought it up to date while this one waited.
    if (version >= schemaVersion)
        return execSql("COMMIT");
    // Rows moved through a damaged index could end up beside their copies.
    const QByteArray stamp = "PRAGMA user_version = " + QByteArray::number(schemaVersion);
    return verify() &&
           execSql("UPDATE OR IGNORE keys SET fold = pellvarin_fold(name) "
                   "WHERE fold <> pellvarin_fold(name)") &&
           execSql("UPDATE OR IGNORE vals SET fold = pellvarin_fold(name) "
                   "WHERE fold <> pellvarin_fold(name)") &&
           execSql(stamp.constData()) && execSql("COMMIT");
}

bool RegistryStore::Private::bringSchemaUpToDate()
{
    if (!updateFolds()) {
        if (!lockedOut()) {
            const QString why = QString::fromUtf8(sqlite3_errmsg(db));
            execSql("ROLLBACK");
            refuse(Problem::Unusable,
                   QStringLiteral("could not be brought up to date (%1)").arg(why));
        }
        return false;
    }
    return true;
}
