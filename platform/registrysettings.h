#pragma once

#include "engineexport.h"
#include "registrylimits.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <QVariant>

#include <memory>

class RegistryBackend;
class RegistryTransactionBackend;
class RegistrySnapshotBackend;

// The name that addresses a key's unnamed default value.
inline const QString defaultValueName = QStringLiteral("Default");

// One registry location, opened on a native path such as "HKEY_CLASSES_ROOT"
// or "HKEY_CURRENT_USER\Software\Classes", with the operations of QSettings'
// native format on Windows and nothing more. On Windows it is that QSettings;
// elsewhere it reaches the SQLite registry that stands in for the real one.
//
// Names behave as in the Windows registry: case-insensitive and
// case-preserving. In the path given to the constructor "\" separates key
// levels; in names and groups "/" does, and a "\" is a "/" in the
// registry's own name, as QSettings has it. "Default" (or ".") as the last
// part of a name addresses a key's unnamed default value.
//
// Only the tests call it from outside the engine, and it is not among the
// headers the viewer gets: the engine exports it to test builds alone.
class PELLVARIN_AUTOTEST_EXPORT RegistrySettings
{
public:
    explicit RegistrySettings(const QString &nativePath);
    // Over a backend of the caller's own (registrysettings_p.h), such as a
    // test's stand-in for a registry that misbehaves.
    explicit RegistrySettings(std::unique_ptr<RegistryBackend> backend);
    ~RegistrySettings();
    Q_DISABLE_COPY(RegistrySettings)

    // Entering a group reads and creates nothing.
    void beginGroup(const QString &prefix);
    void endGroup();

    bool contains(const QString &key) const;
    QVariant value(const QString &key) const;
    // Writes a string value (REG_SZ), creating the keys on the way.
    void setValue(const QString &key, const QString &value);
    // Removes the value of that name and the subkey of that name with
    // everything below it. Either one still there afterwards counts as a
    // failed write, whatever the registry answered.
    void remove(const QString &key);

    // Value names, the unnamed one as "."; both listings sorted in QString
    // order, each name once.
    QStringList childKeys() const;
    QStringList childGroups() const;

    // AccessError once any write or removal has failed; nothing else
    // reports a failed write.
    QSettings::Status status() const;

    class Private;

private:
    std::unique_ptr<Private> d;
};

// Makes every registry write of this thread, from construction until
// commit(), land together or not at all. Without commit() the writes are
// undone when the transaction is destroyed. The Windows registry offers no
// such thing, so there commit() only tells whether the transaction began.
class RegistryTransaction
{
public:
    RegistryTransaction();
    ~RegistryTransaction();
    Q_DISABLE_COPY(RegistryTransaction)

    // True when every write inside landed; on false nothing of it remains.
    bool commit();
    // Undoes the writes so far; false where the registry cannot undo them
    // and they stay as they were made.
    bool rollback();

private:
    std::unique_ptr<RegistryTransactionBackend> d;
};

// Why the registry last failed this thread, as far as the platform can tell:
// a write it refused, or a file it refuses whole, for the window to say
// what the user can do about it (through whyRegistryFailed, registryfailure.h).
enum class RegistryFailureKind {
    Unknown,  // nothing more is known than that it failed
    DiskFull, // no room left on the disk for the registry
    ReadOnly, // the registry is marked read-only
    Damaged,  // the registry file is damaged and is no longer written
    Busy,     // another program holds the registry for now
    Unsafe    // others could change the registry, so none of it is trusted
};

struct RegistryFailure
{
    RegistryFailureKind kind = RegistryFailureKind::Unknown;
    // The file that holds the registry, where there is one to name.
    QString file;
};

RegistryFailure lastRegistryFailure();

// Makes the registry reads of this thread, while it lives, see one state:
// no other save (of another process or thread) lands between them. Reading
// that way is also far cheaper than taking the file's lock for every value.
// Nothing may be written while one is held outside a RegistryTransaction.
// The Windows registry offers no such thing, so there it does nothing.
class RegistrySnapshot
{
public:
    RegistrySnapshot();
    ~RegistrySnapshot();
    Q_DISABLE_COPY(RegistrySnapshot)

    // Whether everything read while it lives was really read: false when
    // the registry could not be read (another program held it past the
    // wait, or the file is refused), and what was read is then no answer,
    // not even an empty one. Snapshots nest, so a caller can ask this of
    // everything that a call it makes reads.
    bool isComplete() const;

private:
    std::unique_ptr<RegistrySnapshotBackend> d;
};
