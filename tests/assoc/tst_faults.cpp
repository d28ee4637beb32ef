// Faults while saving, each deterministic: every system call of a save
// failed in turn, as a full disk fails it, and a kill at each of those calls
// in a child process must each leave one whole state behind; so must two
// savers at once. Last, another program locking the file every few
// milliseconds: no read, export or engine call may then give a wrong
// answer, only a refusal.

#include "engine.h"
#include "enginefixture.h"
#include "faultwalk.h"
#include "formatlist.h"
#include "listitems.h"
#include "messagecapture.h"
#include "regfile.h"
#include "registrylayout.h"
#include "registrysettings.h"
#include "shellnotify.h"
#include "testregistry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QtTest>

#include <FreeImage.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

// The child modes of this executable, chosen through the environment.
const char *const childVar = "PELLVARIN_FAULT_CHILD";
const char *const choiceVar = "PELLVARIN_FAULT_CHOICE";
const char *const killVar = "PELLVARIN_FAULT_KILL_AT";
const char *const holdVar = "PELLVARIN_FAULT_HOLD_US";
const char *const expectVar = "PELLVARIN_FAULT_EXPECT";
const char *const roundsVar = "PELLVARIN_FAULT_ROUNDS";

enum ChildExit { Saved = 0, Refused = 3, Broken = 4 };

struct Result
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

constexpr int racingSaves = 100;
// Calls against a racing lock: reads and exports by the tool, queries and
// whole makes-default by the engine.
constexpr int lockedGets = 150, lockedExports = 60, lockedQueries = 120, lockedDefaults = 40;
const QString pngKey = QStringLiteral("HKEY_CLASSES_ROOT\\.png");
const QString unreadableLine =
    QStringLiteral("queryCurrentAssociations: the registry could not be read");

// Checking every format but the three whose only extension a later format
// takes anyway, so that a second save of the same choice writes nothing.
void choose(QListWidget &list, bool check)
{
    if (check)
        checkAllOnce(list);
    else
        setAll(list, Qt::Unchecked);
}

// Given a call, the process is killed at that call of the save.
bool saveChoice(bool check, int killAt = 0)
{
    QListWidget list;
    fillFormatList(&list, nullptr);
    choose(list, check);
    std::optional<SyscallFaults> kill;
    if (killAt > 0)
        kill.emplace(killAt, SIGKILL);
    return applyFormatList(&list);
}

QStringList integrityCheck(const QString &fileName)
{
    return sqlRows(fileName, "PRAGMA integrity_check");
}

// Every key and value in one statement, so one consistent read even while
// others write. Unlike TestRegistry::dump it also shows rows that no key
// path reaches, which a store that wrote through stale key ids would leave.
QStringList snapshot(const QString &fileName)
{
    QStringList lines = sqlRows(fileName, R"sql(
        WITH RECURSIVE p(id, path) AS (
            SELECT id, name FROM keys WHERE parent = 0
            UNION ALL SELECT k.id, p.path || char(92) || k.name FROM keys k JOIN p ON k.parent = p.id)
        SELECT '[' || path || ']' FROM p
        UNION ALL SELECT path || ' ' || v.name || '=' || v.type || ':' || hex(v.data)
            FROM p JOIN vals v ON v.key = p.id
        UNION ALL SELECT 'unreachable value ' || v.key || ' ' || v.name
            FROM vals v WHERE v.key NOT IN (SELECT id FROM p)
        UNION ALL SELECT 'unreachable key ' || k.id || ' ' || k.name
            FROM keys k WHERE k.id NOT IN (SELECT id FROM p))sql");
    lines.sort();
    return lines;
}

