// pellvarin-reg run as a separate process, as scripts and tests run it. In
// order: usage, help and output that cannot be written; init, get, set,
// delete, import and export; where the registry is and when none is made;
// damaged, busy and unsafe registries, each told in one line; registries
// that can be read but not written; notifications; oversized input, a file
// size limit and arguments that are no text; and init and export against
// writers racing them.
#include "regfile.h"
#include "registryfile.h"
#include "registrystore.h"
#include "registrytrouble.h"
#include "regtext.h"
#include "scratchmount.h"
#include "shellrecord.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <cerrno>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// A process killed by a signal, or not done in time, has no exit code.
Result finish(QProcess &p, int msecs)
{
    Result r;
    if (!p.waitForFinished(msecs) || p.exitStatus() != QProcess::NormalExit) {
        qWarning() << p.program() << "did not finish:" << p.arguments();
        return r;
    }
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// The run fails with the code given, printing nothing and saying text in
// one line, as the tool tells every failure but a usage error.
#define PELLVARIN_COMPARE_FAILURE(run, expectedCode, text)                                         \
    do {                                                                                           \
        const Result failed = (run);                                                               \
        QCOMPARE(failed.code, expectedCode);                                                       \
        QVERIFY2(failed.out.isEmpty() && failed.err.count('\n') == 1 &&                            \
                     failed.err.endsWith('\n') && failed.err.contains(text),                       \
                 failed.err.constData());                                                          \
    } while (false)

// pellvarin-reg with a registry of its own. The environment points the
// default location into the same directory, so that a run that ignored
// --registry would still never touch the user's registry.
class Cli
{
public:
    Cli() { reset(); }

    // A directory of its own again, and runs with nothing changed.
    void reset()
    {
        dir.emplace();
        registry = path("registry.sqlite");
        envRegistry = path("env.sqlite");
        unset.clear();
        extra.clear();
        as.clear();
    }

    QString path(const QString &name) const { return dir->filePath(name); }

    QString write(const QString &name, const QByteArray &content) const
    {
        const QString file = path(name);
        writeFile(file, content);
        return file;
    }

    Result run(const QStringList &args) const
    {
        return runBare(QStringList{"--registry", registry} + args);
    }

    Result runBare(const QStringList &args) const
    {
        QProcess p;
        const QString tool = QStringLiteral(PELLVARIN_REG_EXECUTABLE);
        if (as.isEmpty())
            start(p, tool, args);
        else
            start(p, as.first(), as.mid(1) + QStringList{tool} + args);
        return finish(p, 60000);
    }

    Result get(const QString &key, const QString &name) const { return run({"get", key, name}); }

    // Through the shell, for limits, for arguments that are not text and
    // for runs side by side: "$R" is the registry, "$T" the tool and
    // "$HOME" the directory.
    Result shell(const QString &script, int msecs = 120000) const
    {
        QProcess p;
        start(p, QStringLiteral("sh"), {"-c", script});
        return finish(p, msecs);
    }

    Result tool(const QString &args) const
    {
        return shell(QStringLiteral("exec \"$T\" --registry \"$R\" ") + args);
    }

    void start(QProcess &p, const QString &program, const QStringList &args) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PELLVARIN_REGISTRY"), envRegistry);
        env.insert(QStringLiteral("HOME"), dir->path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir->path());
        env.insert(QStringLiteral("R"), registry);
        env.insert(QStringLiteral("T"), QStringLiteral(PELLVARIN_REG_EXECUTABLE));
        for (const QString &name : unset)
            env.remove(name);
        for (auto it = extra.cbegin(); it != extra.cend(); ++it)
            env.insert(it.key(), it.value());
        p.setProcessEnvironment(env);
        p.start(program, args);
    }

    std::optional<QTemporaryDir> dir;
    QString registry;
    QString envRegistry;
    // Variables the runs go without, and those they get on top.
    QStringList unset;
    QMap<QString, QString> extra;
    // A command that the tool's runs go through, and its arguments.
    QStringList as;
};

// How many rows of its keys and values each registry holds that the other
// lacks, numbered alike: SQLite compares them, so that registries of
// millions of keys compare without either being held here.
QByteArray rowsApart(const QString &path, const QString &other)
{
    QString sql = QStringLiteral("ATTACH '%1' AS other; SELECT 0").arg(other);
    for (const QString rows :
         {"id, parent, name, fold FROM %1keys", "key, name, fold, type, data FROM %1vals"})
        for (const auto &[one, two] : {std::pair("main.", "other."), std::pair("other.", "main.")})
            sql += QStringLiteral(" + (SELECT count(*) FROM (SELECT %1 EXCEPT SELECT %2))")
                       .arg(rows.arg(QLatin1String(one)), rows.arg(QLatin1String(two)));
    return runSql(path, sql.toUtf8().constData());
}

// A key this many levels below HKEY_CURRENT_USER.
QString nested(int levels)
{
    return QStringLiteral("HKEY_CURRENT_USER") + QStringLiteral("\\k").repeated(levels);
}

} // namespace

class TestPellvarinReg : public QObject
{
    Q_OBJECT

    // Each test's own, made afresh before it.
    Cli cli;

private Q_SLOTS:
    void init() { cli.reset(); }

