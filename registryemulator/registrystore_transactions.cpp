// Transactions and snapshots over the one connection, nested by counting:
// only the outermost talks to SQLite.

#include "registrystore_p.h"

bool RegistryStore::inTransaction() const
{
    return d->depth > 0;
}
void RegistryStore::suspendWrites()
{
    ++d->suspensions;
}
void RegistryStore::resumeWrites()
{
    --d->suspensions;
}

bool RegistryStore::beginSnapshot()
{
    if (d->readDepth++ > 0)
        return !d->readBlocked;
    if (d->depth > 0)
        return true;
    if (!d->ready())
        return false;
    // The first read of a deferred transaction takes the read lock, held
    // until COMMIT: what it finds cannot change before the snapshot ends.
    const bool began = d->execSql("BEGIN DEFERRED");
    if (!began)
        d->errors.code = sqlite3_extended_errcode(d->db);
    const int rc = began ? d->takeSnapshot.reset().step() : SQLITE_ERROR;
    d->takeSnapshot.reset();
    // Another program may have committed before the lock was taken.
    if (rc != SQLITE_ROW || !d->current()) {
        if (began)
            d->execSql("ROLLBACK");
        if (rc != SQLITE_ROW)
            d->failRead();
        d->readBlocked = true;
        return false;
    }
    d->readOpen = true;
    return true;
}

void RegistryStore::endSnapshot()
{
    if (d->readDepth == 0 || --d->readDepth > 0)
        return;
    d->readBlocked = false;
    if (!d->readOpen)
        return;
    d->readOpen = false;
    d->execSql("COMMIT"); // only releases the lock: nothing was written
}

qint64 RegistryStore::readFailures() const
{
    return d->readFailures;
}

bool RegistryStore::beginTransaction()
{
    if (d->depth == 0) {
        // What went wrong before this write is no longer the news.
        d->errors.code = SQLITE_OK;
        d->errors.systemErrno = 0;
        if (!d->refused && !d->suspensions)
            d->setProblem(Problem::None, QString());
        if (d->openPending)
            d->retryOpen();
        // Read on a full disk, or read-only: there may be room now, or
        // leave to write.
        else if ((d->wantsRoom || d->madeWritableSince()) && d->readDepth == 0)
            d->openFile();
    }
    if (!isWritable() || !d->writable) {
        if (d->usable && !d->writable)
            d->setProblem(d->readOnlyKind, d->readOnlyText);
        return false;
    }
    // A read transaction cannot become a write one without risking a
    // deadlock with another writer waiting for our lock to go.
    if (d->readOpen)
        return false;
    if (d->depth == 0) {
        if (!d->ready())
            return false;
        if (!d->begin.reset().exec()) {
            d->noteFailure();
            return false;
        }
        // Checked under the write lock, so that what was checked is what
        // the write goes into.
        if (!d->verify()) {
            d->rollback.reset().exec();
            return false;
        }
        // BEGIN may have waited for another writer's commit: look again
        // before trusting any key id remembered from before it.
        d->ready();
        d->doomed = false;
    } else if (d->doomed || sqlite3_get_autocommit(d->db)) {
        // The outer transaction is lost already: undone by a write that
        // failed, or by SQLite itself when a full disk or I/O error met a
        // statement (a read, too, may have to spill pages). Anything written
        // now would land on its own, outside it.
        d->doomed = true;
        return false;
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
    if (!d->doomed && d->commit.reset().exec()) {
        d->busyLogged = false;
        return true;
    }
    d->noteFailure();
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
    // A write that failed left its reason behind; a rollback asked for has none.
    if (d->errors.code != SQLITE_OK || d->errors.damaged)
        d->noteFailure();
    if (!sqlite3_get_autocommit(d->db))
        d->rollback.reset().exec();
    d->keyCache.clear();
    d->doomed = false;
}
