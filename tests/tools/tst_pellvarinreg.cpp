// pellvarin-reg run as a separate process, as scripts and tests run it. In
// order: usage, help and output that cannot be written; init, get, set,
// delete, import and export; where the registry is and when none is made;
// damaged, busy and unsafe registries, each told in one line; the names
// every command takes; notifications; oversized input, a file size limit
// and arguments that are no text; and init and export against writers
// racing them.
#include "registrystore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(content), content.size());
}

// The default registry as export gives it back: without its comment lines.
QByteArray defaultExported()
{
    QByteArray out;
    for (const QByteArray &line : readFile(QStringLiteral(PELLVARIN_DEFAULT_REGISTRY)).split('\n'))
        if (!line.startsWith(';'))
            out += line + '\n';
    out.chop(1);
    return out;
}

const QByteArray v5 = "Windows Registry Editor Version 5.00\n\n";

// pellvarin-reg with a registry of its own. The environment points the
// default location into the same directory, so that a run that ignored
// --registry would still never touch the user's registry.
class Cli
{
public:
    Cli()
        : registry(dir.filePath(QStringLiteral("registry.sqlite"))),
          envRegistry(dir.filePath(QStringLiteral("env.sqlite")))
    {
    }

    Result run(QStringList args, bool viaEnvironment = false) const
    {
        if (!viaEnvironment)
            args = QStringList{QStringLiteral("--registry"), registry} + args;
        return runBare(args);
    }

    Result runBare(const QStringList &args) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PELLVARIN_REGISTRY"), envRegistry);
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
        for (const QString &name : unset)
            env.remove(name);
        for (auto it = extra.cbegin(); it != extra.cend(); ++it)
            env.insert(it.key(), it.value());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(PELLVARIN_REG_EXECUTABLE), args);
        Result r;
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
            qWarning() << "pellvarin-reg did not finish:" << args;
            return r;
        }
        r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    // Through the shell, for limits and for arguments that are not text:
    // "$R" is the registry and "$T" the tool.
    Result shell(const QString &script) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PELLVARIN_REGISTRY"), envRegistry);
        env.insert(QStringLiteral("R"), registry);
        env.insert(QStringLiteral("T"), QStringLiteral(PELLVARIN_REG_EXECUTABLE));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("sh"), {QStringLiteral("-c"), script});
        Result r;
        // Killed by a signal, it has no exit code.
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
            return r;
        r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    Result get(const QString &key, const QString &name) const
    {
        return run({QStringLiteral("get"), key, name});
    }

    QTemporaryDir dir;
    QString registry;
    QString envRegistry;
    // Variables the runs go without, and those they get on top.
    QStringList unset;
    QMap<QString, QString> extra;
};

} // namespace

class TestPellvarinReg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void badUsage_data();
    void badUsage();
    void help();
    void unwritableOutputFails_data();
    void unwritableOutputFails();
    void initAndDefault();
    void getPrintsEachType();
    void setAndDelete();
    void importAndExport();
    void registryLocation();
    void unusableRegistry();
    void exportOntoTheRegistryIsRefused_data();
    void exportOntoTheRegistryIsRefused();
    void exportWritesIntoWhatIsNoFile_data();
    void exportWritesIntoWhatIsNoFile();
    void readingCreatesNoRegistry();
    void withoutHomeThereIsNoRegistry();
    void damagedRegistryExportsNothing();
    void everyEntryPointTakesTheSameNames();
    void notifications();
    void problemsAreOneLine();
    void busyRegistryIsNotDamaged();
    void inputTooLargeIsRefused();
    void fileSizeLimitIsAFullDisk();
    void argumentsMustBeText();
    void initNeverErasesAWriteThatRacedIt();
    void exportRacingImportsShowsOneStateWhole();
};

void TestPellvarinReg::badUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("usage");

    QTest::newRow("no command") << QStringList() << "no command given" << true;
    QTest::newRow("--registry without a file")
        << QStringList{"--registry"} << "takes a FILE" << true;
    QTest::newRow("empty --registry=")
        << QStringList{"--registry=", "get", "HKCU", "x"} << "takes a FILE" << true;
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << "unknown command" << true;
    QTest::newRow("unknown option")
        << QStringList{"--verbose", "get", "HKCU", "x"} << "unknown option --verbose" << true;
    QTest::newRow("import without a file") << QStringList{"import"} << "import takes" << true;
    QTest::newRow("import of two files")
        << QStringList{"import", "a", "b"} << "import takes" << true;
    QTest::newRow("export of two keys")
        << QStringList{"export", "HKCU", "HKLM"} << "export takes" << true;
    QTest::newRow("export -o without a file") << QStringList{"export", "-o"} << "-o takes" << true;
    QTest::newRow("get without a name") << QStringList{"get", "HKCU"} << "get takes" << true;
    QTest::newRow("set without a value")
        << QStringList{"set", "HKCU\\A", "n"} << "set takes" << true;
    QTest::newRow("delete with too much")
        << QStringList{"delete", "HKCU\\A", "n", "x"} << "delete takes" << true;
    QTest::newRow("init with junk") << QStringList{"init", "--now"} << "init takes" << true;
    QTest::newRow("default with junk") << QStringList{"default", "x"} << "default takes" << true;
    QTest::newRow("unknown hive") << QStringList{"get", "HKEY_USERS\\S-1-5-18", "x"} << "not a key"
                                  << false;
    QTest::newRow("no hive") << QStringList{"set", "Software\\Classes", "x", "y"} << "not a key"
                             << false;
    // Kept two levels down, under Software\Classes of a hive.
    QTest::newRow("classes key 511 deep")
        << QStringList{"set", "HKCR" + QString("\\k").repeated(511), "x", "y"}
        << "below HKEY_CLASSES_ROOT nest at most 510 levels" << false;
}