// The first lines on either side only, so that a mix names what got mixed.
QString difference(const QStringList &now, const QStringList &expected)
{
    const QSet<QString> a(now.begin(), now.end()), b(expected.begin(), expected.end());
    QStringList extra = QSet<QString>(a).subtract(b).values(),
                missing = QSet<QString>(b).subtract(a).values();
    extra.sort();
    missing.sort();
    return QStringLiteral("%1 extra, e.g. %2; %3 missing, e.g. %4")
        .arg(extra.size())
        .arg(extra.mid(0, 3).join(QStringLiteral(" | ")))
        .arg(missing.size())
        .arg(missing.mid(0, 3).join(QStringLiteral(" | ")));
}

void sleepMicroseconds(qint64 us)
{
    if (us > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(us));
}

// This executable again, in the child mode given.
void startChild(QProcess &child, const char *mode, ChildVars vars)
{
    vars.prepend({childVar, QLatin1String(mode)});
    ::startChild(child, vars);
}

void mark(char c)
{
    // Unbuffered: a kill right after must not lose it.
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, &c, 1);
}

// A child that saves as many times as it is told and, given a call, is
// killed at that call of its save.
int runSavingChild(int saves)
{
    const bool check = qEnvironmentVariable(choiceVar) == QLatin1String("check");
    int failed = 0;
    for (int i = 0; i < saves; ++i) {
        if (!saveChoice(check, qEnvironmentVariableIntValue(killVar))) {
            ++failed;
            fprintf(stderr, "save %d of %s failed\n", i, check ? "check" : "uncheck");
        }
    }
    return failed ? Refused : Saved;
}

// Takes the whole file for itself, as a program that opens it in
// exclusive locking mode does: while it holds it nobody else can read it,
// write-ahead log or not. With a hold, every few milliseconds until it is
// killed, marking each lock; without, once and for good.
int runLockingChild()
{
    const QString file = qEnvironmentVariable("PELLVARIN_REGISTRY");
    const qint64 holdUs = qEnvironmentVariableIntValue(holdVar);
    for (;;) {
        if (const HeldRegistry held(file, HeldRegistry::Whole); held.isHeld()) {
            mark('L');
            if (holdUs == 0)
                pause();
            sleepMicroseconds(holdUs);
        }
        sleepMicroseconds(qMax<qint64>(holdUs, 1000));
    }
}

// The engine's answer as lines, the formats' bits and then the flag, for
// comparing whole answers.
QString answerOf(const SelectionList &list, bool all)
{
    return (describe(list) << (all ? QStringLiteral("all") : QStringLiteral("not all")))
        .join(QLatin1Char('\n'));
}

// The engine's answer, or none when it reported that it could not read.
// A refusal that still answered something counts as that answer.
std::optional<QString> query(MessageCapture &engineMessages)
{
    engineMessages.clear();
    bool all = false;
    const SelectionList list = queryCurrentAssociations(&all);
    if (engineMessages.texts().contains(unreadableLine) && list.isEmpty() && !all)
        return std::nullopt;
    return answerOf(list, all);
}

// Tries until it works, for as long as another program could plausibly
// hold the file.
template <typename Attempt> bool untilItWorks(Attempt &&attempt)
{
    QElapsedTimer clock;
    clock.start();
    while (!attempt()) {
        if (clock.elapsed() > 20000)
            return false;
    }
    return true;
}

bool uncheckAll()
{
    return untilItWorks([] {
        QListWidget list;
        bool all = false;
        if (!readFormatList(&list, nullptr, &all))
            return false;
        choose(list, false);
        return applyFormatList(&list);
    });
}

