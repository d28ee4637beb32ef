// The engine's entry points as the viewer calls them, on the default
// registry: making the viewer the default on XP and through the service,
// the version choosing the path and every version's one answer, an
// unregistered viewer, a read-only registry, two threads, a program without
// widgets, and starting the selector tool beside the caller (a stand-in
// tool built into this test's directory).

#include "defaultprograms.h"
#include "engine.h"
#include "enginefixture.h"
#include "formatcatalogue.h"
#include "listitems.h"
#include "messagecapture.h"
#include "regfile.h"
#include "registrytrouble.h"
#include "shellnotify.h"
#include "testregistry.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

#include <FreeImage.h>

#include <cstdio>
#include <thread>

namespace {

const QString notInstalledLine = QStringLiteral("makeAppDefaultForAllFormats: app not installed");
constexpr int formatsInDefaultRegistry = 37;

// What keeps the viewer from being made the default.
enum Obstacle { NotRegistered, NoFormatRegistered, ReadOnly };

// Every format of the table with each of its extensions set or clear, save
// the formats named in cleared, which have all of theirs clear.
QStringList everyFormat(bool set, const QStringList &cleared = {})
{
    SelectionList list;
    for (int fif = 0; fif < formatCount(); ++fif) {
        const bool bit = set && !cleared.contains(formatName(fif));
        list.append(FormatSelection{fif, QBitArray(int(extensionsOfFormat(fif).size()), bit)});
    }
    return describe(list);
}

const QStringList lostToLaterFormats = {QStringLiteral("PBM"), QStringLiteral("PGM"),
                                        QStringLiteral("PPM")};

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRegistry> reg;
    // The engine's debug lines, from init() on; other messages still reach the log.
    std::optional<MessageCapture> engineDebug;
    QString marker;

    // The engine's answer, the same whether or not the flag is asked for.
    static void checkAnswer(const QStringList &bits, bool all)
    {
        bool allDefault = !all;
        QCOMPARE(describe(queryCurrentAssociations(&allDefault)), bits);
        QCOMPARE(allDefault, all);
        QCOMPARE(describe(queryCurrentAssociations(nullptr)), bits);
    }

    // Not asked for its answer, it does the same all the same.
    static void makeDefault(bool askOk)
    {
        bool ok = false;
        makeAppDefaultForAllFormats(askOk ? &ok : nullptr);
        QVERIFY(ok || !askOk);
    }

    // The user's choices, as Settings writes them: the viewer for every
    // extension it declares.
    void chooseViewerInSettings()
    {
        for (const RegValue &v : reg->store->values(TestRegistry::key(viewerFileAssociations)))
            QVERIFY(reg->set(inFileExts + v.name + QStringLiteral("\\UserChoice"),
                             QStringLiteral("Progid"), decodeRegSz(v.data)));
    }

    // This test run again as a child with its standard error after its
    // output, for what only a new process can show.
    static QByteArray runChild(const QString &mode)
    {
        QProcess child;
        startChild(child, {{"PELLVARIN_ENGINE_CHILD", mode}});
        if (!child.waitForFinished(60000))
            return "did not finish";
        const QByteArray out = child.readAllStandardOutput() + child.readAllStandardError();
        if (child.exitStatus() != QProcess::NormalExit)
            return "crashed: " + out;
        return out;
    }

    QString toolBesideTest() const
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/Pellvarin");
    }

