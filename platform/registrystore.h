#pragma once

// The registry that stands in for the Windows one wherever there is no
// Windows: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER kept in one SQLite file,
// with HKEY_CLASSES_ROOT as a live merged view of the per-user classes over
// the machine classes. Only the substitute build has this header.

#include "registrylimits.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>

// Registry value types, numbered as Windows numbers them.
namespace RegType {
enum : quint32 {
    None = 0,
    Sz = 1,
    ExpandSz = 2,
    Binary = 3,
    Dword = 4,
    DwordBigEndian = 5,
    Link = 6,
    MultiSz = 7,
    Qword = 11,
};
}

enum class Hive { LocalMachine, CurrentUser, ClassesRoot };

struct RegKeyPath
{
    Hive hive = Hive::LocalMachine;
    QStringList parts; // key names below the hive; none holds a separator

    RegKeyPath child(const QString &name) const;
    QString toString() const; // hive spelled out, "\" between levels
};

// Accepts HKEY_LOCAL_MACHINE/HKLM, HKEY_CURRENT_USER/HKCU and
// HKEY_CLASSES_ROOT/HKCR (any letter case), then names separated by "\" or
// "/"; a leading separator and empty levels are dropped. Other hives, such
// as HKEY_USERS, are not kept here and give nothing.
std::optional<RegKeyPath> parseKeyPath(const QString &path);
QString hiveName(Hive hive);

// Windows compares names by upper-casing each UTF-16 unit on its own.
QString foldName(const QString &name);

// Whether a name can exist in the registry and survive its file: within the
// limit and without NUL (Windows takes names NUL-terminated, so the rest
// would name another key or value), a key name neither empty nor holding
// "\", and no name starting with U+FEFF or holding half a surrogate pair,
// which the file's UTF-8 cannot keep. Other control characters are names
// like any other, as on Windows. The store neither stores nor finds any
// other name.
bool isValidKeyName(QStringView name);
bool isValidValueName(QStringView name);

struct RegValue
{
    QString name; // "" is the key's unnamed default value
    quint32 type = RegType::None;
    QByteArray data; // the bytes as Windows stores them
};

// REG_SZ data: UTF-16LE with its terminating NUL.
QByteArray encodeRegSz(const QString &text);
QString decodeRegSz(const QByteArray &data);

class RegistryStore
{
public:
    // PELLVARIN_REGISTRY, or registry.sqlite in the user's data directory.
    static QString defaultFileName();

    // One store per file and process, shared by every settings object and
    // transaction, so that they all see each other's writes at once. A
    // missing file is created with owner-only permissions.
    static std::shared_ptr<RegistryStore> open(const QString &fileName);
    static std::shared_ptr<RegistryStore> openDefault();

    ~RegistryStore();
    RegistryStore(const RegistryStore &) = delete;
    RegistryStore &operator=(const RegistryStore &) = delete;

    QString fileName() const;
    // False for a file that is unreadable, not a registry or corrupt: it
    // reads as empty and is never written.
    bool isUsable() const;
    bool isWritable() const;

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

    // Nestable. Until the outermost end, every read sees the registry as
    // it was at the first: other processes' commits wait. Writing is
    // refused meanwhile, unless the snapshot began inside a transaction.
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

    // The shell's "associations changed" notifications, kept where another
    // process can read them.
    struct Notifications
    {
        qint64 count = 0;
        QDateTime last;
    };
    bool recordNotification(quint32 event);
    Notifications notifications(quint32 event) const;

    class Private;

private:
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