    void badUsage_data()
    {
        // The arguments, split at each space.
        QTest::addColumn<QString>("args");
        QTest::addColumn<bool>("usage");
        QTest::addColumn<QString>("message");

        QTest::newRow("no command") << "" << true << "no command given";
        QTest::newRow("--registry without a file") << "--registry" << true << "takes a FILE";
        QTest::newRow("empty --registry=") << "--registry= get HKCU x" << true << "takes a FILE";
        QTest::newRow("unknown command") << "frobnicate" << true << "unknown command";
        QTest::newRow("unknown option")
            << "--verbose get HKCU x" << true << "unknown option --verbose";
        QTest::newRow("import without a file") << "import" << true << "import takes";
        QTest::newRow("import of two files") << "import a b" << true << "import takes";
        QTest::newRow("export of two keys") << "export HKCU HKLM" << true << "export takes";
        QTest::newRow("export -o without a file") << "export -o" << true << "-o takes";
        QTest::newRow("get without a name") << "get HKCU" << true << "get takes";
        QTest::newRow("set without a value") << "set HKCU\\A n" << true << "set takes";
        QTest::newRow("delete with too much") << "delete HKCU\\A n x" << true << "delete takes";
        QTest::newRow("init with junk") << "init --now" << true << "init takes";
        QTest::newRow("default with junk") << "default x" << true << "default takes";
        QTest::newRow("unknown hive") << "get HKEY_USERS\\S-1-5-18 x" << false << "not a key";
        QTest::newRow("no hive") << "set Software\\Classes x y" << false << "not a key";
        // Kept two levels down, under Software\Classes of a hive.
        QTest::newRow("classes key 511 deep")
            << "set HKCR" + QString("\\k").repeated(511) + " x y" << false
            << "below HKEY_CLASSES_ROOT nest at most 510 levels";
        // Windows nests keys at most 512 levels deep.
        QTest::newRow("key 513 deep")
            << "set " + nested(513) + " x y" << false << "nest at most 512 levels";
        // A name a .reg line cannot carry would make every later export fail.
        QTest::newRow("key name with a line break")
            << "set HKCU\\A\nB x y" << false << "line break";
        QTest::newRow("value name with a carriage return")
            << "set HKCU\\A x\ry z" << false << "cannot hold the value name";
        QTest::newRow("value name too long")
            << "set HKCU\\A " + QString(maxValueNameLength + 1, 'v') + " x" << false << "at most";
        QTest::newRow("key name too long")
            << "set HKCU\\A\\" + QString(maxKeyNameLength + 1, 'k') + " v x" << false << "at most";
        // Taken for a byte-order mark, it would swap the rest of the name.
        QTest::newRow("key name starting with U+FFFE")
            << "set HKCU\\A\\" + QString(QChar(0xFFFE)) + "ab v x" << false << "U+FFFE";
    }

