// The shell's notification counters, one row for each event, in the
// registry file; the URI, in a file of its own beside it.

#include "shellrecord.h"

#include "registrystore_p.h"

const char *const ShellRecordStatements::tableSql = R"sql(
CREATE TABLE notifications(
    event INTEGER PRIMARY KEY,
    count INTEGER NOT NULL,
    last_ms INTEGER NOT NULL);
)sql";

bool ShellRecordStatements::prepare(sqlite3 *db, SqliteErrors *errors)
{
    return bumpNotification.prepare(db,
                                    "INSERT INTO notifications(event, count, last_ms) "
                                    "VALUES (?1, 1, ?2) ON CONFLICT(event) DO UPDATE SET "
                                    "count = count + 1, last_ms = ?2",
                                    errors) &&
           readNotification.prepare(db, "SELECT count, last_ms FROM notifications WHERE event = ?",
                                    errors);
}

void ShellRecordStatements::finalize()
{
    bumpNotification.finalize();
    readNotification.finalize();
}

bool ShellRecord::recordNotification(quint32 event)
{
    RegistryStore::Private &d = *store.d;
    return atomically(store, [&] {
        return d.shellRecord.bumpNotification.reset()
            .bind(qint64(event))
            .bind(QDateTime::currentMSecsSinceEpoch())
            .exec();
    });
}

ShellRecord::Notifications ShellRecord::notifications(quint32 event) const
{
    RegistryStore::Private &d = *store.d;
    SqliteStatement &query = d.shellRecord.readNotification;
    Notifications n;
    if (!d.ready())
        return n;
    query.reset().bind(qint64(event));
    const int rc = query.step();
    if (rc == SQLITE_ROW) {
        n.count = query.int64(0);
        n.last = QDateTime::fromMSecsSinceEpoch(query.int64(1));
    }
    query.reset();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        d.failRead();
    return n;
}
