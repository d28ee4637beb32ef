#pragma once

// A registry of a test's own, seeded and read back only through the engine's
// RegistrySettings, so that the same test runs on the substitute and, built
// for Windows, against the real registry (under Wine in CI). Starting fresh
// is the one thing each platform does its own way: a new substitute file,
// or on Windows the removal of every key of the association layout that a
// test can touch.
//
// Only the test's own seeding may write the machine's classes: when the
// registry goes away it checks that they are as the last seeding left them.

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class PortableRegistry
{
public:
    PortableRegistry();
    ~PortableRegistry();
    PortableRegistry(const PortableRegistry &) = delete;
    PortableRegistry &operator=(const PortableRegistry &) = delete;

    // name "" is the default value; false when the write did not land.
    bool set(const QString &path, const QString &name, const QString &value);
    bool createKey(const QString &path);
    // A value of any type (numbered as Windows numbers them) with the bytes
    // given, as the registry's own API writes it; false when it did not land.
    bool setData(const QString &path, const QString &name, quint32 type, const QByteArray &data);
    std::optional<QString> get(const QString &path, const QString &name) const;
    bool exists(const QString &path) const;
    // Value names, the unnamed one as "".
    QStringList valueNames(const QString &path) const;
    QStringList subkeyNames(const QString &path) const;

    // Every key and value below path, one line each.
    QStringList dump(const QString &path) const;
    // The association layout's keys, machine and user, for before and after.
    QStringList everything() const;

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

private:
    struct Platform;
    std::unique_ptr<Platform> platform;
    QStringList machineSeed;

    QStringList machineLines() const;
    void checkMachine() const;
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
        if (PortableRegistry::underWine())                                                         \
            QEXPECT_FAIL("", "Wine 8's HKEY_CLASSES_ROOT does not merge the per-user classes",     \
                         Abort);                                                                   \
    } while (false)