    // Refused arguments write nothing, and a name the registry cannot take is
    // refused briefly, however long the name.
    void badUsage()
    {
        QFETCH(QString, args);
        QFETCH(bool, usage);
        QFETCH(QString, message);
        const Result r = cli.run(args.split(' ', Qt::SkipEmptyParts));
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
        QCOMPARE(r.err.contains("Usage:"), usage);
        QVERIFY2(usage || r.err.size() < 300, r.err.constData());
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFile::exists(cli.registry) || cli.run({"export"}).out.count('[') == 0);
    }

    void help()
    {
        for (const char *arg : {"--help", "help"}) {
            const Result r = cli.run({arg});
            QCOMPARE(r.code, 0);
            QVERIFY(r.out.startsWith("Usage: pellvarin-reg"));
            // Every name of the unnamed value, and the way past them.
            QVERIFY(r.out.contains("\"@\", \"\", \"Default\" or \".\""));
            QVERIFY(r.out.contains("-n (--literal-name)"));
        }
    }

    void unwritableOutputFails_data()
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
    void unwritableOutputFails()
    {
        QFETCH(QString, command);
        QCOMPARE(cli.run({"init"}).code, 0);
        writeFile(ShellRecord::openedUriFileFor(cli.registry), "ms-settings:defaultapps");
        const Result printed = cli.tool(command);
        QCOMPARE(printed.code, 0);
        QVERIFY(!printed.out.isEmpty());

        const Result r = cli.tool(command + " > /dev/full");
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.count('\n') == 1 &&
                     r.err.startsWith("pellvarin-reg: cannot write the output"),
                 r.err.constData());
    }

    void initAndDefault()
    {
        const Result def = cli.run({"default"});
        QCOMPARE(def.code, 0);
        QCOMPARE(def.out, readFile(QStringLiteral(PELLVARIN_DEFAULT_REGISTRY)));
        QVERIFY2(!QFile::exists(cli.registry), "default needs no registry");

        QCOMPARE(cli.run({"init"}).code, 0);
        QCOMPARE(cli.run({"export"}).out, withoutComments(def.out));

        // A registry in use is not replaced by accident.
        QCOMPARE(cli.run({"set", "HKCU\\Software\\Classes\\.png", "@", "Talvimor.PNG"}).code, 0);
        const QByteArray modified = cli.run({"export"}).out;
        PELLVARIN_COMPARE_FAILURE(cli.run({"init"}), 2, "already holds keys");
        QCOMPARE(cli.run({"export"}).out, modified);

        // Starting afresh drops what the registry never holds.
        QCOMPARE(runSql(cli.registry, "CREATE VIEW v AS SELECT 1; CREATE TRIGGER t AFTER INSERT "
                                      "ON keys BEGIN DELETE FROM keys; END"),
                 QByteArray());
        QCOMPARE(cli.run({"init", "--force"}).code, 0);
        QCOMPARE(runSql(cli.registry, "SELECT group_concat(type || ' ' || name, ', ') FROM "
                                      "(SELECT * FROM sqlite_master ORDER BY name)"),
                 "table keys, table notifications, index sqlite_autoindex_keys_1, table vals");
        QCOMPARE(cli.run({"export"}).out, withoutComments(def.out));
        QCOMPARE(cli.get("HKCR\\.png", "@").out, "pngfile\n");
    }

    void getPrintsEachType()
    {
        // Each value as a .reg line, if it has one of its own, and as get prints it.
        const struct
        {
            const char *name, *line;
            QByteArray out;
        } values[] = {
            {"@", "@=\"the default\"", "the default\n"},
            {"sz", "\"sz\"=\"caf\xc3\xa9\"", "caf\xc3\xa9\n"},
            {"expand", "\"expand\"=hex(2):25,00,61,00,25,00,00,00", "%a%\n"},
            {"multi", "\"multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00", "a\nbc\n"},
            // The list ends at its first empty string, and data cut short
            // reads as if its NULs were there, as QSettings reads both.
            {"stops", "\"stops\"=hex(7):61,00,00,00,00,00,62,00,00,00,00,00", "a\n"},
            {"oddLength", "\"oddLength\"=hex(7):61,00,00,00,62", "a\nb\n"},
            {"dword", "\"dword\"=dword:ffffffff", "4294967295\n"},
            {"qword", "\"qword\"=hex(b):00,00,00,00,00,00,00,80", "9223372036854775808\n"},
            {"binary", "\"binary\"=hex:00,ab,ff", "00,ab,ff\n"},
            {"none", "\"none\"=hex(0):", "\n"},
            {"", nullptr, "the default\n"},
            {"Default", "\"Default\"=\"shadowed\"", "the default\n"},
            {"DWORD", nullptr, "4294967295\n"},
        };
        QByteArray reg = v5 + "[HKEY_CURRENT_USER\\T]\n";
        for (const auto &value : values)
            if (value.line)
                reg += QByteArray(value.line) + '\n';
        QCOMPARE(cli.run({"import", cli.write("types.reg", reg)}).code, 0);
        for (const auto &value : values) {
            const Result r = cli.get("HKEY_CURRENT_USER\\T", QString::fromUtf8(value.name));
            QCOMPARE(r.code, 0);
            QCOMPARE(r.out, value.out);
        }
        QCOMPARE(cli.get("hkcu\\t", "SZ").out, "caf\xc3\xa9\n");

        PELLVARIN_COMPARE_FAILURE(cli.get("HKEY_CURRENT_USER\\T", "missing"), 1, "missing");
        QCOMPARE(cli.get("HKCU\\Nope", "@").code, 1);
        // A key without a default value has no "@" to print.
        QCOMPARE(cli.run({"set", "HKCU\\Bare", "x", "1"}).code, 0);
        QCOMPARE(cli.get("HKCU\\Bare", "@").code, 1);
    }

    void setAndDelete()
    {
        const QString k = QStringLiteral("HKEY_CURRENT_USER\\Software\\New\\Deep");
        QCOMPARE(cli.run({"set", k, "v", "one"}).code, 0);
        QCOMPARE(cli.run({"set", k, "v", "two"}).code, 0);
        QCOMPARE(cli.run({"set", k, "Default", "d"}).code, 0);
        QCOMPARE(cli.run({"export", k}).out,
                 v5 + "[HKEY_CURRENT_USER\\Software\\New\\Deep]\n@=\"d\"\n\"v\"=\"two\"\n\n");

        QCOMPARE(cli.get(k, "V").out, "two\n");
        QCOMPARE(cli.run({"delete", k, "V"}).code, 0);
        QCOMPARE(cli.run({"delete", k, "v"}).code, 1);
        QCOMPARE(cli.get(k, "@").out, "d\n");
        QCOMPARE(cli.run({"delete", k, ""}).code, 0);
        QCOMPARE(cli.get(k, "@").code, 1);

        QCOMPARE(cli.run({"delete", "HKCU\\Software\\New"}).code, 0);
        QCOMPARE(cli.run({"export", k}).code, 1);
        QCOMPARE(cli.run({"export", "HKCU\\Software"}).out,
                 v5 + "[HKEY_CURRENT_USER\\Software]\n\n");
        QCOMPARE(cli.run({"delete", "HKCU\\Software\\New"}).code, 1);
        QCOMPARE(cli.run({"delete", "HKCU\\Nope", "x"}).code, 1);

        // Without -n, "Default" and "." name the unnamed value as the settings
        // take them; with it, values of those names (and of "@") are their own.
        const QString lit = QStringLiteral("HKCU\\Literal");
        QCOMPARE(cli.run({"set", lit, ".", "unnamed"}).code, 0);
        for (const QString name : {".", "Default", "@"})
            QCOMPARE(cli.run({"set", "-n", lit, name, "named " + name}).code, 0);
        QCOMPARE(cli.run({"export", lit}).out,
                 v5 + "[HKEY_CURRENT_USER\\Literal]\n@=\"unnamed\"\n\".\"=\"named .\"\n"
                      "\"@\"=\"named @\"\n\"Default\"=\"named Default\"\n\n");
        for (const QString name : {".", "Default", "@"}) {
            const QStringList getIt{"get", "--literal-name", lit, name};
            QCOMPARE(cli.run(getIt).out, "named " + name.toUtf8() + '\n');
            QCOMPARE(cli.get(lit, name).out, "unnamed\n");
            QCOMPARE(cli.run({"delete", "-n", lit, name}).code, 0);
            QCOMPARE(cli.run(getIt).code, 1);
            QCOMPARE(cli.get(lit, "@").out, "unnamed\n");
        }
        QCOMPARE(cli.run({"get", "-n", lit, QString()}).out, "unnamed\n");

        PELLVARIN_COMPARE_FAILURE(cli.run({"delete", "HKEY_CURRENT_USER"}), 2, "whole hive");
        QVERIFY(cli.run({"export", "HKCU\\Software"}).code == 0);

        // The deepest key Windows allows is taken (badUsage: no deeper), and
        // what was written exports whole.
        QCOMPARE(cli.run({"set", nested(512), "x", "y"}).code, 0);
        QCOMPARE(cli.run({"export"}).code, 0);
    }

    void importAndExport()
    {
        QCOMPARE(cli.run({"init"}).code, 0);
        const QString good =
            cli.write("good.reg", v5 + "[HKEY_CLASSES_ROOT\\.png]\n@=\"Talvimor.PNG\"\n"
                                       "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.gif]\n");
        QCOMPARE(cli.run({"import", good}).code, 0);
        QCOMPARE(
            cli.run({"export", "HKCR\\.PNG"}).out,
            v5 + "[HKEY_CLASSES_ROOT\\.png]\n@=\"Talvimor.PNG\"\n\"Content Type\"=\"image/png\"\n"
                 "\"PerceivedType\"=\"image\"\n\n"
                 "[HKEY_CLASSES_ROOT\\.png\\OpenWithProgids]\n\"pngfile\"=hex(0):\n"
                 "\"Talvimor.PNG\"=\"\"\n\n");
        QCOMPARE(cli.run({"export", "HKCR\\.gif"}).code, 1);

        // A bad line anywhere: the importer's message, and nothing written.
        const QByteArray before = cli.run({"export"}).out;
        const QString bad = cli.write(
            "bad.reg", v5 + "[HKEY_CURRENT_USER\\Software\\Half]\n\"x\"=\"1\"\n\"y\"=dword:xyz\n");
        const Result r = cli.run({"import", bad});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.startsWith(QByteArray(QFile::encodeName(bad) + ":5: ")), r.err.constData());
        QCOMPARE(cli.run({"export"}).out, before);
        PELLVARIN_COMPARE_FAILURE(cli.run({"import", cli.path("none.reg")}), 2, "cannot be read");

        // -o writes what standard output gets, in the form regedit reads whole
        // (exportImportsBack reads it back).
        const QString out = cli.path("out.reg");
        QCOMPARE(cli.run({"export", "-o", out}).code, 0);
        const QByteArray written = readFile(out);
        QVERIFY(written.startsWith("\xff\xfeW\0i\0n\0"));
        QString expected = QString::fromUtf8(before);
        expected.replace(QLatin1String("\n"), QLatin1String("\r\n"));
        QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t *>(written.constData() + 2),
                                    (written.size() - 2) / 2),
                 expected);
        QCOMPARE(cli.run({"export", "HKCU\\Missing", "-o", out}).code, 1);
        QCOMPARE(readFile(out), written);
    }

    // Whatever export writes comes back, in either form, into an empty
    // registry: the largest values a file holds, and 60 Mi characters of
    // short keys, which their hive's full name makes twice as long. Costly:
    // runs that share no registry go two at a time.
    void exportImportsBack_data()
    {
        QTest::addColumn<bool>("shortKeys");
        QTest::newRow("the largest values, the longest name") << false;
        QTest::newRow("60 Mi characters of short keys") << true;
    }

    void exportImportsBack()
    {
        QFETCH(bool, shortKeys);
        QByteArray text = v5;
        qint64 keys = 1;
        if (shortKeys) {
            for (keys = 0; text.size() + 16 <= 60 << 20;)
                text += "[HKCU\\k" + QByteArray::number(++keys).rightJustified(7, '0') + "]\n";
        } else {
            // A string of every character escaped, and bytes wrapped as
            // people write them, each of maxRegValueBytes.
            const QByteArray escaped = QByteArray("\\\\\\\"").repeated(maxRegValueBytes / 4);
            const QByteArray hexLine = QByteArray("5a,").repeated(32) + "\\\n";
            text += "[HKEY_CURRENT_USER\\Big]\n\"" +
                    QByteArray("\\\"").repeated(maxValueNameLength) + "\"=\"" + escaped.chopped(2) +
                    "\"\n\"bytes\"=hex:" + hexLine.repeated(maxRegValueBytes / 32 - 1) +
                    QByteArray("5a,").repeated(31) + "5a\n";
        }
        cli.write("source.reg", text);
        text.clear();
        // Two runs at a time, in the directory: the shell waits for the one
        // in the background, and fails if either did.
        for (const char *runs : {"t \"$R\" import source.reg",
                                 "t \"$R\" export -o utf16.reg & t \"$R\" export > utf8.reg",
                                 "t b.sqlite import utf16.reg & t c.sqlite import utf8.reg"}) {
            const Result r =
                cli.shell(QStringLiteral("cd \"$HOME\" || exit; t() { \"$T\" --registry "
                                         "\"$@\"; }; %1; s=$?; wait $! && exit $s")
                              .arg(QLatin1String(runs)),
                          600000);
            QVERIFY2(r.code == 0, r.err.constData());
        }

        // The keys, in the order export writes them, are numbered alike.
        QCOMPARE(runSql(cli.registry,
                        "SELECT (SELECT count(*) FROM keys) || ' ' || (SELECT count(*) FROM vals)"),
                 QByteArray::number(keys + 2) + (shortKeys ? " 0" : " 2"));
        for (const char *copy : {"b.sqlite", "c.sqlite"})
            QCOMPARE(rowsApart(cli.registry, cli.path(copy)), "0");
        QVERIFY(readFile(cli.path("utf16.reg")).startsWith("\xff\xfeW\0i\0n\0"));
    }

    // Without --registry the environment names the file, and without a home
    // there is no place for the registry of one's own; reading a registry
    // that is not there creates neither it nor its folder.
    void registryIsWhereItIsNamedAndReadingMakesNone()
    {
        QCOMPARE(cli.runBare({"set", "HKCU\\E", "x", "env"}).code, 0);
        QVERIFY(QFile::exists(cli.envRegistry));
        QCOMPARE(cli.get("HKCU\\E", "x").code, 1);
        QCOMPARE(cli.runBare({"--registry=" + cli.envRegistry, "get", "HKCU\\E", "x"}).out,
                 "env\n");

        const QString elsewhere = cli.path("nowhere/registry.sqlite");
        for (const QStringList &args : {QStringList{"get", "HKCU\\A", "x"}, QStringList{"export"}})
            PELLVARIN_COMPARE_FAILURE(cli.runBare(QStringList{"--registry", elsewhere} + args), 1,
                                      "there is no registry at");
        const Result told = cli.runBare({"--registry", elsewhere, "notifications"});
        QCOMPARE(told.out, "count: 0\nlast: never\n");
        QVERIFY(!QFileInfo::exists(cli.path("nowhere")));

        cli.unset = QStringList{"HOME", "XDG_DATA_HOME", "PELLVARIN_REGISTRY"};
        PELLVARIN_COMPARE_FAILURE(cli.runBare({"set", "HKCU\\A", "x", "y"}), 2, "HOME is not set");
    }

    void exportOntoTheRegistryIsRefused_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("its path") << "path";
        QTest::newRow("a symbolic link") << "symlink";
        QTest::newRow("another spelling") << "spelling";
        QTest::newRow("a hard link") << "hardlink";
        QTest::newRow("a hard link to its journal") << "journal";
        QTest::newRow("its -wal journal, not there yet") << "wal";
        QTest::newRow("a symbolic link to its journal, not there yet") << "journal link";
    }

    // An export onto the registry would replace the database with text, and one
    // onto a journal would be played into it; however the file is reached.
    void exportOntoTheRegistryIsRefused()
    {
        QFETCH(QString, how);
        QCOMPARE(cli.run({"init"}).code, 0);
        const QString journal = cli.registry + "-journal";
        writeFile(journal, QByteArray()); // an empty journal is none to play
        QVERIFY(QFile::setPermissions(journal, QFile::ReadOwner | QFile::WriteOwner));
        QString target = cli.path("other.reg");
        const QByteArray native = QFile::encodeName(target);
        if (how == "path") {
            target = cli.registry;
        } else if (how == "symlink") {
            QVERIFY(QFile::link(cli.registry, target));
        } else if (how == "spelling") {
            QVERIFY(QDir(cli.dir->path()).mkdir("sub"));
            target = cli.dir->path() + "/./sub/../registry.sqlite";
        } else if (how == "hardlink") {
            QCOMPARE(::link(QFile::encodeName(cli.registry).constData(), native.constData()), 0);
        } else if (how == "journal") {
            QCOMPARE(::link(QFile::encodeName(journal).constData(), native.constData()), 0);
        } else if (how == "journal link") {
            QVERIFY(QFile::remove(journal));
            QVERIFY(QFile::link(journal, target));
        } else {
            target = cli.registry + "-wal";
        }
        const QByteArray before = readFile(cli.registry);

        PELLVARIN_COMPARE_FAILURE(cli.run({"export", "-o", target}), 2, "is the registry itself");
        QCOMPARE(readFile(cli.registry), before);
        QCOMPARE(readFile(journal), QByteArray());
        QVERIFY(!QFile::exists(cli.registry + "-wal"));
        QCOMPARE(cli.get("HKCR\\.png", "@").out, "pngfile\n");
    }

    void exportWritesIntoWhatIsNoFile_data()
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
    void exportWritesIntoWhatIsNoFile()
    {
        QFETCH(QString, kind);
        QFETCH(int, code);
        QCOMPARE(cli.run({"init"}).code, 0);
        const QString reference = cli.path("reference.reg");
        QCOMPARE(cli.run({"export", "-o", reference}).code, 0);
        const QByteArray expected = readFile(reference);
        QVERIFY(expected.startsWith("\xff\xfeW\0"));

        QString target = cli.path("target");
        if (kind == "file") {
            writeFile(target, "what was there");
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        } else {
            const char *device = kind == "null" ? "/dev/null" : "/dev/full";
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
        if (kind == "fifo") {
            reader.start("cat", {target});
            QVERIFY(reader.waitForStarted());
        }
        const Result r = cli.run({"export", "-o", target});
        if (kind == "fifo") {
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
        if (kind == "file")
            QCOMPARE(readFile(target), expected);
    }

    void notifications()
    {
        QCOMPARE(cli.run({"notifications"}).out, "count: 0\nlast: never\n");

        const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-1);
        auto store = RegistryStore::open(cli.registry);
        QVERIFY(ShellRecord(*store).recordNotification(0x08000000));
        QVERIFY(ShellRecord(*store).recordNotification(0x08000000));
        QVERIFY(ShellRecord(*store).recordNotification(0x00000002)); // another event is not counted

        const Result r = cli.run({"notifications"});
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

    void problemsAreOneLine_data()
    {
        // How the registry is unusable, beside the troubles every layer meets:
        // "text" is no database, "torn" every page damaged but the first,
        // "page" one page in the middle,
        // "trigger", "view" and "table" hold what a registry never does, and
        // "log" is read-only with a write in its log but no index to it.
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("reason");

        const QStringList set{"set", "HKCR\\.png", "x", "y"}, get{"get", "HKCR\\.png", "@"},
            del{"delete", "HKCR\\.png", "@"}, exp{"export"};
        QTest::newRow("no database: set") << "text" << set << QByteArray("not a database");
        QTest::newRow("no database: get") << "text" << get << QByteArray("not a database");
        QTest::newRow("no database: delete") << "text" << del << QByteArray("not a database");
        QTest::newRow("no database: init --force")
            << "text" << QStringList{"init", "--force"} << QByteArray("not a database");
        QTest::newRow("no database: export") << "text" << exp << QByteArray("not a database");
        QTest::newRow("torn: set") << "torn" << set << QByteArray("damaged");
        QTest::newRow("torn: get") << "torn" << get << QByteArray("damaged");
        QTest::newRow("torn: delete") << "torn" << del << QByteArray("damaged");
        QTest::newRow("a page damaged: export") << "page" << exp << QByteArray("damaged");
        QTest::newRow("a trigger: set")
            << "trigger" << set << QByteArray("the trigger \"planted\"");
        QTest::newRow("a view: get") << "view" << get << QByteArray("the view \"planted\"");
        QTest::newRow("another table: export")
            << "table" << exp << QByteArray("the table \"planted\"");
        QTest::newRow("a log without its index: get") << "log" << get << QByteArray("its log");
    }

    // However the registry is refused, the tool says it once, in one line that
    // names the file: nothing else speaks before it, nothing is printed or
    // written.
    void problemsAreOneLine()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, args);
        QFETCH(QByteArray, reason);
        if (kind == "text") {
            writeFile(cli.registry, "this is not a registry\n");
        } else {
            QCOMPARE(cli.run({"init"}).code, 0);
        }
        if (kind == "trigger" || kind == "view" || kind == "table") {
            const QByteArray sql =
                kind == "trigger"
                    ? QByteArray("CREATE TRIGGER planted AFTER INSERT ON vals BEGIN UPDATE vals "
                                 "SET data = X'7000000000' WHERE key = new.key AND fold = "
                                 "new.fold; END")
                    : QByteArray("CREATE " + kind.toUtf8() + " planted AS SELECT * FROM keys");
            QCOMPARE(runSql(cli.registry, sql.constData()), QByteArray());
        } else if (kind == "log") {
            // Reading it would need the index made again: a write.
            sqlite3 *db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(cli.registry).constData(), &db), SQLITE_OK);
            QCOMPARE(
                sqlite3_exec(
                    db, "PRAGMA wal_autocheckpoint = 0; INSERT INTO notifications VALUES (1, 1, 1)",
                    nullptr, nullptr, nullptr),
                SQLITE_OK);
            QVERIFY(QFile::copy(cli.registry + "-wal", cli.path("log")));
            sqlite3_close(db);
            QVERIFY(QFile::rename(cli.path("log"), cli.registry + "-wal"));
            QVERIFY(QFile::setPermissions(cli.registry, QFile::ReadOwner));
        } else if (kind == "torn" || kind == "page") {
            QFile f(cli.registry);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.size() > 8 * 4096);
            // The first page holds the schema: torn, the file still opens and
            // the first read meets the damage; a page in the middle is met
            // only once keys are read.
            const qint64 at = kind == "torn" ? 4096 : (f.size() / 4096 / 2) * 4096;
            QVERIFY(f.seek(at));
            const QByteArray junk(int(kind == "torn" ? f.size() - at : 4096), '\x5a');
            QCOMPARE(f.write(junk), junk.size());
        }
        const QByteArray before = readFile(cli.registry);

        const Result r = cli.run(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.out.isEmpty(), r.out.left(200).constData());
        QVERIFY2(r.err.count('\n') == 1 && r.err.endsWith('\n'), r.err.constData());
        QVERIFY2(r.err.contains(
                     QByteArray(QFile::encodeName(cli.registry) + " is not a usable registry: ")) &&
                     r.err.contains(reason),
                 r.err.constData());
        QCOMPARE(readFile(cli.registry), before);
    }

    void troubleIsOneLine_data() { addTroubleRows(); }

    // Reading goes on where the trouble allows, as on Windows; a write and a
    // removal each fail in one line that names the file and says why, and
    // write nothing. Once the trouble is gone, the same command works.
    void troubleIsOneLine()
    {
        QFETCH(int, trouble);
        QFETCH(QString, reason);
        QFETCH(bool, readable);
        QFETCH(bool, passes);
        QCOMPARE(cli.run({"init"}).code, 0);
        PELLVARIN_TROUBLED_REGISTRY(troubled, trouble, cli.registry);
        cli.registry = troubled.fileName();
        const QByteArray before = troubled.contents();
        const Result read = cli.get("HKCR\\.png", "@");
        QList<Result> refused{cli.run({"set", "HKCU\\A", "x", "y"}),
                              cli.run({"delete", "HKCR\\.png", "@"})};
        QVERIFY(troubled.end());
        if (readable)
            QCOMPARE(read.out, "pngfile\n");
        else
            refused.append(read);
        for (const Result &r : std::as_const(refused)) {
            QCOMPARE(r.code, 2);
            QVERIFY2(r.out.isEmpty() && r.err.count('\n') == 1 && r.err.contains(reason.toUtf8()) &&
                         r.err.contains(QFile::encodeName(troubled.fileName())) &&
                         (reason == "damaged" || !r.err.contains("damaged")),
                     r.err.constData());
        }
        QCOMPARE(troubled.contents(), before);
        if (!passes)
            return;
        QCOMPARE(cli.run({"set", "HKCU\\A", "x", "y"}).code, 0);
        QCOMPARE(cli.get("HKCU\\A", "x").out, "y\n");
    }

    void readsWhatItCannotWrite_data()
    {
        // What keeps the registry from being written, beside the troubles
        // every layer meets, and what a write says.
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("folder that cannot be written") << "folder" << QByteArray("its folder");
        QTest::newRow("read-only mount") << "mount" << QByteArray("mounted read-only");
        QTest::newRow("file size limit") << "limit" << QByteArray("the disk is full");
        QTest::newRow("a second name") << "link" << QByteArray("has 2 names");
    }

    // As on Windows, what keeps the registry from being written leaves it
    // readable and fails only a write, in one line that says why; once it is
    // gone, nothing left behind stops a write. Root may write whatever the
    // permissions say, so those are tried as user nobody.
    void readsWhatItCannotWrite()
    {
        QFETCH(QString, obstacle);
        QFETCH(QByteArray, reason);
        std::optional<ScratchMount> disk;
        QString folder = cli.path("folder");
        if (obstacle == "mount") {
            disk.emplace();
            if (!disk->isMounted())
                QSKIP(disk->whyNot().constData());
            folder = disk->filePath("folder");
        }
        QVERIFY(QDir().mkdir(folder));
        const QByteArray native = QFile::encodeName(folder);
        if (obstacle == "folder" && ::geteuid() == 0) {
            QCOMPARE(::chmod(QFile::encodeName(cli.dir->path()).constData(), 0711), 0);
            QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
            cli.as = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        }
        cli.registry = folder + "/registry.sqlite";
        QCOMPARE(cli.run({"init"}).code, 0);
        const QByteArray file = QFile::encodeName(cli.registry);
        const QByteArray second = file + ".2";
        const auto obstruct = [&](bool on) {
            if (obstacle == "folder")
                return ::chmod(native.constData(), on ? 0500 : 0700) == 0;
            if (obstacle == "mount")
                return disk->setReadOnly(on);
            if (obstacle == "limit")
                cli.as =
                    on ? QStringList{"sh", "-c", "ulimit -f 0; exec \"$@\"", "sh"} : QStringList();
            else if (on)
                return ::link(file.constData(), second.constData()) == 0;
            else
                return ::unlink(second.constData()) == 0;
            return true;
        };
        QVERIFY(obstruct(true));
        const QByteArray before = readFile(cli.registry);
        const Result read = cli.get("HKCR\\.png", "@");
        const Result write = cli.run({"set", "HKCU\\A", "x", "y"});
        QVERIFY(obstruct(false));
        QCOMPARE(read.code, 0);
        QCOMPARE(read.out, "pngfile\n");
        PELLVARIN_COMPARE_FAILURE(write, 2, reason);
        QCOMPARE(readFile(cli.registry), before);
        QCOMPARE(cli.run({"set", "HKCU\\A", "x", "y"}).code, 0);
        QCOMPARE(cli.get("HKCU\\A", "x").out, "y\n");
    }

    // An input without end, or a line beyond the stated limit, is refused
    // before it is read whole, whatever memory the tool may have.
    void inputTooLargeIsRefused()
    {
        // Sparse, costing no disk: NULs after the header, a line too long to
        // take, however much of the file is left.
        for (const qint64 size : {65ll << 20, (256ll << 20) + 3}) {
            const QString big = cli.write(QStringLiteral("big%1.reg").arg(size), v5);
            QVERIFY(QFile::resize(big, size));
            const Result sized = cli.run({"import", big});
            QCOMPARE(sized.code, 2);
            QVERIFY2(sized.err.startsWith(QByteArray(QFile::encodeName(big) + ":3: ")),
                     sized.err.constData());
            QVERIFY2(sized.err.contains("64 Mi characters"), sized.err.constData());
        }

        QVERIFY(cli.run({"help"}).out.contains("64 Mi characters"));

        // A sanitizer's build reserves more address space than the limit allows
        // and cannot start under it at all; the plain build is what is tested.
        if (cli.shell("ulimit -v 3000000; exec \"$T\" help").code != 0)
            QSKIP("the tool cannot start under a 3 GB address-space limit in this build");
        const Result endless =
            cli.shell("ulimit -v 3000000; exec \"$T\" --registry \"$R\" import /dev/zero");
        QCOMPARE(endless.code, 2);
        QVERIFY2(endless.err.startsWith("/dev/zero:1: "), endless.err.constData());
        QVERIFY2(endless.err.contains("64 Mi characters"), endless.err.constData());
    }

    // A file size limit fails the write as a full disk does, with a message,
    // instead of killing the tool.
    void fileSizeLimitIsAFullDisk()
    {
        QCOMPARE(cli.run({"init"}).code, 0);
        const QByteArray before = readFile(cli.registry);
        QByteArray text = v5;
        for (int i = 0; i < 2000; ++i)
            text += "[HKEY_CURRENT_USER\\Software\\Many\\K" + QByteArray::number(i) +
                    "]\n\"v\"=\"" + QByteArray(100, 'x') + "\"\n\n";
        const QString many = cli.write("many.reg", text);
        // In 512-byte blocks: the registry as it is, but no room to grow.
        PELLVARIN_COMPARE_FAILURE(
            cli.shell(QStringLiteral("ulimit -f %1; exec \"$T\" --registry \"$R\" import \"%2\"")
                          .arg(before.size() / 512)
                          .arg(many)),
            2, "full");
        QCOMPARE(readFile(cli.registry), before);

        // An empty registry gets its tables at its first opening, even to be
        // read: when they find no room, that is what is told.
        const QString empty = cli.write("empty.sqlite", QByteArray());
        PELLVARIN_COMPARE_FAILURE(
            cli.shell(
                QStringLiteral("ulimit -f 0; exec \"$T\" --registry \"%1\" get HKCU x").arg(empty)),
            2, "the disk is full");
        QCOMPARE(readFile(empty), QByteArray());
    }

    // Arguments reach the registry as the text they are: bytes that are not
    // UTF-8 are refused, and a leading U+FEFF stays part of the name.
    void argumentsMustBeText()
    {
        for (const char *args :
             {"\"HKCU\\\\A$(printf '\\377')\" x y", "HKCU\\\\A \"x$(printf '\\377')\" y",
              "HKCU\\\\A x \"y$(printf '\\300\\200')\""})
            PELLVARIN_COMPARE_FAILURE(cli.tool(QStringLiteral("set ") + QLatin1String(args)), 2,
                                      "UTF-8");
        QVERIFY(!QFile::exists(cli.registry) || cli.run({"export"}).out.count('[') == 0);

        PELLVARIN_COMPARE_FAILURE(cli.tool("set HKCU\\\\A \"$(printf '\\357\\273\\277abc')\" y"), 2,
                                  "U+FEFF");
        QCOMPARE(cli.get("HKCU\\A", "abc").code, 1);
    }

    // init looks for an empty registry and fills it in one transaction: a set
    // that lands first makes it refuse, one that lands after stays.
    void initNeverErasesAWriteThatRacedIt()
    {
        const QString tool = QStringLiteral(PELLVARIN_REG_EXECUTABLE);
        int bothLanded = 0;
        for (int round = 0; round < 60; ++round) {
            const QString registry = cli.path(QStringLiteral("race%1.sqlite").arg(round));
            QProcess init, set;
            cli.start(init, tool, {"--registry", registry, "init"});
            cli.start(set, tool,
                      {"--registry", registry, "set", "HKCU\\Software\\Mine", "x", "kept"});
            QVERIFY(init.waitForFinished(60000) && set.waitForFinished(60000));
            if (init.exitCode() != 0 || set.exitCode() != 0)
                continue;
            ++bothLanded;
            const Result r =
                cli.runBare({"--registry", registry, "get", "HKCU\\Software\\Mine", "x"});
            QVERIFY2(r.out == "kept\n",
                     qPrintable(
                         QStringLiteral("round %1: %2").arg(round).arg(QString::fromUtf8(r.err))));
        }
        QVERIFY(bothLanded > 0);
    }

    // Each export is read under one snapshot: racing imports that rewrite every
    // value, it shows all of one import or all of the other, never a mix.
    void exportRacingImportsShowsOneStateWhole()
    {
        QByteArray a = v5 + "[HKEY_CURRENT_USER\\Software\\Race]\n";
        QByteArray b = a;
        for (int i = 0; i < 300; ++i) {
            a += "\"v" + QByteArray::number(i) + "\"=\"A\"\n";
            b += "\"v" + QByteArray::number(i) + "\"=\"B\"\n";
        }
        cli.extra.insert("A", cli.write("a.reg", a));
        cli.extra.insert("B", cli.write("b.reg", b));
        QCOMPARE(cli.run({"import", cli.path("a.reg")}).code, 0);

        QProcess importer;
        cli.start(importer, "sh",
                  {"-c", "i=0; while [ $i -lt 60 ]; do "
                         "\"$T\" --registry \"$R\" import \"$B\" && "
                         "\"$T\" --registry \"$R\" import \"$A\" "
                         "|| exit 1; i=$((i+1)); done"});
        QVERIFY(importer.waitForStarted());
        for (int exports = 0; exports < 500; ++exports) {
            importer.waitForFinished(0); // notices the end, waiting for nothing
            if (importer.state() == QProcess::NotRunning && exports >= 10)
                break;
            const Result r = cli.run({"export", "HKCU\\Software\\Race"});
            QCOMPARE(r.code, 0);
            const int as = r.out.count("=\"A\""), bs = r.out.count("=\"B\"");
            QVERIFY2((as == 300 && bs == 0) || (as == 0 && bs == 300),
                     qPrintable(QStringLiteral("export %1: %2 from A, %3 from B")
                                    .arg(exports)
                                    .arg(as)
                                    .arg(bs)));
        }
        QVERIFY(importer.state() == QProcess::NotRunning || importer.waitForFinished(120000));
        QCOMPARE(importer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(importer.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPellvarinReg)
#include "tst_pellvarinreg.moc"