private Q_SLOTS:
    void init()
    {
        reg = std::make_unique<TestRegistry>();
        importDefaultRegistry(*reg);
        marker = reg->dir.filePath(QStringLiteral("started"));
        qputenv("PELLVARIN_FAKE_MARKER", QFile::encodeName(marker));
        engineDebug.emplace(QtDebugMsg);
    }

    void cleanup()
    {
        engineDebug.reset();
        qunsetenv("PELLVARIN_FAKE_MARKER");
        reg.reset();
    }

    void makeDefaultTakesEveryFormatTheWayItsWindowsDoes_data()
    {
        QTest::addColumn<QString>("currentVersion");
        QTest::addColumn<bool>("throughService");
        QTest::addColumn<bool>("askOk");
        QTest::newRow("XP, ok asked") << QStringLiteral("5.1") << false << true;
        QTest::newRow("XP, ok null") << QStringLiteral("5.1") << false << false;
        QTest::newRow("missing is XP") << QString() << false << true;
        QTest::newRow("Vista, ok asked") << QStringLiteral("6.0") << true << true;
        QTest::newRow("Vista, ok null") << QStringLiteral("6.0") << true << false;
        QTest::newRow("7") << QStringLiteral("6.1") << true << true;
    }

    // XP's way is the per-user classes, the service's the user's choices; only
    // the service sees the shared extensions as wholly the viewer's. On XP,
    // partly associated formats are taken over whole: the per-user writer
    // leaves partially checked items alone, so they must be checked first.
    void makeDefaultTakesEveryFormatTheWayItsWindowsDoes()
    {
        QFETCH(QString, currentVersion);
        QFETCH(bool, throughService);
        QFETCH(bool, askOk);
        // The default registry, XP's, has every format and nothing the viewer's.
        QCOMPARE(formatCount(), formatsInDefaultRegistry);
        setWindows(*reg, currentVersion);
        checkAnswer(everyFormat(false), false);
        if (!throughService) {
            QVERIFY(reg->set(inUserClasses + QStringLiteral(".jpg"), QString(),
                             QStringLiteral("Talvimor.JPEG")));
            // Another program's per-user override must give way too.
            QVERIFY(reg->set(inFileExts + QStringLiteral(".png"), QStringLiteral("ProgId"),
                             QStringLiteral("pngfile")));
            const SelectionList before = queryCurrentAssociations(nullptr);
            QCOMPARE(describe({before.at(fifOf("JPEG"))}),
                     QStringList{QStringLiteral("JPEG=1000")});
        }
        const QStringList userClassesBefore = reg->dump(userClassesPath);

        makeDefault(askOk);

        QCOMPARE(reg->exists(inFileExts + QStringLiteral(".gif\\UserChoice")), throughService);
        QCOMPARE(reg->exists(inUserClasses + QStringLiteral(".gif")), !throughService);
        QCOMPARE(notifications(*reg), 1);
        // Through the service each extension is asked on its own, so shared
        // ones count for both; on XP they went to the later formats.
        checkAnswer(everyFormat(true, throughService ? QStringList() : lostToLaterFormats),
                    throughService);
        if (throughService) {
            const QList<RegValue> declared =
                reg->store->values(TestRegistry::key(viewerFileAssociations));
            QVERIFY(declared.size() > formatsInDefaultRegistry);
            for (const RegValue &v : declared)
                QCOMPARE(reg->get(inFileExts + v.name + QStringLiteral("\\UserChoice"),
                                  QStringLiteral("Progid")),
                         decodeRegSz(v.data));
            QCOMPARE(reg->dump(userClassesPath), userClassesBefore);
        } else {
            QCOMPARE(reg->get(QStringLiteral("HKCR\\.pbm"), QString()),
                     QStringLiteral("Talvimor.PBMRAW"));
            QCOMPARE(reg->get(QStringLiteral("HKCR\\.jpe"), QString()),
                     QStringLiteral("Talvimor.JPEG"));
            QVERIFY(!reg->get(inFileExts + QStringLiteral(".png"), QStringLiteral("ProgId")));
            // XP has no Default Programs: nothing through the service's keys.
            QVERIFY(!reg->exists(inFileExts + QStringLiteral(".png\\UserChoice")));
            QVERIFY(!reg->exists(inFileExts + QStringLiteral(".bmp\\UserChoice")));
            // PBM and PBMRAW (and the other two pairs) hand .pbm to each other
            // on every call, each remembering the other as the one to give it
            // back to. That must neither change the answer nor grow the
            // registry call after call.
            QStringList previous;
            for (int run = 2; run <= 4; ++run) {
                makeDefault(askOk);
                checkAnswer(everyFormat(true, lostToLaterFormats), false);
                QCOMPARE(reg->get(QStringLiteral("HKCR\\.pbm"), QString()),
                         QStringLiteral("Talvimor.PBMRAW"));
                const QStringList now = reg->everything();
                if (run > 2)
                    QCOMPARE(now, previous);
                previous = now;
            }
        }
        QVERIFY(engineDebug->texts().isEmpty());
    }

    void everyWindowsGivesOneAnswer_data()
    {
        QTest::addColumn<QString>("currentVersion");
        QTest::addColumn<int>("build");
        QTest::addColumn<bool>("pngElsewhere"); // taken by another program since
        QTest::addColumn<QStringList>("bits");
        QTest::addColumn<bool>("allDefault");
        QTest::addColumn<bool>("madeAgain"); // and all default after that
        const QStringList png{QStringLiteral("PNG")};
        const struct
        {
            const char *name;
            const char *version;
            int build;
        } windows[] = {{"XP", "5.1", 0},
                       {"7", "6.1", 0},
                       {"8", "6.2", 0},
                       {"10", "10.0", 19045},
                       {"11", "10.0", 22631}};
        for (const auto &w : windows) {
            const QString version = QString::fromLatin1(w.version);
            // On XP each format asks after its own ProgId, and the shared
            // extensions went to the later formats: never all. From 8 on only
            // the user can take .png back.
            const bool xp = qstrcmp(w.name, "XP") == 0, takesBack = xp || qstrcmp(w.name, "7") == 0;
            const QStringList lost = xp ? lostToLaterFormats : QStringList();
            QTest::addRow("%s, everything", w.name)
                << version << w.build << false << everyFormat(true, lost) << !xp << true;
            QTest::addRow("%s, .png elsewhere", w.name)
                << version << w.build << true << everyFormat(true, lost + png) << false
                << takesBack;
        }
    }

    // The viewer chosen for everything the way each Windows records it:
    // through making it the default up to 7, in Settings from 8 on. Is each
    // extension the viewer's, and is everything: one answer from 7 to 11,
    // and no to both for .png once another program has it.
    void everyWindowsGivesOneAnswer()
    {
        QFETCH(QString, currentVersion);
        QFETCH(int, build);
        QFETCH(bool, pngElsewhere);
        QFETCH(QStringList, bits);
        QFETCH(bool, allDefault);
        QFETCH(bool, madeAgain);
        setWindows(*reg, currentVersion, build);
        const bool xp = currentVersion == QLatin1String("5.1");
        if (!xp && currentVersion != QLatin1String("6.1")) {
            // Windows takes the request and changes nothing; the engine must
            // not call that done. Once the user has chosen the viewer in
            // Settings, it is.
            const QStringList before = reg->everything();
            bool ok = true;
            makeAppDefaultForAllFormats(&ok);
            QVERIFY(!ok);
            QCOMPARE(reg->everything(), before);
            QCOMPARE(notifications(*reg), 0);
            QCOMPARE(engineDebug->texts().last(),
                     QStringLiteral("IApplicationAssociationRegistration SetAppAsDefaultAll: "
                                    "Windows no longer lets an application set its own defaults"));
            checkAnswer(everyFormat(false), false);
            chooseViewerInSettings();
        }
        makeDefault(true);
        if (pngElsewhere)
            QVERIFY(xp ? reg->set(inFileExts + QStringLiteral(".png"), QStringLiteral("ProgId"),
                                  QStringLiteral("pngfile"))
                       : reg->set(inFileExts + QStringLiteral(".png\\UserChoice"),
                                  QStringLiteral("Progid"), QStringLiteral("pngfile")));

        checkAnswer(bits, allDefault);
        bool ok = true, all = !madeAgain;
        makeAppDefaultForAllFormats(&ok);
        QCOMPARE(ok, madeAgain);
        queryCurrentAssociations(&all);
        QCOMPARE(all, madeAgain && !xp);
    }

    // Each thread has the registry to itself, as with QSettings: two asking
    // at once get what one gets.
    void twoThreadsGetWhatOneGets()
    {
        setWindows(*reg, QStringLiteral("10.0"), 19045);
        chooseViewerInSettings();
        QVERIFY(reg->set(inFileExts + QStringLiteral(".png\\UserChoice"), QStringLiteral("Progid"),
                         QStringLiteral("pngfile")));
        const auto ask = [] {
            bool ok = true, allDefault = true;
            makeAppDefaultForAllFormats(&ok);
            QStringList answer = describe(queryCurrentAssociations(&allDefault));
            return answer << QString::number(ok) << QString::number(allDefault);
        };
        const QStringList alone = ask();
        QCOMPARE(alone.mid(alone.size() - 2),
                 (QStringList{QStringLiteral("0"), QStringLiteral("0")}));
        QList<QStringList> answers[2];
        std::thread threads[2];
        for (int t = 0; t < 2; ++t)
            threads[t] = std::thread([&, t] {
                for (int call = 0; call < 40; ++call)
                    answers[t].append(ask());
            });
        for (std::thread &thread : threads)
            thread.join();
        for (const QList<QStringList> &each : answers) {
            QCOMPARE(each.size(), 40);
            for (const QStringList &answer : each)
                QCOMPARE(answer, alone);
        }
    }

    void withoutWidgets_data()
    {
        QTest::addColumn<QString>("currentVersion");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("refusals");
        // Refused, with one line each, rather than aborted by Qt.
        QTest::newRow("XP") << QStringLiteral("5.1")
                            << QStringLiteral("make ok=0 query all=0 formats=0") << 2;
        QTest::newRow("10")
            << QStringLiteral("10.0")
            << QStringLiteral("make ok=1 query all=1 formats=%1").arg(formatsInDefaultRegistry)
            << 0;
    }

    // A command-line helper of the viewer's has a QCoreApplication: the
    // service needs no widget, the per-user registry does.
    void withoutWidgets()
    {
        QFETCH(QString, currentVersion);
        QFETCH(QString, answer);
        QFETCH(int, refusals);
        setWindows(*reg, currentVersion);
        chooseViewerInSettings();
        const QByteArray out = runChild(QStringLiteral("core"));
        QCOMPARE(QString::fromLatin1(out.left(out.indexOf('\n'))), answer);
        QCOMPARE(out.count("needs a QApplication"), refusals);
    }

    void makeDefaultThatWritesNothingChangesNothing_data()
    {
        QTest::addColumn<QString>("currentVersion");
        QTest::addColumn<int>("obstacle");
        QTest::addColumn<bool>("done"); // and everything the viewer's
        QTest::addColumn<QStringList>("debug");
        QTest::addColumn<bool>("listed"); // every format, none the viewer's
        const QString xp = QStringLiteral("5.1"), vista = QStringLiteral("6.0");
        QTest::newRow("not registered, XP")
            << xp << int(NotRegistered) << false << QStringList{notInstalledLine} << false;
        QTest::newRow("not registered, Vista")
            << vista << int(NotRegistered) << false << QStringList{notInstalledLine} << false;
        QTest::newRow("no format registered, XP")
            << xp << int(NoFormatRegistered) << true << QStringList() << false;
        QTest::newRow("read-only, Vista")
            << vista << int(ReadOnly) << false << QStringList{serviceError("SetAppAsDefaultAll")}
            << true;
    }

    // Not registered: the formats' ProgIds stay, as only the application's
    // entry decides whether the viewer counts as installed. A read-only
    // registry is refused before any write, unlike a write that fails midway
    // (tst_faults), and reading it is unaffected.
    void makeDefaultThatWritesNothingChangesNothing()
    {
        QFETCH(QString, currentVersion);
        QFETCH(int, obstacle);
        QFETCH(bool, done);
        QFETCH(QStringList, debug);
        QFETCH(bool, listed);
        setWindows(*reg, currentVersion);
        if (obstacle == NotRegistered)
            registerViewer(*reg, false);
        if (obstacle == ReadOnly)
            reg->makeReadOnly();
        if (obstacle == NoFormatRegistered)
            for (const QString &name : reg->subkeyNames(machineClassesPath))
                if (name.startsWith(QLatin1String("Talvimor.")))
                    QVERIFY(reg->removeKey(machineClassesPath + QLatin1Char('\\') + name));
        const QStringList before = reg->everything();

        bool ok = !done;
        makeAppDefaultForAllFormats(&ok);
        QCOMPARE(ok, done);
        QCOMPARE(engineDebug->texts(), debug);
        makeAppDefaultForAllFormats(nullptr);
        QCOMPARE(engineDebug->texts(), debug + debug);
        QCOMPARE(reg->everything(), before);
        QCOMPARE(notifications(*reg), 0);

        engineDebug->clear();
        checkAnswer(listed ? everyFormat(false) : QStringList(), done);
        QVERIFY(engineDebug->texts().isEmpty());
        QCOMPARE(reg->everything(), before);
    }

    void troubleIsNoAnswer_data() { addTroubleRows(); }

    // On XP, where the engine writes the registry itself: whatever the
    // trouble, making the viewer the default says it failed and writes
    // nothing, and a registry that cannot be read gives no list at all.
    // Once the trouble is gone, the same calls succeed.
    void troubleIsNoAnswer()
    {
        QFETCH(int, trouble);
        QFETCH(bool, readable);
        QFETCH(bool, passes);
        PELLVARIN_TROUBLED_REGISTRY(troubled, trouble, reg->fileName);
        reg->reopenAt(troubled.fileName());
        const QByteArray before = troubled.contents();
        bool allDefault = true;
        const QStringList listed = describe(queryCurrentAssociations(&allDefault));
        bool ok = true;
        makeAppDefaultForAllFormats(&ok);
        QVERIFY(!ok);
        QVERIFY(!allDefault);
        QCOMPARE(listed, readable ? everyFormat(false) : QStringList());
        QCOMPARE(troubled.contents(), before);
        QVERIFY(troubled.end());
        if (passes) {
            makeDefault(true);
            checkAnswer(everyFormat(true, lostToLaterFormats), false);
        }
        // Done with while the file is there.
        reg->seededMachine();
        reg.reset();
    }

    void launchStartsTheToolBesideTheCaller_data()
    {
        QTest::addColumn<bool>("registered");
        QTest::newRow("registered") << true;
        QTest::newRow("not registered") << false;
    }

    // Started either way; only the answer depends on the registration.
    void launchStartsTheToolBesideTheCaller()
    {
        QFETCH(bool, registered);
        QVERIFY2(QFileInfo(toolBesideTest()).isExecutable(), qPrintable(toolBesideTest()));
        if (!registered)
            registerViewer(*reg, false);
        QCOMPARE(launchSelectorTool(), registered);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
        QFile started(marker);
        QVERIFY(started.open(QIODevice::ReadOnly));
        QCOMPARE(started.readAll(), QByteArray("0\n")); // no arguments
    }

    void launchStartsOnlyTheToolBesideTheCaller_data()
    {
        QTest::addColumn<QString>("tool"); // what is beside the caller
        QTest::addColumn<bool>("started");
        QTest::newRow("absent") << QString() << false;
        QTest::newRow("not executable") << QStringLiteral("readable") << false;
        QTest::newRow("in a directory a shell would split") << QStringLiteral("executable") << true;
    }

    // A copy of this test in a directory of its own stands for a caller
    // installed elsewhere. The real tool's directory is on PATH, which must
    // not be searched, and the directory's name would run commands if a
    // shell ever saw it.
    void launchStartsOnlyTheToolBesideTheCaller()
    {
        QFETCH(QString, tool);
        QFETCH(bool, started);
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString dir =
            work.filePath(QStringLiteral("in stall;touch pwned $(touch pwned) `touch pwned` 'q\""));
        QVERIFY(QDir().mkpath(dir));
        const QString copy = dir + QStringLiteral("/caller");
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner));
        if (!tool.isEmpty()) {
            const QString beside = dir + QStringLiteral("/Pellvarin");
            QVERIFY(QFile::copy(toolBesideTest(), beside));
            QVERIFY(QFile::setPermissions(beside, tool == QLatin1String("executable")
                                                      ? QFile::ReadOwner | QFile::ExeOwner
                                                      : QFile::ReadOwner | QFile::WriteOwner));
        }

        QProcess child;
        child.setWorkingDirectory(work.path());
        startChild(child,
                   {{"PELLVARIN_ENGINE_CHILD", QStringLiteral("launch")},
                    {"PATH", QCoreApplication::applicationDirPath() + QLatin1Char(':') +
                                 qEnvironmentVariable("PATH")}},
                   copy);
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == !started,
                 qPrintable(QStringLiteral("exit %1: %2")
                                .arg(child.exitCode())
                                .arg(QString::fromLocal8Bit(child.readAllStandardError()))));
        if (started) {
            QTRY_VERIFY(QFile::exists(marker));
        } else {
            QTest::qWait(200);
            QVERIFY(!QFile::exists(marker));
        }
        QVERIFY(!QFile::exists(work.filePath(QStringLiteral("pwned"))));
        QVERIFY(!QFile::exists(dir + QStringLiteral("/pwned")));
    }

    void launchNeedsAnApplicationObject()
    {
        const QByteArray out = runChild(QStringLiteral("noapp"));
        QVERIFY2(out.startsWith("launch 0\n") && out.contains("no application object"),
                 out.constData());
        QTest::qWait(200);
        QVERIFY(!QFile::exists(marker));
    }
};

int main(int argc, char **argv)
{
    // A caller that never made an application object has no directory of
    // its own; nothing may be started from the root instead.
    const QString child = qEnvironmentVariable("PELLVARIN_ENGINE_CHILD");
    if (child == QLatin1String("noapp")) {
        std::printf("launch %d\n", launchSelectorTool());
        return 0;
    }
    if (child == QLatin1String("core")) {
        QCoreApplication app(argc, argv);
        bool ok = true, allDefault = true;
        makeAppDefaultForAllFormats(&ok);
        const SelectionList list = queryCurrentAssociations(&allDefault);
        std::printf("make ok=%d query all=%d formats=%d\n", ok, allDefault, int(list.size()));
        return 0;
    }
    QApplication app(argc, argv);
    // Run in a copy of this executable placed where no selector tool sits. A
    // viewer that is not registered would give false too, so that is told apart.
    if (child == QLatin1String("launch"))
        return !isAppInstalled() ? 2 : launchSelectorTool() ? 0 : 1;
    TestEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_engine.moc"
