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
#include <QRandomGenerator>
#include <QtTest>

#include <csignal>

namespace {

const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\");
const QString fileExts = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\");

qint64 notifications(const TestRegistry &reg)
{
    return reg.store->notifications(associationsChangedEvent).count;
}

int runKilledApplier()
{
    QListWidget list;
    fillFormatList(&list, nullptr);
    if (qEnvironmentVariable("PELLVARIN_APPLY") == QLatin1String("check"))
        checkAllOnce(list);
    else
        setAll(list, Qt::Unchecked);
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

        for (int round = 0; round < 30; ++round) {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("PELLVARIN_APPLY"),
                       round % 2 ? QStringLiteral("check") : QStringLiteral("uncheck"));
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), QStringList());
            QVERIFY(child.waitForStarted());
            QTest::qSleep(int(QRandomGenerator::global()->bounded(5, 120)));
            ::kill(pid_t(child.processId()), SIGKILL);
            child.waitForFinished();
            const QStringList now = reg->everything();
            QVERIFY2(now == checked || now == unchecked, qPrintable(QString::number(round)));
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
    if (qEnvironmentVariableIsSet("PELLVARIN_APPLY"))
        return runKilledApplier();
    TestApplyWhole test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_applywhole.moc"
