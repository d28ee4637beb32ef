#pragma once

// The ways a registry file fails whoever uses it, in one table that the
// store, the tool, the window and the engine each run, stating only what
// their own user sees of a row. Each trouble is brought about as it happens
// on a copy of a working registry, which the layer then opens afresh:
//   busy       another program is writing it; reading goes on
//   read-only  its permissions forbid writing; reading goes on
//   damaged    an index no longer matches its table: reading goes on, as it
//              does not pay for the whole check, and the first write is
//              refused before it can put a second key beside the first
//   full       its disk has no room left; reading goes on
//   unsafe     other users may write it, so none of it is trusted, not even
//              for reading

#include "registryfile.h"
#include "scratchmount.h"

#include <QtTest>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

enum class Trouble { Busy, ReadOnly, Damaged, Full, Unsafe };

// Columns: the trouble, the words the user is shown, whether reading goes
// on, and whether, once the trouble is gone, the same write then lands.
inline void addTroubleRows()
{
    QTest::addColumn<int>("trouble");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<bool>("passes");
    const auto row = [](const char *name, Trouble t, const char *reason, bool readable,
                        bool passes) {
        QTest::newRow(name) << int(t) << QString::fromLatin1(reason) << readable << passes;
    };
    row("busy", Trouble::Busy, "another program is using", true, true);
    row("read-only", Trouble::ReadOnly, "read-only", true, true);
    row("damaged", Trouble::Damaged, "damaged", true, false);
    row("full", Trouble::Full, "the disk is full", true, true);
    row("unsafe", Trouble::Unsafe, "other users", false, false);
}

class TroubledRegistry
{
public:
    // A copy of original, beside it or on a disk of its own, in trouble.
    TroubledRegistry(int trouble, const QString &original) : trouble(Trouble(trouble))
    {
        if (this->trouble == Trouble::Full) {
            disk.emplace();
            if (!disk->isMounted()) {
                skip = disk->whyNot();
                return;
            }
        }
        file = disk ? disk->filePath(QStringLiteral("registry.sqlite"))
                    : original + QStringLiteral(".troubled");
        if (!copyRegistryFile(original, file))
            why = "could not copy " + QFile::encodeName(original);
        else if ((fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC)) < 0)
            why = "could not open " + QFile::encodeName(file);
        else if (!bringAbout())
            why = "could not bring the trouble about on " + QFile::encodeName(file);
    }
    ~TroubledRegistry()
    {
        end();
        if (fd >= 0)
            ::close(fd);
    }
    TroubledRegistry(const TroubledRegistry &) = delete;
    TroubledRegistry &operator=(const TroubledRegistry &) = delete;

    // Empty where it cannot be had here, for QSKIP.
    const QByteArray &cannotHere() const { return skip; }
    bool isReady() const { return why.isEmpty() && skip.isEmpty(); }
    const char *whyNot() const { return why.constData(); }
    const QString &fileName() const { return file; }

    // Everything written to it, its write-ahead log included. The file is
    // read through a descriptor kept open: closing any other one would drop
    // every lock this process holds on it, the other program's hold too.
    QByteArray contents() const
    {
        struct stat st;
        QByteArray all;
        if (fd >= 0 && ::fstat(fd, &st) == 0) {
            all.resize(qsizetype(st.st_size));
            if (::pread(fd, all.data(), size_t(all.size()), 0) != st.st_size)
                all = "unreadable";
        }
        QFile log(file + QStringLiteral("-wal"));
        if (log.open(QIODevice::ReadOnly))
            all += log.readAll();
        return all;
    }

    // Takes the trouble away where it can go: the other program done, the
    // permission given back, room made again. Damage and another user's
    // reach stay in what was read.
    bool end()
    {
        held.reset();
        if (timeoutSet)
            qunsetenv("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS");
        timeoutSet = false;
        if (trouble == Trouble::ReadOnly && !file.isEmpty())
            return QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        if (trouble == Trouble::Full && disk && disk->isMounted())
            return QFile::remove(disk->filePath(QStringLiteral("fill"))) ||
                   !QFile::exists(disk->filePath(QStringLiteral("fill")));
        return true;
    }

private:
    bool bringAbout()
    {
        switch (trouble) {
        case Trouble::Busy:
            // Not the ten seconds a patient writer waits.
            qputenv("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS", "100");
            timeoutSet = true;
            held.emplace(file);
            return held->isHeld();
        case Trouble::ReadOnly:
            return QFile::setPermissions(file, QFile::ReadOwner);
        case Trouble::Damaged:
            return damageKeyIndex(file);
        case Trouble::Full:
            return disk->fill();
        case Trouble::Unsafe:
            return QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ReadOther | QFile::WriteOther);
        }
        return false;
    }

    const Trouble trouble;
    std::optional<ScratchMount> disk;
    std::optional<HeldRegistry> held;
    QString file;
    int fd = -1;
    QByteArray skip, why;
    bool timeoutSet = false;
};

// Brings the row's trouble about on a copy of original, or skips the row
// where this machine cannot have it.
#define PELLVARIN_TROUBLED_REGISTRY(name, trouble, original)                                       \
    TroubledRegistry name((trouble), (original));                                                  \
    if (!name.cannotHere().isEmpty())                                                              \
        QSKIP(name.cannotHere().constData());                                                      \
    QVERIFY2(name.isReady(), name.whyNot())