void TestPellvarinReg::badUsage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QFETCH(bool, usage);
    Cli cli;
    const Result r = cli.run(args);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
    QCOMPARE(r.err.contains("Usage:"), usage);
    QVERIFY(r.out.isEmpty());
}

void TestPellvarinReg::help()
{
    Cli cli;
    for (const QString &arg : {QStringLiteral("--help"), QStringLiteral("help")}) {
        const Result r = cli.run({arg});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("Usage: pellvarin-reg"));
        // Every name of the unnamed value, and the way past them.
        QVERIFY(r.out.contains("\"@\", \"\", \"Default\" or \".\""));
        QVERIFY(r.out.contains("-n (--literal-name)"));
    }
}

void TestPellvarinReg::unwritableOutputFails_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("help") << "help";
    QTest::newRow("--help") << "--help";
    QTest::newRow("get") << "get HKCR\\\\.png @";
    QTest::newRow("export") << "export";
    QTest::newRow("default") << "default";
    QTest::newRow("notifications") << "notifications";
    QTest::newRow("opened-uri") << "opened-uri";
}

// Output that cannot be written whole fails the command in one line; it is
// never taken for printed.
void TestPellvarinReg::unwritableOutputFails()
{
    QFETCH(QString, command);
    Cli cli;
    QCOMPARE(cli.run({QStringLiteral("init")}).code, 0);
    writeFile(openedUriFileFor(cli.registry), "ms-settings:defaultapps");
    const Result printed = cli.shell(QStringLiteral("exec \"$T\" --registry \"$R\" ") + command);
    QCOMPARE(printed.code, 0);
    QVERIFY(!printed.out.isEmpty());

    const Result r =
        cli.shell(QStringLiteral("exec \"$T\" --registry \"$R\" %1 > /dev/full").arg(command));
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.count('\n') == 1 && r.err.startsWith("pellvarin-reg: cannot write the output"),
             r.err.constData());
}

void TestPellvarinReg::initAndDefault()
{
    Cli cli;
    const Result def = cli.run({QStringLiteral("default")});
    QCOMPARE(def.code, 0);
    QCOMPARE(def.out, readFile(QStringLiteral(PELLVARIN_DEFAULT_REGISTRY)));
    QVERIFY2(!QFile::exists(cli.registry), "default needs no registry");

    QCOMPARE(cli.run({QStringLiteral("init")}).code, 0);
    QCOMPARE(cli.run({QStringLiteral("export")}).out, defaultExported());

    // A registry in use is not replaced by accident.
    QCOMPARE(cli.run({QStringLiteral("set"), QStringLiteral("HKCU\\Software\\Classes\\.png"),
                      QStringLiteral("@"), QStringLiteral("Talvimor.PNG")})
                 .code,
             0);
    const QByteArray modified = cli.run({QStringLiteral("export")}).out;
    const Result again = cli.run({QStringLiteral("init")});
    QCOMPARE(again.code, 2);
    QVERIFY2(again.err.contains("already holds keys"), again.err.constData());
    QCOMPARE(cli.run({QStringLiteral("export")}).out, modified);

    QCOMPARE(cli.run({QStringLiteral("init"), QStringLiteral("--force")}).code, 0);
    QCOMPARE(cli.run({QStringLiteral("export")}).out, defaultExported());
    QCOMPARE(cli.get(QStringLiteral("HKCR\\.png"), QStringLiteral("@")).out, "pngfile\n");
}

void TestPellvarinReg::getPrintsEachType()
{
    Cli cli;
    const QString file = cli.dir.filePath(QStringLiteral("types.reg"));
    writeFile(file, v5 + "[HKEY_CURRENT_USER\\T]\n"
                         "@=\"the default\"\n"
                         "\"sz\"=\"caf\xc3\xa9\"\n"
                         "\"expand\"=hex(2):25,00,61,00,25,00,00,00\n"
                         "\"multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00\n"
                         "\"stops\"=hex(7):61,00,00,00,00,00,62,00,00,00,00,00\n"
                         "\"oddLength\"=hex(7):61,00,00,00,62\n"
                         "\"dword\"=dword:ffffffff\n"
                         "\"qword\"=hex(b):00,00,00,00,00,00,00,80\n"
                         "\"binary\"=hex:00,ab,ff\n"
                         "\"none\"=hex(0):\n"
                         "\"Default\"=\"shadowed\"\n");
    QCOMPARE(cli.run({QStringLiteral("import"), file}).code, 0);

    const QString t = QStringLiteral("HKEY_CURRENT_USER\\T");
    const std::pair<const char *, QByteArray> expected[] = {
        {"sz", "caf\xc3\xa9\n"},
        {"expand", "%a%\n"},
        {"multi", "a\nbc\n"},
        // The list ends at its first empty string, and data cut short
        // reads as if its NULs were there, as QSettings reads both.
        {"stops", "a\n"},
        {"oddLength", "a\nb\n"},
        {"dword", "4294967295\n"},
        {"qword", "9223372036854775808\n"},
        {"binary", "00,ab,ff\n"},
        {"none", "\n"},
        {"@", "the default\n"},
        {"", "the default\n"},
        {"Default", "the default\n"},
        {"DWORD", "4294967295\n"},
    };
    for (const auto &[name, out] : expected) {
        const Result r = cli.get(t, QString::fromUtf8(name));
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, out);
    }
    QCOMPARE(cli.get(QStringLiteral("hkcu\\t"), QStringLiteral("SZ")).out, "caf\xc3\xa9\n");

    const Result noValue = cli.get(t, QStringLiteral("missing"));
    QCOMPARE(noValue.code, 1);
    QVERIFY(noValue.out.isEmpty());
    QVERIFY2(noValue.err.contains("missing"), noValue.err.constData());
    QCOMPARE(cli.get(QStringLiteral("HKCU\\Nope"), QStringLiteral("@")).code, 1);
    // A key without a default value has no "@" to print.
    QCOMPARE(cli.run({QStringLiteral("set"), QStringLiteral("HKCU\\Bare"), QStringLiteral("x"),
                      QStringLiteral("1")})
                 .code,
             0);
    QCOMPARE(cli.get(QStringLiteral("HKCU\\Bare"), QStringLiteral("@")).code, 1);
}