// One engine call against a lock, as a viewer that has just started makes
// it, without waiting for the lock: a query gives the one right answer or
// says it could not read; a make-default that says it is done is done, and
// one that says it failed left nothing behind. Prints 'a' for an answer,
// 'b' for a refusal and 'w' for a wrong answer, which it also describes on
// stderr. With the lock held for good, both calls must refuse.
int runLockedEngineChild()
{
    const QStringList expected = qEnvironmentVariable(expectVar).split(QLatin1Char('|'));
    const QString unchecked = expected.value(0), allDefault = expected.value(1);
    const QString call = qEnvironmentVariable(roundsVar);
    MessageCapture engineMessages;
    const auto verdict = [](char c, const QString &why = QString()) {
        if (c == 'w')
            fprintf(stderr, "%s\n", qPrintable(why));
        putchar(c);
        return Saved;
    };
    if (call == QLatin1String("held")) {
        bool ok = true;
        makeAppDefaultForAllFormats(&ok);
        return verdict(!ok && !query(engineMessages) ? 'b' : 'w',
                       QStringLiteral("answered while locked out"));
    }
    if (call == QLatin1String("query")) {
        const std::optional<QString> a = query(engineMessages);
        if (!a)
            return verdict('b');
        return verdict(*a == unchecked ? 'a' : 'w', QStringLiteral("query answered wrongly"));
    }
    bool ok = false;
    makeAppDefaultForAllFormats(&ok);
    std::optional<QString> after;
    if (!untilItWorks([&] { return bool(after = query(engineMessages)); }))
        return Broken;
    if (*after != (ok ? allDefault : unchecked))
        return verdict('w', QStringLiteral("make-default said %1 but left %2")
                                .arg(ok ? QStringLiteral("done") : QStringLiteral("failed"))
                                .arg(after->left(80)));
    if (!uncheckAll())
        return Broken;
    return verdict(ok ? 'a' : 'b');
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

    struct State
    {
        QStringList dump;
        QStringList raw;
    };

    std::unique_ptr<TestRegistry> reg;
    State checked, unchecked;

    static State current(const TestRegistry &r) { return {r.everything(), snapshot(r.fileName)}; }
    State current() const { return current(*reg); }

    // A registry of its own holding what the file holds, made the default.
    static std::unique_ptr<TestRegistry> copyOf(const QString &file)
    {
        auto copy = std::make_unique<TestRegistry>();
        copy->fileName += QStringLiteral(".copy");
        if (!copyRegistryFile(file, copy->fileName))
            return copy;
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(copy->fileName));
        copy->store = RegistryStore::openDefault();
        copy->seededMachine();
        return copy;
    }

    // "checked", "unchecked", or what sets it apart from both; by the rows
    // alone where no dump was taken.
    QString nameOf(const QStringList &raw, const QStringList *dump = nullptr) const
    {
        for (const auto &[name, s] : {std::pair{"checked", &checked}, {"unchecked", &unchecked}})
            if (raw == s->raw && (!dump || *dump == s->dump))
                return QLatin1String(name);
        return QStringLiteral("mixed: against checked %1; against unchecked %2")
            .arg(difference(raw, checked.raw), difference(raw, unchecked.raw));
    }
    QString nameOf(const State &s) const { return nameOf(s.raw, &s.dump); }

    // Both choices must lead to one state each whatever the start, or a
    // registry that equals neither would not prove a save was cut in half.
    void settleStates()
    {
        QVERIFY(saveChoice(true));
        checked = current();
        QVERIFY(saveChoice(false));
        unchecked = current();
        QVERIFY(checked.dump != unchecked.dump);
        for (const bool check : {false, true, true, false}) {
            QVERIFY(saveChoice(check));
            QCOMPARE(nameOf(current()),
                     check ? QStringLiteral("checked") : QStringLiteral("unchecked"));
        }
    }

    // The registry raced for, which this process never opens, and what the
    // engine must answer on it, unchecked and all made default.
    QString raced, expect;

    // A program run to its end on the raced registry, waiting for no lock.
    Result run(const QString &program, const QStringList &args, ChildVars vars) const
    {
        QProcess p;
        vars << std::pair{"PELLVARIN_REGISTRY", raced}
             << std::pair{"PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS", QStringLiteral("0")};
        startChild(p, vars, program, args);
        Result r;
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit) {
            r.code = p.exitCode();
            r.out = p.readAllStandardOutput();
            r.err = p.readAllStandardError();
        }
        return r;
    }

    Result tool(const QStringList &args) const
    {
        return run(QStringLiteral(PELLVARIN_REG_EXECUTABLE), args, {});
    }

    // A locker holding the file for holdUs at a time (0: for good), once it
    // has taken it the first time.
    void startLocker(QProcess &locker, int holdUs)
    {
        startChild(locker, "lock",
                   {{"PELLVARIN_REGISTRY", raced}, {holdVar, QString::number(holdUs)}});
        QVERIFY(locker.waitForReadyRead(30000));
    }

    // One engine call in a process of its own.
    Result engineCall(const QString &call) const
    {
        return run(
            QCoreApplication::applicationFilePath(), {},
            {{childVar, QStringLiteral("locked engine")}, {expectVar, expect}, {roundsVar, call}});
    }

