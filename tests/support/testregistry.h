#pragma once

// A registry of a test's own: a fresh SQLite file in a temporary directory,
// made the default for everything the test then calls.
//
// Nothing but the test's own seeding may write the machine hive: when the
// registry goes away it checks that HKEY_LOCAL_MACHINE is as the last
// seeding left it. Seeding through this class's own writes counts by
// itself; a test that seeds the machine any other way says so with
// seededMachine().

#include "regfile.h"
#include "registrydump.h"
#include "registryfile.h"
#include "registrystore.h"

#include "fifof.h"

#include <QTemporaryDir>
#include <QtTest>

#include <optional>

class TestRegistry
{
public:
    TestRegistry()
    {
        static int serial = 0;
        fileName = dir.filePath(QStringLiteral("registry%1.sqlite").arg(++serial));
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(fileName));
        store = RegistryStore::openDefault();
        seededMachine();
    }

    ~TestRegistry()
    {
        // A test that has failed already has said what went wrong.
        if (!QTest::currentTestFailed())
            QCOMPARE(dump(machineHive), machineSeed);
    }

    TestRegistry(const TestRegistry &) = delete;
    TestRegistry &operator=(const TestRegistry &) = delete;

    void seededMachine() { machineSeed = dump(machineHive); }

    static RegKeyPath key(const QString &path) { return *parseKeyPath(path); }

    // name "" is the default value.
    bool set(const QString &path, const QString &name, const QString &value)
    {
        const RegKeyPath k = key(path);
        const bool ok = store->setValue(k, name, RegType::Sz, encodeRegSz(value));
        seeded(k);
        return ok;
    }
    bool setData(const QString &path, const QString &name, quint32 type, const QByteArray &data)
    {
        const RegKeyPath k = key(path);
        const bool ok = store->setValue(k, name, type, data);
        seeded(k);
        return ok;
    }
    bool removeValue(const QString &path, const QString &name)
    {
        const RegKeyPath k = key(path);
        const bool ok = store->removeValue(k, name);
        seeded(k);
        return ok;
    }
    bool removeKey(const QString &path)
    {
        const RegKeyPath k = key(path);
        const bool ok = store->removeKey(k);
        seeded(k);
        return ok;
    }
    // A whole machine at once, as resources/default-registry.reg describes one.
    bool import(const QString &regFile, QString *error)
    {
        const bool ok = importRegFile(*store, regFile, error);
        seededMachine();
        return ok;
    }
    bool createKey(const QString &path)
    {
        const RegKeyPath k = key(path);
        const bool ok = store->createKey(k);
        seeded(k);
        return ok;
    }

    std::optional<QString> get(const QString &path, const QString &name) const
    {
        const auto v = store->value(key(path), name);
        if (!v)
            return std::nullopt;
        return decodeRegSz(v->data);
    }
    bool exists(const QString &path) const { return store->keyExists(key(path)); }
    QStringList valueNames(const QString &path) const { return store->valueNames(key(path)); }

    // Both hives, for comparing the whole registry before and after.
    QStringList everything() const
    {
        return dump(machineHive) + dump(QStringLiteral("HKEY_CURRENT_USER"));
    }

    // Moves to a read-only copy of the file under a name of its own: a file
    // put in the place of one still open would meet the old one's log.
    void makeReadOnly()
    {
        const QString copy = fileName + QStringLiteral(".readonly");
        QVERIFY(copyRegistryFile(fileName, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner));
        fileName = copy;
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(fileName));
        store = RegistryStore::openDefault();
        QVERIFY(store->isUsable() && !store->isWritable());
        seededMachine();
    }

    // Every key and value below path, one line each, for before/after comparisons.
    QStringList dump(const QString &path) const { return dumpRegistry(*store, path); }

    QTemporaryDir dir;
    QString fileName;
    std::shared_ptr<RegistryStore> store;

private:
    const QString machineHive = QStringLiteral("HKEY_LOCAL_MACHINE");
    QStringList machineSeed;

    // Writes to the per-user hive cannot have touched the machine's.
    void seeded(const RegKeyPath &k)
    {
        if (k.hive != Hive::CurrentUser)
            seededMachine();
    }
};