void TestPellvarinReg::setAndDelete()
{
    Cli cli;
    const QString k = QStringLiteral("HKEY_CURRENT_USER\\Software\\New\\Deep");
    QCOMPARE(cli.run({QStringLiteral("set"), k, QStringLiteral("v"), QStringLiteral("one")}).code,
             0);
    QCOMPARE(cli.run({QStringLiteral("set"), k, QStringLiteral("v"), QStringLiteral("two")}).code,
             0);
    QCOMPARE(
        cli.run({QStringLiteral("set"), k, QStringLiteral("Default"), QStringLiteral("d")}).code,
        0);
    QCOMPARE(cli.run({QStringLiteral("export"), k}).out,
             v5 + "[HKEY_CURRENT_USER\\Software\\New\\Deep]\n@=\"d\"\n\"v\"=\"two\"\n\n");

    QCOMPARE(cli.get(k, QStringLiteral("V")).out, "two\n");
    QCOMPARE(cli.run({QStringLiteral("delete"), k, QStringLiteral("V")}).code, 0);
    QCOMPARE(cli.run({QStringLiteral("delete"), k, QStringLiteral("v")}).code, 1);
    QCOMPARE(cli.get(k, QStringLiteral("@")).out, "d\n");
    QCOMPARE(cli.run({QStringLiteral("delete"), k, QStringLiteral("")}).code, 0);
    QCOMPARE(cli.get(k, QStringLiteral("@")).code, 1);

    QCOMPARE(cli.run({QStringLiteral("delete"), QStringLiteral("HKCU\\Software\\New")}).code, 0);
    QCOMPARE(cli.run({QStringLiteral("export"), k}).code, 1);
    QCOMPARE(cli.run({QStringLiteral("export"), QStringLiteral("HKCU\\Software")}).out,
             v5 + "[HKEY_CURRENT_USER\\Software]\n\n");
    QCOMPARE(cli.run({QStringLiteral("delete"), QStringLiteral("HKCU\\Software\\New")}).code, 1);
    QCOMPARE(
        cli.run({QStringLiteral("delete"), QStringLiteral("HKCU\\Nope"), QStringLiteral("x")}).code,
        1);

    // Without -n, "Default" and "." name the unnamed value as the settings
    // take them; with it, values of those names (and of "@") are their own.
    const QString lit = QStringLiteral("HKCU\\Literal");
    QCOMPARE(
        cli.run({QStringLiteral("set"), lit, QStringLiteral("."), QStringLiteral("unnamed")}).code,
        0);
    const QStringList literalNames{QStringLiteral("."), QStringLiteral("Default"),
                                   QStringLiteral("@")};
    for (const QString &name : literalNames) {
        QCOMPARE(cli.run({QStringLiteral("set"), QStringLiteral("-n"), lit, name,
                          QStringLiteral("named ") + name})
                     .code,
                 0);
    }
    QCOMPARE(cli.run({QStringLiteral("export"), lit}).out,
             v5 + "[HKEY_CURRENT_USER\\Literal]\n@=\"unnamed\"\n\".\"=\"named .\"\n"
                  "\"@\"=\"named @\"\n\"Default\"=\"named Default\"\n\n");
    for (const QString &name : literalNames) {
        const QStringList getIt{QStringLiteral("get"), QStringLiteral("--literal-name"), lit, name};
        QCOMPARE(cli.run(getIt).out, "named " + name.toUtf8() + '\n');
        QCOMPARE(cli.get(lit, name).out, "unnamed\n");
        QCOMPARE(cli.run({QStringLiteral("delete"), QStringLiteral("-n"), lit, name}).code, 0);
        QCOMPARE(cli.run(getIt).code, 1);
        QCOMPARE(cli.get(lit, QStringLiteral("@")).out, "unnamed\n");
    }
    QCOMPARE(cli.run({QStringLiteral("get"), QStringLiteral("-n"), lit, QString()}).out,
             "unnamed\n");

    const Result hive = cli.run({QStringLiteral("delete"), QStringLiteral("HKEY_CURRENT_USER")});
    QCOMPARE(hive.code, 2);
    QVERIFY(cli.run({QStringLiteral("export"), QStringLiteral("HKCU\\Software")}).code == 0);

    // Names past the registry's limits are refused, saying so briefly.
    const QByteArray before = cli.run({QStringLiteral("export")}).out;
    const Result longValue =
        cli.run({QStringLiteral("set"), k, QString(maxValueNameLength + 1, QLatin1Char('v')),
                 QStringLiteral("x")});
    const Result longKey =
        cli.run({QStringLiteral("set"),
                 k + QLatin1Char('\\') + QString(maxKeyNameLength + 1, QLatin1Char('k')),
                 QStringLiteral("v"), QStringLiteral("x")});
    for (const Result &r : {longValue, longKey}) {
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("at most") && r.err.size() < 300, r.err.constData());
    }
    QCOMPARE(cli.run({QStringLiteral("export")}).out, before);
}

