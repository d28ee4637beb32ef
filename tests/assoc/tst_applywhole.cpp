// A save lands whole or not at all: what the substitute registry promises
// through its transactions, and the Windows registry cannot. A full disk,
// a read-only file and a kill midway each leave a whole state behind.

#include "formatcatalogue.h"
#include "formatlist.h"
#include "listitems.h"
#include "registrylayout.h"
#include "shellnotify.h"
#include "testregistry.h"

#include <QListWidget>
#include <QProcess>
#include <QtTest>

#include <FreeImage.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\");
const QString fileExts = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\");

qint64 notifications(const TestRegistry &reg)
{
    return reg.store->notifications(associationsChangedEvent).count;
}

// A format of the test's own, last in the table, with one extension that
// names a key and one that cannot: the applier writes the first and then
// says that it skips the second, from inside its save.
const char *const midwayFormat = "MIDWAY";
void noPluginCallbacks(Plugin *, int) {}

// The child's word that its save is under way, with every earlier row
// written: it says so on its standard output and waits there to be killed.
void stopInsideTheSave(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (!message.startsWith(QLatin1String("skipped an extension")))
        return;
    std::fputs("saving\n", stdout);
    std::fflush(stdout);
    for (;;)
        ::pause();
}

int runKilledApplier()
{
    QListWidget list;
    fillFormatList(&list, nullptr);
    if (qEnvironmentVariable("PELLVARIN_APPLY") == QLatin1String("check"))
        checkAllOnce(list);
    else
        setAll(list, Qt::Unchecked);
    // The reader skips the same extension, so only now does the line mean the save.
    qInstallMessageHandler(stopInsideTheSave);
    return applyFormatList(&list) ? 0 : 1;
}

} // namespace

class TestApplyWhole : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRegistry> reg;

private Q_SLOTS:
    void init()
    {
        reg = std::make_unique<TestRegistry>();
        for (int fif = 0; fif < formatCount(); ++fif)
            QVERIFY(reg->set(machine + progIdOf(fif), QString(), formatDescription(fif)));
        QVERIFY(reg->set(machine + QStringLiteral("jpegfile\\shell\\open\\command"), QString(),
                         QStringLiteral("other.exe \"%1\"")));
        QVERIFY(reg->set(machine + QStringLiteral(".jpg"), QString(), QStringLiteral("jpegfile")));
    }

    // Going away, the registry checks that the machine's keys are as seeded.
    void cleanup() { reg.reset(); }

    void failedWriteLeavesEverythingAsItWas()
    {
        QVERIFY(reg->set(fileExts + QStringLiteral(".png"), QStringLiteral("ProgId"),
                         QStringLiteral("pngfile")));
        // The disk "fills up" on the third extension's first write, after
        // earlier writes of the same call have been made.
        QProcess sqlite;
        sqlite.start(
            QStringLiteral("sqlite3"),
            {reg->fileName, QStringLiteral("CREATE TRIGGER full BEFORE INSERT ON vals "
                                           "WHEN (SELECT count(*) FROM vals WHERE fold = "
                                           "'PERCEIVEDTYPE') >= 2 "
                                           "BEGIN SELECT RAISE(ABORT, 'disk full'); END;")});
        QVERIFY(sqlite.waitForFinished());
        QCOMPARE(sqlite.exitCode(), 0);
        const QStringList before = reg->everything();

        QListWidget list;
        for (const char *f : {"PNG", "JPEG", "BMP"})
            addItem(list, f, Qt::Checked);
        QVERIFY(!applyFormatList(&list));
        QCOMPARE(reg->everything(), before);
        QCOMPARE(notifications(*reg), 0);
    }

    void killedMidwayLeavesOneWholeState()
    {
        QListWidget list;
        fillFormatList(&list, nullptr);
        checkAllOnce(list);
        QVERIFY(applyFormatList(&list));
        const QStringList checked = reg->everything();
        setAll(list, Qt::Unchecked);
        QVERIFY(applyFormatList(&list));
        const QStringList unchecked = reg->everything();
        QVERIFY(checked != unchecked);
        // The two states are all a complete save can leave.
        checkAllOnce(list);
        QVERIFY(applyFormatList(&list));
        QCOMPARE(reg->everything(), checked);

        QCOMPARE(list.item(list.count() - 1)->text(), QLatin1String(midwayFormat) + u'\t');

        // Each child starts from the other state and is killed inside its
        // save, after it has written all but its last row: nothing of the
        // save may remain.
        for (int round = 0; round < 4; ++round) {
            const bool check = round % 2 == 0;
            const QStringList before = check ? unchecked : checked;
            if (check) {
                setAll(list, Qt::Unchecked);
                QVERIFY(applyFormatList(&list));
            } else {
                checkAllOnce(list);
                QVERIFY(applyFormatList(&list));
            }
            QCOMPARE(reg->everything(), before);
            const qint64 told = notifications(*reg);

            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("PELLVARIN_APPLY"),
                       check ? QStringLiteral("check") : QStringLiteral("uncheck"));
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), QStringList());
            QVERIFY(child.waitForStarted());
            for (int wait = 0; wait < 120 && !child.canReadLine(); ++wait) {
                if (!child.waitForReadyRead(1000) && child.state() != QProcess::Running)
                    break;
            }
            QCOMPARE(child.readLine(), QByteArray("saving\n"));
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished());
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            QVERIFY2(reg->everything() == before, qPrintable(QString::number(round)));
            QCOMPARE(notifications(*reg), told);
        }
    }

    void readOnlyRegistryReportsFailure()
    {
        const QStringList before = reg->everything();
        reg->makeReadOnly();

        QListWidget list;
        addItem(list, "PNG", Qt::Checked);
        QVERIFY(!applyFormatList(&list));
        QCOMPARE(reg->everything(), before);
        QCOMPARE(notifications(*reg), 0);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // FreeImage keeps the strings it is given; these live as long as the process.
    FreeImage_RegisterLocalPlugin(noPluginCallbacks, midwayFormat, "Midway", "midway,mid/way");
    if (qEnvironmentVariableIsSet("PELLVARIN_APPLY"))
        return runKilledApplier();
    TestApplyWhole test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_applywhole.moc"