private Q_SLOTS:
    void init()
    {
        reg = std::make_unique<TestRegistry>();
        importDefaultRegistry(*reg);
        // A test whose start did not settle does not run; each starts
        // unchecked, as settling leaves it.
        settleStates();
    }

    void cleanup() { reg.reset(); }

    // A child saving is killed at each call of its save in turn, SIGKILL so
    // that nothing of its own runs after, until the save makes fewer calls:
    // every kill leaves the state before or the state after, never a mix, a
    // kill before the first call leaves the state before, and no kill after
    // one that left the save in can take it out again.
    void killedAtEveryCallLeavesOneWholeState()
    {
        const QString from = QStringLiteral("unchecked"), to = QStringLiteral("checked");
        qint64 notes = 0;
        FaultWalk walk;
        walk.walk(
            [&](FaultPoint &p) {
                QVERIFY(saveChoice(false));
                notes = notifications(*reg);
                QProcess child;
                startChild(child, "save",
                           {{choiceVar, QStringLiteral("check")}, {killVar, QString::number(p.n)}});
                QVERIFY(child.waitForFinished(60000));
                p.struck = child.exitStatus() != QProcess::NormalExit;
                p.note = nameOf(current());
                p.done = p.note == to && (p.struck || child.exitCode() == Saved);
            },
            [&](const FaultPoint &p) {
                QCOMPARE(integrityCheck(reg->fileName), QStringList{QStringLiteral("ok")});
                const QString &now = p.note;
                QVERIFY2(now == from || now == to, qPrintable(p.where()));
                QVERIFY2(now == to ? p.n > 1 : walk.landed == 0, qPrintable(p.where()));
                if (now == from)
                    QVERIFY2(notifications(*reg) == notes, qPrintable(p.where()));
            });
    }

    void everyFailedCallOfASaveLeavesOneWholeState_data()
    {
        QTest::addColumn<bool>("engine");
        QTest::addColumn<bool>("spill");
        QTest::addRow("list") << false << false;
        QTest::addRow("engine") << true << false;
        QTest::addRow("list, spilling") << false << true;
    }

    // The disk refuses each call of one save in turn, N = 1, 2, ... until
    // the save makes fewer than N: a save that reports failure left the
    // registry exactly as it was and says the disk is full; one that
    // reports success is there whole: what failed came after its commit, or
    // SQLite could do without it (the folder it opens to sync). Then, with
    // room again, the same save goes through. Under a tiny heap limit SQLite
    // writes pages out before the commit, so writes fail midway there too.
    void everyFailedCallOfASaveLeavesOneWholeState()
    {
        QFETCH(bool, engine);
        QFETCH(bool, spill);
        const DiskError &full = diskError(ENOSPC);
        const State before = current(*reg);
        const qint64 notes = notifications(*reg);
        State after;
        std::unique_ptr<TestRegistry> copy;
        FaultWalk walk;
        walk.walkCounted(
            [&](FaultPoint &p) {
                copy.reset(); // done with, as a registry of its own, before the next
                copy = copyOf(reg->fileName);
                // The list is read first, as the window's Save starts from a
                // list read when it opened; the engine reads and writes in
                // one call.
                QListWidget list;
                if (!engine) {
                    fillFormatList(&list, nullptr);
                    choose(list, true);
                }
                const sqlite3_int64 limit = sqlite3_soft_heap_limit64(spill ? 1 : -1);
                FaultWalk::failing(p, full.error, [&] {
                    if (engine)
                        makeAppDefaultForAllFormats(&p.done);
                    else
                        p.done = applyFormatList(&list);
                });
                sqlite3_soft_heap_limit64(limit);
            },
            [&](const FaultPoint &p) {
                const State now = current(*copy);
                if (p.n == 0) {
                    after = now;
                    QVERIFY(after.dump != before.dump);
                }
                QVERIFY2(integrityCheck(copy->fileName) == QStringList{QStringLiteral("ok")},
                         qPrintable(p.where()));
                const State &expected = p.done ? after : before;
                QVERIFY2(now.dump == expected.dump && now.raw == expected.raw,
                         qPrintable(p.where() + QStringLiteral(": ") +
                                    difference(now.raw, expected.raw)));
                if (p.done)
                    return;
                QVERIFY2(notifications(*copy) == notes, qPrintable(p.where()));
                QVERIFY2(lastRegistryFailure().kind == full.kind, qPrintable(p.where()));
            });
    }

    // Another program locks the file every few milliseconds, and nothing
    // here waits for it: each read, export and engine call gives the right
    // answer or says that the registry could not be read, never an absent
    // key, a partial export or a partial list. Each call is a process of its
    // own on a file this process never opens: a process that has the file
    // open keeps a program that wants it whole from taking it at all.
    void racingLockNeverGivesAWrongAnswer()
    {
        bool all = false;
        const QString unchecked = answerOf(queryCurrentAssociations(&all), all);
        bool ok = false;
        makeAppDefaultForAllFormats(&ok);
        QVERIFY(ok);
        const QString allDefault = answerOf(queryCurrentAssociations(&all), all);
        QVERIFY(unchecked != allDefault);
        QVERIFY(saveChoice(false));
        raced = reg->fileName + QStringLiteral(".raced");
        QVERIFY(copyRegistryFile(reg->fileName, raced));
        const Result exported = tool({QStringLiteral("export")});
        QCOMPARE(exported.code, 0);
        expect = unchecked + QLatin1Char('|') + allDefault;

        int toolRuns = 0, answered = 0, busy = 0, engineAnswered = 0, engineBusy = 0;
        qint64 locks = 0;
        QStringList wrongs;
        const auto judge = [&](const QString &what, const Result &r, bool right, bool refused,
                               int &rights, int &refusals) {
            if (right)
                ++rights;
            else if (refused)
                ++refusals;
            else
                wrongs.append(QStringLiteral("%1: exit %2, %3 bytes out, %4")
                                  .arg(what)
                                  .arg(r.code)
                                  .arg(r.out.size())
                                  .arg(QString::fromUtf8(r.err.trimmed())));
        };
        // First held for good, so that a refusal is certain to be seen and
        // nothing may answer; then taken every few milliseconds.
        for (const int holdUs : {0, 3000}) {
            const bool held = holdUs == 0;
            const auto judgeTool = [&](const QStringList &args, int rightCode,
                                       const QByteArray &rightOut, const QString &what) {
                const Result r = tool(args);
                ++toolRuns;
                judge(what, r, !held && r.code == rightCode && r.out == rightOut,
                      r.code == 2 && r.out.isEmpty() && r.err.contains("another program is using"),
                      answered, busy);
            };
            QProcess locker;
            startLocker(locker, holdUs);
            for (int i = 0; i < (held ? 1 : lockedGets); ++i) {
                if (i % 3 == 2)
                    judgeTool({QStringLiteral("get"), QStringLiteral("HKCU\\Software\\Nothing"),
                               QStringLiteral("x")},
                              1, QByteArray(), QStringLiteral("get of nothing %1").arg(i));
                else
                    judgeTool({QStringLiteral("get"), pngKey, QStringLiteral("@")}, 0, "pngfile\n",
                              QStringLiteral("get %1").arg(i));
            }
            for (int i = 0; i < (held ? 1 : lockedExports); ++i)
                judgeTool({QStringLiteral("export")}, 0, exported.out,
                          QStringLiteral("export %1").arg(i));
            for (int i = 0; i < (held ? 1 : lockedQueries + lockedDefaults); ++i) {
                const Result r = engineCall(held                ? QStringLiteral("held")
                                            : i < lockedQueries ? QStringLiteral("query")
                                                                : QStringLiteral("default"));
                judge(QStringLiteral("engine call %1").arg(i), r, !held && r.out == "a",
                      r.out == "b", engineAnswered, engineBusy);
            }
            locker.kill();
            locker.waitForFinished();
            locks += locker.readAllStandardOutput().count('L');
        }
        qInfo("tool: %d runs, %d answered, %d busy; engine: %d calls, %d answered, %d busy; "
              "wrong answers: %d; the other program locked the file %lld times",
              toolRuns, answered, busy, 1 + lockedQueries + lockedDefaults, engineAnswered,
              engineBusy, int(wrongs.size()), locks);
        // How often the lock met a call is a figure for the log, not a
        // verdict: startLocker saw it taken before the first call.
        QVERIFY2(wrongs.isEmpty(), qPrintable(wrongs.join(QStringLiteral("; "))));
    }

    void twoSaversAtOnceLeaveOneWholeState()
    {
        QProcess a, b;
        for (QProcess *p : {&a, &b})
            startChild(
                *p, "repeat",
                {{choiceVar, p == &a ? QStringLiteral("check") : QStringLiteral("uncheck")}});
        QElapsedTimer clock;
        clock.start();
        // Sampled to the end rather than stopping at the first mix, so that
        // a failure tells how often it happens and what the savers reported.
        int samples = 0, checkedSeen = 0, uncheckedSeen = 0;
        QStringList mixes;
        while (a.state() != QProcess::NotRunning || b.state() != QProcess::NotRunning) {
            if (clock.elapsed() > 120000) {
                a.kill();
                b.kill();
                QFAIL("the savers did not finish");
            }
            const QString now = nameOf(snapshot(reg->fileName));
            if (now == QLatin1String("checked"))
                ++checkedSeen;
            else if (now == QLatin1String("unchecked"))
                ++uncheckedSeen;
            else
                mixes.append(QStringLiteral("sample %1: %2").arg(samples).arg(now));
            ++samples;
            for (QProcess *p : {&a, &b})
                if (p->state() != QProcess::NotRunning)
                    p->waitForFinished(1);
        }
        qInfo("%d saves each in %lld ms; %d samples: %d checked, %d unchecked, %d neither; "
              "savers exited %d and %d",
              racingSaves, clock.elapsed(), samples, checkedSeen, uncheckedSeen, int(mixes.size()),
              a.exitCode(), b.exitCode());
        QVERIFY2(mixes.isEmpty(), qPrintable(mixes.value(0)));
        for (QProcess *p : {&a, &b}) {
            QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            QVERIFY2(p->exitCode() == Saved, p->readAllStandardError().constData());
        }
        QCOMPARE(integrityCheck(reg->fileName), QStringList{QStringLiteral("ok")});
        const QString end = nameOf(current());
        QVERIFY2(end == QLatin1String("checked") || end == QLatin1String("unchecked"),
                 qPrintable(end));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString child = qEnvironmentVariable(childVar);
    if (child == QLatin1String("save") || child == QLatin1String("repeat"))
        return runSavingChild(child == QLatin1String("save") ? 1 : racingSaves);
    if (child == QLatin1String("lock"))
        return runLockingChild();
    if (child == QLatin1String("locked engine"))
        return runLockedEngineChild();
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
