#pragma once

// Walks every point at which the disk can refuse an operation: its Nth call
// fails (syscallfaults.h), N = 1, 2, ..., and a check looks at what each
// failure left, until the operation makes fewer than N calls and so runs
// whole. The walk, its tally and the checks every walk owes are here; each
// test states only what it requires of the state left behind.

#include "registrysettings.h"
#include "syscallfaults.h"

#include <QString>
#include <QStringList>
#include <QtTest>

#include <cerrno>

// The errors a disk gives, what the registry makes of each and what the user
// is then shown: one table, so that an error added is walked and explained
// everywhere at once.
struct DiskError
{
    const char *name;
    int error;
    RegistryFailureKind kind;
    const char *reason;
};
inline const DiskError diskErrors[] = {
    {"no room", ENOSPC, RegistryFailureKind::DiskFull, "the disk is full"},
    {"over the file size limit", EFBIG, RegistryFailureKind::DiskFull, "the disk is full"},
    {"quota", EDQUOT, RegistryFailureKind::DiskFull, "the disk is full"},
    {"read-only file system", EROFS, RegistryFailureKind::ReadOnly, "is read-only"},
    {"permission", EACCES, RegistryFailureKind::ReadOnly, "is read-only"},
    {"input/output error", EIO, RegistryFailureKind::Unknown, "could not be saved."},
};

inline const DiskError &diskError(int error)
{
    for (const DiskError &e : diskErrors)
        if (e.error == error)
            return e;
    qFatal("no disk error %d in the table", error);
}

// A data row per error, its number in the column "error".
inline void addDiskErrorRows()
{
    QTest::addColumn<int>("error");
    for (const DiskError &e : diskErrors)
        QTest::newRow(e.name) << e.error;
}

// One run of the operation. The attempt fills in the rest.
struct FaultPoint
{
    int n = 0;           // the call failed, from 1; 0 for the run that only counts
    bool struck = false; // the operation got as far as that call: false ends the walk
    bool done = false;   // the operation reported success (or, killed, left it whole)
    int calls = 0;       // calls the operation made, where counted
    QString call;        // the call failed, as SQLite names it, where known
    QString note;        // what the attempt saw, for the messages

    QString where() const
    {
        QString w = QStringLiteral("call %1").arg(n);
        if (!call.isEmpty())
            w += QStringLiteral(" (%1)").arg(call);
        w += done ? QStringLiteral(", done") : QStringLiteral(", refused");
        if (!note.isEmpty())
            w += QStringLiteral(": ") + note;
        return w;
    }
};

class FaultWalk
{
public:
    // So far: points walked, and of those the operation refused or landed.
    int points = 0, refused = 0, landed = 0;

    // Runs body, in this process, with the point's call failing with error;
    // at point 0 it only counts.
    template <typename Body> static void failing(FaultPoint &p, int error, Body &&body)
    {
        SyscallFaults faults(p.n, error);
        body();
        p.struck = faults.struck();
        p.call = faults.failed();
        p.calls = faults.calls();
    }

    // attempt(point) runs the operation with the point's call failing and
    // fills in the point; check(point) looks at what it left. The run that
    // ends the walk must be done, and there must have been a point at all.
    template <typename Attempt, typename Check> void walk(Attempt &&attempt, Check &&check)
    {
        QStringList failed;
        for (int n = 1;; ++n) {
            FaultPoint p;
            p.n = n;
            attempt(p);
            if (QTest::currentTestFailed())
                return;
            check(p);
            if (QTest::currentTestFailed())
                return;
            if (!p.struck) {
                qInfo("%d fault points: %d refused, %d done; failed in turn (* done): %s", points,
                      refused, landed, qPrintable(failed.join(QLatin1Char(' '))));
                QVERIFY2(p.done, qPrintable(p.where()));
                QVERIFY(points > 0);
                return;
            }
            ++points;
            ++(p.done ? landed : refused);
            failed.append((p.call.isEmpty() ? QString::number(n) : p.call) +
                          (p.done ? QStringLiteral("*") : QString()));
        }
    }

    // In this process: a run that only counts first, which must be done and
    // which check sees as point 0, then the walk, which must meet every call
    // counted: the operation does the same each time, or a walk that ends
    // early would leave calls never failed.
    template <typename Attempt, typename Check> void walkCounted(Attempt &&attempt, Check &&check)
    {
        FaultPoint counted;
        attempt(counted);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(counted.done, qPrintable(counted.where()));
        // It reaches the SQLite whose calls the faults replace.
        QVERIFY(counted.calls > 0);
        check(counted);
        if (QTest::currentTestFailed())
            return;
        walk(attempt, check);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(points, counted.calls);
    }
};