void TestPellvarinReg::importAndExport()
{
    Cli cli;
    QCOMPARE(cli.run({QStringLiteral("init")}).code, 0);
    const QString good = cli.dir.filePath(QStringLiteral("good.reg"));
    writeFile(good, v5 + "[HKEY_CLASSES_ROOT\\.png]\n@=\"Talvimor.PNG\"\n"
                         "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.gif]\n");
    QCOMPARE(cli.run({QStringLiteral("import"), good}).code, 0);
    QCOMPARE(cli.run({QStringLiteral("export"), QStringLiteral("HKCR\\.PNG")}).out,
             v5 + "[HKEY_CLASSES_ROOT\\.png]\n@=\"Talvimor.PNG\"\n\"Content Type\"=\"image/png\"\n"
                  "\"PerceivedType\"=\"image\"\n\n"
                  "[HKEY_CLASSES_ROOT\\.png\\OpenWithProgids]\n\"pngfile\"=hex(0):\n\n");
    QCOMPARE(cli.run({QStringLiteral("export"), QStringLiteral("HKCR\\.gif")}).code, 1);

    // A bad line anywhere: the importer's message, and nothing written.
    const QByteArray before = cli.run({QStringLiteral("export")}).out;
    const QString bad = cli.dir.filePath(QStringLiteral("bad.reg"));
    writeFile(bad, v5 + "[HKEY_CURRENT_USER\\Software\\Half]\n\"x\"=\"1\"\n\"y\"=dword:xyz\n");
    const Result r = cli.run({QStringLiteral("import"), bad});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.startsWith(QByteArray(QFile::encodeName(bad) + ":5: ")), r.err.constData());
    QCOMPARE(cli.run({QStringLiteral("export")}).out, before);
    const Result missing =
        cli.run({QStringLiteral("import"), cli.dir.filePath(QStringLiteral("none.reg"))});
    QCOMPARE(missing.code, 2);
    QVERIFY2(missing.err.contains("cannot be read"), missing.err.constData());

    // -o writes what standard output gets, in the form regedit reads whole,
    // and round-trips into a fresh registry.
    const QString out = cli.dir.filePath(QStringLiteral("out.reg"));
    QCOMPARE(cli.run({QStringLiteral("export"), QStringLiteral("-o"), out}).code, 0);
    const QByteArray written = readFile(out);
    QVERIFY(written.startsWith("\xff\xfeW\0i\0n\0"));
    QString expected = QString::fromUtf8(before);
    expected.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t *>(written.constData() + 2),
                                (written.size() - 2) / 2),
             expected);
    Cli fresh;
    QCOMPARE(fresh.run({QStringLiteral("import"), out}).code, 0);
    QCOMPARE(fresh.run({QStringLiteral("export")}).out, before);
    QCOMPARE(cli.run({QStringLiteral("export"), QStringLiteral("HKCU\\Missing"),
                      QStringLiteral("-o"), out})
                 .code,
             1);
    QCOMPARE(readFile(out), written);
}

void TestPellvarinReg::registryLocation()
{
    Cli cli;
    // Without --registry the environment names the file.
    QCOMPARE(cli.run({QStringLiteral("set"), QStringLiteral("HKCU\\E"), QStringLiteral("x"),
                      QStringLiteral("env")},
                     true)
                 .code,
             0);
    QVERIFY(QFile::exists(cli.envRegistry));
    QCOMPARE(cli.get(QStringLiteral("HKCU\\E"), QStringLiteral("x")).code, 1);
    QCOMPARE(cli.runBare({QStringLiteral("--registry=") + cli.envRegistry, QStringLiteral("get"),
                          QStringLiteral("HKCU\\E"), QStringLiteral("x")})
                 .out,
             "env\n");
}

void TestPellvarinReg::unusableRegistry()
{
    Cli cli;
    writeFile(cli.registry, "this is not a registry\n");
    for (const QStringList &args :
         {QStringList{"get", "HKCU\\A", "x"}, QStringList{"set", "HKCU\\A", "x", "y"},
          QStringList{"init", "--force"}, QStringList{"export"}}) {
        const Result r = cli.run(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("not a usable registry"), r.err.constData());
    }
    QCOMPARE(readFile(cli.registry), QByteArray("this is not a registry\n"));
}

void TestPellvarinReg::notifications()
{
    Cli cli;
    QCOMPARE(cli.run({QStringLiteral("notifications")}).out, "count: 0\nlast: never\n");

    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-1);
    auto store = RegistryStore::open(cli.registry);
    QVERIFY(store->recordNotification(0x08000000));
    QVERIFY(store->recordNotification(0x08000000));
    QVERIFY(store->recordNotification(0x00000002)); // another event is not counted

    const Result r = cli.run({QStringLiteral("notifications")});
    QCOMPARE(r.code, 0);
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], "count: 2");
    QVERIFY(lines[1].startsWith("last: "));
    const QDateTime last =
        QDateTime::fromString(QString::fromLatin1(lines[1].mid(6)), Qt::ISODateWithMs);
    QVERIFY2(last.isValid() && last >= start && last <= QDateTime::currentDateTimeUtc(),
             lines[1].constData());
}

