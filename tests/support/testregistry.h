#pragma once

// A registry of a test's own: a fresh SQLite file in a temporary directory,
// made the default for everything the test then calls.

#include "registrystore.h"

#include <QTemporaryDir>
#include <QtTest>

#include <FreeImage.h>

#include <optional>

// A FreeImage format's id by its name, as the tests speak of formats.
inline int fifOf(const char *name)
{
    return int(FreeImage_GetFIFFromFormat(name));
}

class TestRegistry
{
public:
    TestRegistry()
    {
        static int serial = 0;
        fileName = dir.filePath(QStringLiteral("registry%1.sqlite").arg(++serial));
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(fileName));
        store = RegistryStore::openDefault();
    }

    static RegKeyPath key(const QString &path) { return *parseKeyPath(path); }

    // name "" is the default value.
    bool set(const QString &path, const QString &name, const QString &value) const
    {
        return store->setValue(key(path), name, RegType::Sz, encodeRegSz(value));
    }
    bool createKey(const QString &path) const { return store->createKey(key(path)); }

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
        return dump(QStringLiteral("HKEY_LOCAL_MACHINE")) +
               dump(QStringLiteral("HKEY_CURRENT_USER"));
    }

    // Replaces the file by a read-only copy of itself. The copy is a new
    // file, so the store, which keeps a connection per file, opens it anew.
    void makeReadOnly()
    {
        const QString copy = fileName + QStringLiteral(".copy");
        QVERIFY(QFile::copy(fileName, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner));
        QVERIFY(QFile::remove(fileName));
        QVERIFY(QFile::rename(copy, fileName));
        store = RegistryStore::openDefault();
        QVERIFY(store->isUsable() && !store->isWritable());
    }

    // Every key and value below path, one line each, for before/after comparisons.
    QStringList dump(const QString &path) const
    {
        QStringList lines;
        dumpKey(key(path), lines);
        return lines;
    }

    QTemporaryDir dir;
    QString fileName;
    std::shared_ptr<RegistryStore> store;

private:
    void dumpKey(const RegKeyPath &k, QStringList &lines) const
    {
        lines.append(QLatin1Char('[') + k.toString() + QLatin1Char(']'));
        for (const RegValue &v : store->values(k))
            lines.append(v.name + QLatin1Char('=') + QString::number(v.type) + QLatin1Char(':') +
                         QString::fromLatin1(v.data.toHex()));
        for (const QString &sub : store->subkeyNames(k))
            dumpKey(k.child(sub), lines);
    }
};
