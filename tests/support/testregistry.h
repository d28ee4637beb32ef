#pragma once

// A registry of a test's own, made the default for everything the test then
// calls, so that the same test runs on the substitute and, built for
// Windows, against the real registry (under Wine in CI). Starting fresh is
// the one thing each platform does its own way: a new substitute file, or on
// Windows the removal of every key of the association layout that a test
// can touch. Keys are named by their full path and values by their own
// name, "" for the unnamed one; writes take a name as it is, "/" and
// "Default" included.
//
// Only the test's own seeding may write the machine's registry: when the
// registry goes away it checks that the machine is as the last seeding left
// it (the whole hive on the substitute, the layout's classes on Windows).
// A test that seeds the machine any other way says so with seededMachine().

#include "testregistrybase.h"
#include "windowsassociations.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <optional>

// Keys below the association layout's locations, which the product names
// in windowsassociations.h: inUserClasses + ".png".
inline const QString inMachineClasses = machineClassesPath + QLatin1Char('\\');
inline const QString inUserClasses = userClassesPath + QLatin1Char('\\');
inline const QString inFileExts = userFileExtsPath + QLatin1Char('\\');

// TestRegistryBase (testregistrybase.h, one per platform) carries what only
// the substitute's own tests reach past these calls: its file and store.
class TestRegistry : public TestRegistryBase
{
public:
    TestRegistry();
    ~TestRegistry()
    {
        // A test that has failed already has said what went wrong.
        if (!QTest::currentTestFailed())
            QCOMPARE(machineLines(), machineSeed);
    }
    TestRegistry(const TestRegistry &) = delete;
    TestRegistry &operator=(const TestRegistry &) = delete;

    // Each false when the write did not land.
    bool set(const QString &path, const QString &name, const QString &value);
    // A value of any type (numbered as Windows numbers them) with the bytes
    // given, as the registry's own API writes it.
    bool setData(const QString &path, const QString &name, quint32 type, const QByteArray &data);
    bool createKey(const QString &path);
    bool removeValue(const QString &path, const QString &name);
    // With everything below it.
    bool removeKey(const QString &path);

    std::optional<QString> get(const QString &path, const QString &name) const;
    bool exists(const QString &path) const;
    // Both sorted; the unnamed value as "".
    QStringList valueNames(const QString &path) const;
    QStringList subkeyNames(const QString &path) const;

    // Every key and value below path, one line each, for before and after.
    QStringList dump(const QString &path) const;
    // The machine's and the user's, as far as a test may change them.
    QStringList everything() const;

    void seededMachine() { machineSeed = machineLines(); }

    // Wine implements the registry API, but its HKEY_CLASSES_ROOT is the
    // machine's classes alone: what a user's classes add does not show there.
    static bool underWine();

    // How often the association change was announced since the registry
    // began; nothing where the shell's notifications cannot be counted from
    // inside a test.
    std::optional<qint64> notifications() const;

    // Makes every later write of this process fail, as a registry file
    // turned read-only does; false where a test cannot do that.
    bool refuseWrites();

    // The substitute's alone. A whole machine at once, as
    // resources/default-registry.reg describes one.
    bool import(const QString &regFile, QString *error);
    // refuseWrites(), which must succeed.
    void makeReadOnly() { QVERIFY(refuseWrites()); }
    // Another file from here on, for this process and the children it starts.
    void reopenAt(const QString &file);

private:
    QStringList machineSeed;

    QStringList machineLines() const;
    // After a write, whose result it passes on: only the per-user hive is
    // surely not the machine's.
    bool seeded(const QString &path, bool ok)
    {
        if (!path.startsWith(QLatin1String("HKEY_CURRENT_USER"), Qt::CaseInsensitive))
            seededMachine();
        return ok;
    }
};

// Compares the count of announced association changes where it can be counted.
#define PELLVARIN_COMPARE_NOTIFICATIONS(reg, expected)                                             \
    do {                                                                                           \
        if (const std::optional<qint64> counted = (reg).notifications())                           \
            QCOMPARE(*counted, qint64(expected));                                                  \
    } while (false)

// Marks the next check as failing under Wine for its missing merge, and ends
// the test function there; elsewhere it does nothing.
#define PELLVARIN_EXPECT_FAIL_WITHOUT_MERGE()                                                      \
    do {                                                                                           \
        if (TestRegistry::underWine())                                                             \
            QEXPECT_FAIL("", "Wine 8's HKEY_CLASSES_ROOT does not merge the per-user classes",     \
                         Abort);                                                                   \
    } while (false)