void TestPellvarinReg::exportOntoTheRegistryIsRefused_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("its path") << "path";
    QTest::newRow("a symbolic link") << "symlink";
    QTest::newRow("another spelling") << "spelling";
    QTest::newRow("a hard link") << "hardlink";
    QTest::newRow("a hard link to its journal") << "journal";
    QTest::newRow("its -wal journal, not there yet") << "wal";
}

// An export onto the registry would replace the database with text, and one
// onto a journal would be played into it; however the file is reached.
void TestPellvarinReg::exportOntoTheRegistryIsRefused()
{
    QFETCH(QString, how);
    Cli cli;
    QCOMPARE(cli.run({QStringLiteral("init")}).code, 0);
    const QString journal = cli.registry + QStringLiteral("-journal");
    writeFile(journal, QByteArray()); // an empty journal is none to play
    QVERIFY(QFile::setPermissions(journal, QFile::ReadOwner | QFile::WriteOwner));
    QString target = cli.dir.filePath(QStringLiteral("other.reg"));
    const QByteArray native = QFile::encodeName(target);
    if (how == QLatin1String("path")) {
        target = cli.registry;
    } else if (how == QLatin1String("symlink")) {
        QVERIFY(QFile::link(cli.registry, target));
    } else if (how == QLatin1String("spelling")) {
        QVERIFY(QDir(cli.dir.path()).mkdir(QStringLiteral("sub")));
        target = cli.dir.path() + QStringLiteral("/./sub/../registry.sqlite");
    } else if (how == QLatin1String("hardlink")) {
        QCOMPARE(::link(QFile::encodeName(cli.registry).constData(), native.constData()), 0);
    } else if (how == QLatin1String("journal")) {
        QCOMPARE(::link(QFile::encodeName(journal).constData(), native.constData()), 0);
    } else {
        target = cli.registry + QStringLiteral("-wal");
    }
    const QByteArray before = readFile(cli.registry);

    const Result onto = cli.run({QStringLiteral("export"), QStringLiteral("-o"), target});
    QCOMPARE(onto.code, 2);
    QVERIFY2(onto.err.contains("is the registry itself") && onto.err.count('\n') == 1,
             onto.err.constData());
    QCOMPARE(readFile(cli.registry), before);
    QCOMPARE(readFile(journal), QByteArray());
    QVERIFY(!QFile::exists(cli.registry + QStringLiteral("-wal")));
    QCOMPARE(cli.get(QStringLiteral("HKCR\\.png"), QStringLiteral("@")).out, "pngfile\n");
}

void TestPellvarinReg::exportWritesIntoWhatIsNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("code");
    QTest::newRow("regular file") << "file" << 0;
    QTest::newRow("fifo") << "fifo" << 0;
    QTest::newRow("null device") << "null" << 0;
    QTest::newRow("full device") << "full" << 2;
}

// -o replaces a file whole, but writes into a device or a pipe, which stays
// what it was: a pipe's reader gets the export, and a full device fails it.
void TestPellvarinReg::exportWritesIntoWhatIsNoFile()
{
    QFETCH(QString, kind);
    QFETCH(int, code);
    Cli cli;
    QCOMPARE(cli.run({QStringLiteral("init")}).code, 0);
    const QString reference = cli.dir.filePath(QStringLiteral("reference.reg"));
    QCOMPARE(cli.run({QStringLiteral("export"), QStringLiteral("-o"), reference}).code, 0);
    const QByteArray expected = readFile(reference);
    QVERIFY(expected.startsWith("\xff\xfeW\0"));

    QString target = cli.dir.filePath(QStringLiteral("target"));
    if (kind == QLatin1String("file")) {
        writeFile(target, "what was there");
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    } else {
        const char *device = kind == QLatin1String("null") ? "/dev/null" : "/dev/full";
        struct stat st;
        QCOMPARE(::stat(device, &st), 0);
        // A twin of the device, which the tool run as root could replace
        // without harm; one who may not make devices cannot replace the
        // device either, and is given the device itself.
        if (::mknod(QFile::encodeName(target).constData(), S_IFCHR | 0600, st.st_rdev) != 0) {
            QCOMPARE(errno, EPERM);
            QVERIFY(::geteuid() != 0);
            qInfo("no right to make a device: writing into %s itself", device);
            target = QString::fromLatin1(device);
        }
    }
    struct stat before;
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &before), 0);

    QProcess reader;
    if (kind == QLatin1String("fifo")) {
        reader.start(QStringLiteral("cat"), {target});
        QVERIFY(reader.waitForStarted());
    }
    const Result r = cli.run({QStringLiteral("export"), QStringLiteral("-o"), target});
    if (kind == QLatin1String("fifo")) {
        const bool read = reader.waitForFinished(10000);
        if (!read) {
            reader.kill();
            reader.waitForFinished();
        }
        QVERIFY2(read, "the pipe's reader never got a writer");
        QCOMPARE(reader.readAllStandardOutput(), expected);
    }
    QCOMPARE(r.code, code);
    if (code == 0)
        QVERIFY2(r.err.isEmpty(), r.err.constData());
    else
        QVERIFY2(r.err.count('\n') == 1 && r.err.contains("No space left"), r.err.constData());

    struct stat after;
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(after.st_rdev, before.st_rdev);
    if (kind == QLatin1String("file"))
        QCOMPARE(readFile(target), expected);
}

