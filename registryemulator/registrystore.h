#pragma once

// The registry that stands in for the Windows one wherever there is no
// Windows: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER kept in one SQLite file,
// with HKEY_CLASSES_ROOT as a live merged view of the per-user classes over
// the machine classes. Only the substitute build has this header; it brings
// the key paths and the value codecs along.

#include "regkeypath.h"
#include "regvalue.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class RegistryStore
{
public:
    // PELLVARIN_REGISTRY, or registry.sqlite in the user's data directory.
    static QString defaultFileName();

    // One store per file and thread, shared by every settings object and
    // transaction of the thread, so that they all see each other's writes at
    // once; a store is used only by the thread that opened it. A missing
    // file is created with owner-only permissions.
    static std::shared_ptr<RegistryStore> open(const QString &fileName);
    static std::shared_ptr<RegistryStore> openDefault();

    ~RegistryStore();
    RegistryStore(const RegistryStore &) = delete;
    RegistryStore &operator=(const RegistryStore &) = delete;

    QString fileName() const;
    // False for a file that is unreadable, not a registry, damaged or open
    // to other users: it reads as empty and is never written. Also false
    // while another program's lock kept it from being opened; the next
    // operation tries again.
    bool isUsable() const;
    // False for a file that only permits reading (read-only, in a folder or
    // on a file system that cannot be written) or has more than one name.
    // A file read on a full disk counts as writable: a write then tries
    // again and says that the disk is full.
    bool isWritable() const;
    // A registry refused for holding what the store never makes (a trigger,
    // a view, another table or index) is opened again with those dropped,
    // for starting afresh (init --force). True when it is usable after.
    bool removeForeignObjects();

    // Why the file is refused, or else why the last write failed; None
    // once a write has landed since.
    enum class Problem { None, Busy, DiskFull, ReadOnly, Damaged, Unsafe, Unusable, Other };
    Problem problem() const;
    // The same in one line that names the file, for telling a user; empty
    // for None.
    QString problemText() const;
    // Refusals and locks are logged as warnings, once each, unless the
    // program says them itself from problemText().
    static void setLogsProblems(bool logs);

    bool keyExists(const RegKeyPath &key) const;
    std::optional<RegValue> value(const RegKeyPath &key, const QString &name) const;
    // Sorted by name in QString order, each name once.
    QList<RegValue> values(const RegKeyPath &key) const;
    QStringList valueNames(const RegKeyPath &key) const;
    QStringList subkeyNames(const RegKeyPath &key) const;

    // Every write is atomic and durable, and reports whether it landed.
    // Removing what is not there succeeds.
    bool createKey(const RegKeyPath &key);
    bool setValue(const RegKeyPath &key, const QString &name, quint32 type, const QByteArray &data);
    bool removeValue(const RegKeyPath &key, const QString &name);
    bool removeKey(const RegKeyPath &key); // with everything below it

    // Reads of this process that could not complete (another program held
    // the file past the wait): what they returned is no answer, not even
    // an absent one. Compare the count before and after.
    qint64 readFailures() const;

    // Nestable. Until the outermost end, every read sees the registry as
    // it was at the first, whatever other processes commit meanwhile.
    // Writing is refused meanwhile, unless the snapshot began inside a
    // transaction. False when it could not be taken; every read inside it
    // then fails at once.
    bool beginSnapshot();
    void endSnapshot();

    // Nestable. A write that fails inside dooms the outermost transaction:
    // its commit then undoes everything and reports false.
    bool beginTransaction();
    bool commitTransaction();
    void rollbackTransaction();
    bool inTransaction() const;
    // While suspended every write fails: a transaction that could not begin
    // must not let its writes land one by one.
    void suspendWrites();
    void resumeWrites();

    class Private;

private:
    // The shell's record keeps its rows in the file, through the store's
    // connection.
    friend class ShellRecord;
    explicit RegistryStore(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

// Runs writes as one (possibly nested) transaction: all of them land, or on
// the first that fails none does. A transaction that cannot begin writes
// nothing and leaves any outer one as it was.
template <typename Writes> bool atomically(RegistryStore &store, Writes &&writes)
{
    if (!store.beginTransaction())
        return false;
    if (!writes()) {
        store.rollbackTransaction();
        return false;
    }
    return store.commitTransaction();
}