void TestPellvarinReg::readingCreatesNoRegistry()
{
    Cli cli;
    // Reading a registry that is not there creates neither it nor its folder.
    const QString elsewhere = cli.dir.filePath(QStringLiteral("nowhere/registry.sqlite"));
    for (const QStringList &args : {QStringList{"get", "HKCU\\A", "x"}, QStringList{"export"}}) {
        const Result r = cli.runBare(QStringList{QStringLiteral("--registry"), elsewhere} + args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("there is no registry at"), r.err.constData());
    }
    const Result told =
        cli.runBare({QStringLiteral("--registry"), elsewhere, QStringLiteral("notifications")});
    QCOMPARE(told.out, "count: 0\nlast: never\n");
    QVERIFY(!QFileInfo::exists(cli.dir.filePath(QStringLiteral("nowhere"))));
}

void TestPellvarinReg::withoutHomeThereIsNoRegistry()
{
    // Without a home there is no place for the registry of one's own.
    Cli homeless;
    homeless.unset = QStringList{QStringLiteral("HOME"), QStringLiteral("XDG_DATA_HOME"),
                                 QStringLiteral("PELLVARIN_REGISTRY")};
    const Result r = homeless.runBare({QStringLiteral("set"), QStringLiteral("HKCU\\A"),
                                       QStringLiteral("x"), QStringLiteral("y")});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("HOME is not set"), r.err.constData());
}

void TestPellvarinReg::damagedRegistryExportsNothing()
{
    Cli cli;
    QCOMPARE(cli.run({QStringLiteral("init")}).code, 0);
    {
        QFile f(cli.registry);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.size() > 8 * 4096);
        // A page in the middle: the first pages hold the schema, which is
        // read before any key.
        f.seek((f.size() / 4096 / 2) * 4096);
        f.write(QByteArray(4096, '\x5a'));
    }
    const Result r = cli.run({QStringLiteral("export")});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.out.isEmpty(), r.out.left(200).constData());
    QVERIFY(!r.err.isEmpty());
}

void TestPellvarinReg::everyEntryPointTakesTheSameNames()
{
    Cli cli;
    // A name a .reg line cannot carry would make every later export fail.
    const Result broken = cli.run({QStringLiteral("set"), QStringLiteral("HKCU\\A\nB"),
                                   QStringLiteral("x"), QStringLiteral("y")});
    QCOMPARE(broken.code, 2);
    QVERIFY2(broken.err.contains("line break"), broken.err.constData());
    QCOMPARE(cli.run({QStringLiteral("set"), QStringLiteral("HKCU\\A"), QStringLiteral("x\ry"),
                      QStringLiteral("z")})
                 .code,
             2);

    // Windows nests keys at most 512 levels deep.
    const auto nested = [](int levels) {
        QStringList parts{QStringLiteral("HKEY_CURRENT_USER")};
        for (int i = 0; i < levels; ++i)
            parts.append(QStringLiteral("k"));
        return parts.join(QLatin1Char('\\'));
    };
    QCOMPARE(cli.run({QStringLiteral("set"), nested(512), QStringLiteral("x"), QStringLiteral("y")})
                 .code,
             0);
    const Result deep =
        cli.run({QStringLiteral("set"), nested(513), QStringLiteral("x"), QStringLiteral("y")});
    QCOMPARE(deep.code, 2);
    QVERIFY2(deep.err.contains("512"), deep.err.constData());

    const QString file = cli.dir.filePath(QStringLiteral("deep.reg"));
    writeFile(file, v5 + "[" + nested(513).toUtf8() + "]\n\"x\"=\"y\"\n");
    const Result imported = cli.run({QStringLiteral("import"), file});
    QCOMPARE(imported.code, 2);
    QVERIFY2(imported.err.contains("512"), imported.err.constData());

    // What was written exports whole.
    QCOMPARE(cli.run({QStringLiteral("export")}).code, 0);
}

// However the registry is refused, the tool says it once, in one line that
// names the file: nothing else speaks before it.
void TestPellvarinReg::problemsAreOneLine()
{
    Cli cli;
    QCOMPARE(cli.run({QStringLiteral("init")}).code, 0);
    const QString shared = cli.dir.filePath(QStringLiteral("shared.sqlite"));
    QVERIFY(QFile::copy(cli.registry, shared));
    // Writable by the world: a group may be the owner's own, which is safe.
    QVERIFY(QFile::setPermissions(shared, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::WriteGroup | QFile::WriteOther));
    const QString damaged = cli.dir.filePath(QStringLiteral("damaged.sqlite"));
    QVERIFY(QFile::copy(cli.registry, damaged));
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"),
                 {damaged, QStringLiteral("PRAGMA writable_schema = ON; UPDATE sqlite_master "
                                          "SET sql = replace(sql, 'UNIQUE(parent, fold)', "
                                          "'UNIQUE(parent, name)') WHERE name = 'keys';")});
    QVERIFY(sqlite.waitForFinished());
    QCOMPARE(sqlite.exitCode(), 0);
    const QString text = cli.dir.filePath(QStringLiteral("text.sqlite"));
    writeFile(text, "this is not a registry\n");
    // Every page but the first, which holds the schema, so that the file
    // opens and the first read meets the damage.
    const QString torn = cli.dir.filePath(QStringLiteral("torn.sqlite"));
    QVERIFY(QFile::copy(cli.registry, torn));
    {
        QFile f(torn);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(4096);
        f.write(QByteArray(int(f.size() - 4096), '\x5a'));
    }

    for (const QString &file : {shared, damaged, text, torn}) {
        for (const QStringList &args :
             {QStringList{"set", "HKCR\\.png", "x", "y"}, QStringList{"get", "HKCR\\.png", "@"},
              QStringList{"delete", "HKCR\\.png", "@"}}) {
            if (file == damaged && args.first() != QLatin1String("set"))
                continue; // reading a damaged index is not checked
            const Result r = cli.runBare(QStringList{QStringLiteral("--registry"), file} + args);
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.count('\n') == 1 && r.err.endsWith('\n'), r.err.constData());
            QVERIFY2(r.err.contains(QFile::encodeName(file)), r.err.constData());
        }
    }
}

// While another program holds the write lock the tool says so and condemns
// nothing, and reading goes on as on Windows; once the lock is free the
// same command works.
void TestPellvarinReg::busyRegistryIsNotDamaged()
{
    Cli cli;
    QCOMPARE(cli.run({QStringLiteral("init")}).code, 0);
    cli.extra.insert(QStringLiteral("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS"), QStringLiteral("100"));
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(cli.registry).constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const QStringList set{QStringLiteral("set"), QStringLiteral("HKCU\\A"), QStringLiteral("x"),
                          QStringLiteral("y")};
    const Result locked = cli.run(set);
    const Result reading = cli.get(QStringLiteral("HKCR\\.png"), QStringLiteral("@"));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QCOMPARE(reading.code, 0);
    QCOMPARE(reading.out, "pngfile\n");
    for (const Result &r : {locked}) {
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("another program is using"), r.err.constData());
        QVERIFY2(r.err.count('\n') == 1, r.err.constData());
        QVERIFY2(!r.err.contains("not a database") && !r.err.contains("damaged"),
                 r.err.constData());
    }
    QCOMPARE(cli.run(set).code, 0);
    QCOMPARE(cli.get(QStringLiteral("HKCU\\A"), QStringLiteral("x")).out, "y\n");
}

// An input without end, or one beyond the stated limit, is refused before
// it is read whole, whatever memory the tool may have.
void TestPellvarinReg::inputTooLargeIsRefused()
{
    Cli cli;
    // Sparse, costing no disk: NULs after the header, text too long to take
    // once decoded, and a file too large to hold that much text at all,
    // which is refused unread.
    for (const qint64 size : {65ll << 20, (256ll << 20) + 3}) {
        const QString big = cli.dir.filePath(QStringLiteral("big%1.reg").arg(size));
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(v5) == v5.size());
            QVERIFY(f.resize(size));
        }
        const Result sized = cli.run({QStringLiteral("import"), big});
        QCOMPARE(sized.code, 2);
        QVERIFY2(sized.err.startsWith(QByteArray(QFile::encodeName(big) + ": ")),
                 sized.err.constData());
        QVERIFY2(sized.err.contains("64 Mi characters"), sized.err.constData());
    }

    QVERIFY(cli.run({QStringLiteral("help")}).out.contains("64 Mi characters"));

    // A sanitizer's build reserves more address space than the limit allows
    // and cannot start under it at all; the plain build is what is tested.
    if (cli.shell(QStringLiteral("ulimit -v 3000000; exec \"$T\" help")).code != 0)
        QSKIP("the tool cannot start under a 3 GB address-space limit in this build");
    const Result endless = cli.shell(QStringLiteral("ulimit -v 3000000; exec \"$T\" --registry "
                                                    "\"$R\" import /dev/zero"));
    QCOMPARE(endless.code, 2);
    QVERIFY2(endless.err.startsWith("/dev/zero: "), endless.err.constData());
    QVERIFY2(endless.err.contains("64 Mi characters"), endless.err.constData());
}

// A file size limit fails the write as a full disk does, with a message,
// instead of killing the tool.
void TestPellvarinReg::fileSizeLimitIsAFullDisk()
{
    Cli cli;
    QCOMPARE(cli.run({QStringLiteral("init")}).code, 0);
    const QByteArray before = readFile(cli.registry);
    const QString many = cli.dir.filePath(QStringLiteral("many.reg"));
    QByteArray text = v5;
    for (int i = 0; i < 2000; ++i)
        text += "[HKEY_CURRENT_USER\\Software\\Many\\K" + QByteArray::number(i) + "]\n\"v\"=\"" +
                QByteArray(100, 'x') + "\"\n\n";
    writeFile(many, text);
    // In 512-byte blocks: the registry as it is, but no room to grow.
    const Result r = cli.shell(QStringLiteral("ulimit -f %1; exec \"$T\" --registry \"$R\" import "
                                              "\"%2\"")
                                   .arg(before.size() / 512)
                                   .arg(many));
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("full"), r.err.constData());
    QCOMPARE(readFile(cli.registry), before);

    // An empty registry gets its tables at its first opening, even to be
    // read: when they find no room, that is what is told.
    const QString empty = cli.dir.filePath(QStringLiteral("empty.sqlite"));
    writeFile(empty, QByteArray());
    const Result fresh = cli.shell(
        QStringLiteral("ulimit -f 0; exec \"$T\" --registry \"%1\" get HKCU x").arg(empty));
    QCOMPARE(fresh.code, 2);
    QVERIFY2(fresh.err.contains("the disk is full"), fresh.err.constData());
    QCOMPARE(readFile(empty), QByteArray());
}

// Arguments reach the registry as the text they are: bytes that are not
// UTF-8 are refused, and a leading U+FEFF stays part of the name.
void TestPellvarinReg::argumentsMustBeText()
{
    Cli cli;
    for (const char *args :
         {"\"HKCU\\\\A$(printf '\\377')\" x y", "HKCU\\\\A \"x$(printf '\\377')\" y",
          "HKCU\\\\A x \"y$(printf '\\300\\200')\""}) {
        const Result r =
            cli.shell(QStringLiteral("exec \"$T\" --registry \"$R\" set ") + QLatin1String(args));
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("UTF-8"), r.err.constData());
    }
    QVERIFY(!QFile::exists(cli.registry) ||
            cli.run({QStringLiteral("export")}).out.count('[') == 0);

    const Result bom = cli.shell(QStringLiteral(
        "exec \"$T\" --registry \"$R\" set HKCU\\\\A \"$(printf '\\357\\273\\277abc')\" y"));
    QCOMPARE(bom.code, 2);
    QVERIFY2(bom.err.contains("U+FEFF"), bom.err.constData());
    QCOMPARE(cli.get(QStringLiteral("HKCU\\A"), QStringLiteral("abc")).code, 1);
}

// init looks for an empty registry and fills it in one transaction: a set
// that lands first makes it refuse, one that lands after stays.
void TestPellvarinReg::initNeverErasesAWriteThatRacedIt()
{
    Cli cli;
    int bothLanded = 0;
    for (int round = 0; round < 60; ++round) {
        const QString registry = cli.dir.filePath(QStringLiteral("race%1.sqlite").arg(round));
        QProcess init, set;
        init.start(QStringLiteral(PELLVARIN_REG_EXECUTABLE),
                   {QStringLiteral("--registry"), registry, QStringLiteral("init")});
        set.start(QStringLiteral(PELLVARIN_REG_EXECUTABLE),
                  {QStringLiteral("--registry"), registry, QStringLiteral("set"),
                   QStringLiteral("HKCU\\Software\\Mine"), QStringLiteral("x"),
                   QStringLiteral("kept")});
        QVERIFY(init.waitForFinished(60000) && set.waitForFinished(60000));
        if (init.exitCode() != 0 || set.exitCode() != 0)
            continue;
        ++bothLanded;
        const Result r = cli.runBare({QStringLiteral("--registry"), registry, QStringLiteral("get"),
                                      QStringLiteral("HKCU\\Software\\Mine"), QStringLiteral("x")});
        QVERIFY2(
            r.out == "kept\n",
            qPrintable(QStringLiteral("round %1: %2").arg(round).arg(QString::fromUtf8(r.err))));
    }
    QVERIFY(bothLanded > 0);
}

// Each export is read under one snapshot: racing imports that rewrite every
// value, it shows all of one import or all of the other, never a mix.
void TestPellvarinReg::exportRacingImportsShowsOneStateWhole()
{
    Cli cli;
    QByteArray a = v5 + "[HKEY_CURRENT_USER\\Software\\Race]\n";
    QByteArray b = a;
    for (int i = 0; i < 300; ++i) {
        a += "\"v" + QByteArray::number(i) + "\"=\"A\"\n";
        b += "\"v" + QByteArray::number(i) + "\"=\"B\"\n";
    }
    const QString fileA = cli.dir.filePath(QStringLiteral("a.reg"));
    const QString fileB = cli.dir.filePath(QStringLiteral("b.reg"));
    writeFile(fileA, a);
    writeFile(fileB, b);
    QCOMPARE(cli.run({QStringLiteral("import"), fileA}).code, 0);

    QProcess importer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("T"), QStringLiteral(PELLVARIN_REG_EXECUTABLE));
    env.insert(QStringLiteral("R"), cli.registry);
    env.insert(QStringLiteral("A"), fileA);
    env.insert(QStringLiteral("B"), fileB);
    importer.setProcessEnvironment(env);
    importer.start(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("i=0; while [ $i -lt 60 ]; do "
                                              "\"$T\" --registry \"$R\" import \"$B\" && "
                                              "\"$T\" --registry \"$R\" import \"$A\" "
                                              "|| exit 1; i=$((i+1)); done")});
    QVERIFY(importer.waitForStarted());
    for (int exports = 0; exports < 500; ++exports) {
        importer.waitForFinished(0); // notices the end, waiting for nothing
        if (importer.state() == QProcess::NotRunning && exports >= 10)
            break;
        const Result r =
            cli.run({QStringLiteral("export"), QStringLiteral("HKCU\\Software\\Race")});
        QCOMPARE(r.code, 0);
        const int as = r.out.count("=\"A\""), bs = r.out.count("=\"B\"");
        QVERIFY2(
            (as == 300 && bs == 0) || (as == 0 && bs == 300),
            qPrintable(
                QStringLiteral("export %1: %2 from A, %3 from B").arg(exports).arg(as).arg(bs)));
    }
    QVERIFY(importer.state() == QProcess::NotRunning || importer.waitForFinished(120000));
    QCOMPARE(importer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(importer.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestPellvarinReg)
#include "tst_pellvarinreg.moc"
