// The .reg reader and writer against the store. In order: key names;
// export (stable round trips, regedit's syntax and line wrapping, one key,
// names no line can hold, sizes at the limits); import of every value
// syntax, empty keys, deletions and the merged classes root; malformed,
// unreadable and read-only input, none of which writes anything; and the
// default machine that ships with the tool.
#include "regfile.h"
#include "registrydump.h"
#include "registryfile.h"
#include "registrystore.h"
#include "regtext.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <FreeImage.h>

#include <set>

namespace {

RegKeyPath key(const QByteArray &path)
{
    return *parseRegKeyName(QString::fromUtf8(path));
}

QByteArray utf16(const QString &s)
{
    return encodeRegSz(s);
}

QByteArray dword(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

// UTF-16LE with its byte-order mark, as regedit writes.
QByteArray regeditBytes(const QString &text)
{
    QByteArray out("\xff\xfe");
    for (QChar c : text) {
        out.append(char(c.unicode() & 0xff));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

// A [KEY] line levels deep below hive, each level named name.
QByteArray nestedKeyLine(const char *hive, int levels, const QByteArray &name = "k")
{
    QByteArray line = QByteArray("[") + hive;
    for (int i = 0; i < levels; ++i)
        line += '\\' + name;
    return line + "]\n";
}

// What an export said when it failed; nothing when it wrote the file.
QString exportError(const RegistryStore &store, const std::optional<RegKeyPath> &root = {})
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    return exportRegFile(store, root, out, &error) ? QString() : error;
}

// A store in a directory of its own, gone with the test.
class Registry
{
public:
    Registry() : store(RegistryStore::open(dir.filePath(QStringLiteral("registry.sqlite")))) {}

    // Why an import failed is shown, unless the caller takes it.
    bool import(const QByteArray &content, QString *error = nullptr)
    {
        QString why;
        const bool done =
            importRegFile(*store, content, QStringLiteral("test.reg"), error ? error : &why);
        if (!done && !error)
            qWarning() << "import failed:" << why;
        return done;
    }

    QByteArray exportKeys(const std::optional<RegKeyPath> &root = std::nullopt) const
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QString error;
        if (!exportRegFile(*store, root, out, &error))
            qWarning() << "export failed:" << error;
        return out.data();
    }

    // Every key and value, types and bytes included, for exact comparisons.
    QStringList dump() const { return dumpRegistry(*store); }

    bool set(const char *path, const QString &name, quint32 type, const QByteArray &data)
    {
        return store->setValue(key(path), name, type, data);
    }

    QTemporaryDir dir;
    std::shared_ptr<RegistryStore> store;
};

} // namespace

class TestRegFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keyNamesSplitOnBackslashOnly();

    void exportImportExportIsStable();
    void exportWritesRegeditSyntax();
    void exportWrapsLongHexLists();
    void exportOfOneKey();
    void exportRefusesNamesNoLineCanHold();
    void filesAtTheSizeLimitRoundTrip_data();
    void filesAtTheSizeLimitRoundTrip();

    void importsEveryValueSyntax_data();
    void importsEveryValueSyntax();
    void importsUtf16AndBoms();
    void keysExistWithoutValues();
    void deletions();
    void classesRootGoesThroughTheMergedView();

    void malformedInputWritesNothing_data();
    void malformedInputWritesNothing();
    void unreadableOrReadOnly();

    void defaultRegistryDescribesTheViewer();
};

void TestRegFile::keyNamesSplitOnBackslashOnly()
{
    const auto k = parseRegKeyName(QStringLiteral("HKCR\\MIME\\Database\\Content Type\\image/png"));
    QVERIFY(k);
    QCOMPARE(k->hive, Hive::ClassesRoot);
    QCOMPARE(k->parts, (QStringList{QStringLiteral("MIME"), QStringLiteral("Database"),
                                    QStringLiteral("Content Type"), QStringLiteral("image/png")}));
    QCOMPARE(parseRegKeyName(QStringLiteral("hkey_local_machine"))->hive, Hive::LocalMachine);
    QCOMPARE(parseRegKeyName(QStringLiteral("HKEY_CURRENT_USER\\\\A\\"))->parts,
             QStringList{QStringLiteral("A")});
    QVERIFY(!parseRegKeyName(QStringLiteral("HKEY_USERS\\S-1-5-18")));
    QVERIFY(!parseRegKeyName(QStringLiteral("HKLM/SOFTWARE")));
    QVERIFY(!parseRegKeyName(QString()));
}

void TestRegFile::exportImportExportIsStable()
{
    Registry a;
    const QByteArray binary = [] {
        QByteArray b;
        for (int i = 0; i < 300; ++i)
            b.append(char(i * 7));
        return b;
    }();
    // Names at the registry's limits, holding values of a megabyte.
    const QString longestKey(maxKeyNameLength, QLatin1Char('K'));
    const QString longestValue(maxValueNameLength, QLatin1Char('V'));
    const RegKeyPath deep = key("HKCU\\Software").child(longestKey).child(longestKey);
    QByteArray megabyte(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < megabyte.size(); ++i)
        megabyte[i] = char(i ^ (i >> 8));
    const RegKeyPath t = key("HKLM\\SOFTWARE\\T");
    struct
    {
        RegKeyPath key;
        QString name;
        quint32 type;
        QByteArray data;
    } const values[] = {
        {key("HKLM"), QStringLiteral("OnTheHive"), RegType::Sz, utf16(QStringLiteral("root"))},
        {t, QString(), RegType::Sz, utf16(QStringLiteral("default"))},
        {t, QStringLiteral("path"), RegType::Sz,
         utf16(QStringLiteral("C:\\Program Files\\\"quoted\"\\"))},
        {t, QStringLiteral("empty"), RegType::Sz, utf16(QString())},
        {t, QString::fromUtf8("na\"me\\ \xc3\xa9"), RegType::Sz,
         utf16(QString::fromUtf8("\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80 \xef\xbb\xbf"))},
        // REG_SZ that no quoted string reproduces must still come back exact.
        {t, QStringLiteral("noNul"), RegType::Sz, QByteArray("a\0b\0", 4)},
        {t, QStringLiteral("odd"), RegType::Sz, QByteArray("a\0\0", 3)},
        {t, QStringLiteral("nulInside"), RegType::Sz, QByteArray("a\0\0\0b\0\0\0", 8)},
        {t, QStringLiteral("twoNuls"), RegType::Sz, QByteArray("a\0\0\0\0\0", 6)},
        {t, QStringLiteral("newline"), RegType::Sz, utf16(QStringLiteral("one\r\ntwo"))},
        {t, QStringLiteral("loneSurrogate"), RegType::Sz, QByteArray("\x3d\xd8\0\0", 4)},
        {t, QStringLiteral("zeroBytes"), RegType::Sz, QByteArray()},
        {t, QStringLiteral("expand"), RegType::ExpandSz, utf16(QStringLiteral("%SystemRoot%\\x"))},
        {t, QStringLiteral("multi"), RegType::MultiSz, QByteArray("a\0b\0\0\0c\0\0\0\0\0", 12)},
        {t, QStringLiteral("dword"), RegType::Dword, dword(0xdeadbeef)},
        {t, QStringLiteral("shortDword"), RegType::Dword, QByteArray("\1\2\3")},
        {t, QStringLiteral("bigEndian"), RegType::DwordBigEndian, QByteArray("\0\0\0\1", 4)},
        {t, QStringLiteral("qword"), RegType::Qword, QByteArray::fromHex("0102030405060708")},
        {t, QStringLiteral("none"), RegType::None, QByteArray()},
        {t, QStringLiteral("noneWithData"), RegType::None, QByteArray("\0\xff", 2)},
        {t, QStringLiteral("binary"), RegType::Binary, binary},
        {t, QStringLiteral("emptyBinary"), RegType::Binary, QByteArray()},
        {t, QStringLiteral("oddType"), 0xffffffffu, QByteArray("x")},
        {t, QString(60, QLatin1Char('n')), RegType::Binary, binary.left(40)},
        {t.child(QStringLiteral("image/png")), QStringLiteral("slash"), RegType::Sz, utf16("x")},
        {t.child(QStringLiteral("[brackets] and spaces ")), QString(), RegType::Sz, utf16("y")},
        {key("HKCU\\Software\\Classes\\.png"), QString(), RegType::Sz, utf16("pngfile")},
        {deep, longestValue, RegType::Binary, megabyte},
        {deep, QString(), RegType::Sz, utf16(QString(1 << 19, QLatin1Char('t')))},
    };
    for (const auto &v : values)
        QVERIFY(a.store->setValue(v.key, v.name, v.type, v.data));
    QVERIFY(a.store->createKey(t.child(QStringLiteral("Empty")).child(QStringLiteral("Deeper"))));
    QVERIFY(a.store->createKey(key("HKCU\\Software\\Lonely")));

    const QByteArray first = a.exportKeys();
    QVERIFY2(!first.contains('\0'), "a NUL is no text a .reg line can carry");
    Registry b;
    QVERIFY(b.import(first));
    QCOMPARE(b.dump(), a.dump());
    QCOMPARE(b.exportKeys(), first);

    // Stable also for the exact bytes of every value, looked up one by one.
    for (const auto &v : values) {
        const auto got = b.store->value(v.key, v.name);
        QVERIFY2(got, qPrintable(v.key.toString()));
        QCOMPARE(got->type, v.type);
        QCOMPARE(got->data, v.data);
    }
}

void TestRegFile::exportWritesRegeditSyntax()
{
    Registry r;
    QVERIFY(r.set("HKCU\\Software\\T", QStringLiteral("z"), RegType::Sz, utf16("last")));
    QVERIFY(r.set("HKCU\\Software\\T", QString(), RegType::Sz, utf16("first")));
    QVERIFY(r.set("HKCU\\Software\\T", QStringLiteral("a\"b"), RegType::Sz, utf16("c:\\d\"")));
    QVERIFY(r.set("HKCU\\Software\\T", QStringLiteral("d"), RegType::Dword, dword(42)));
    QVERIFY(r.set("HKCU\\Software\\T", QStringLiteral("e"), RegType::ExpandSz, utf16("%a%")));
    QVERIFY(r.set("HKCU\\Software\\T", QStringLiteral("q"), RegType::Qword,
                  QByteArray::fromHex("ff00000000000000")));
    QVERIFY(r.set("HKCU\\Software\\T", QStringLiteral("n"), RegType::None, QByteArray()));
    QVERIFY(r.set("HKCU\\Software\\T", QStringLiteral("b"), RegType::Binary,
                  QByteArray::fromHex("00AB")));
    QVERIFY(r.store->createKey(key("HKCU\\Software\\T\\Sub")));

    QCOMPARE(r.exportKeys(key("hkcu\\SOFTWARE\\t")),
             QByteArray("Windows Registry Editor Version 5.00\n"
                        "\n"
                        "[HKEY_CURRENT_USER\\Software\\T]\n"
                        "@=\"first\"\n"
                        "\"a\\\"b\"=\"c:\\\\d\\\"\"\n"
                        "\"b\"=hex:00,ab\n"
                        "\"d\"=dword:0000002a\n"
                        "\"e\"=hex(2):25,00,61,00,25,00,00,00\n"
                        "\"n\"=hex(0):\n"
                        "\"q\"=hex(b):ff,00,00,00,00,00,00,00\n"
                        "\"z\"=\"last\"\n"
                        "\n"
                        "[HKEY_CURRENT_USER\\Software\\T\\Sub]\n"
                        "\n"));
}

void TestRegFile::exportWrapsLongHexLists()
{
    Registry r;
    const QByteArray data(1000, '\x5a');
    for (const QString &name : {QStringLiteral("s"), QString(70, QLatin1Char('x'))})
        QVERIFY(r.set("HKCU\\W", name, RegType::Binary, data));
    const QList<QByteArray> lines = r.exportKeys(key("HKCU\\W")).split('\n');
    int continuations = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines[i].size() <= 80, lines[i]);
        if (lines[i].endsWith('\\')) {
            QVERIFY(lines[i].endsWith(",\\") || lines[i].endsWith("hex:\\"));
            QVERIFY(lines[i + 1].startsWith("  ") && !lines[i + 1].startsWith("   "));
            ++continuations;
        }
    }
    // 1000 bytes take 40 lines or more; past the long name not even one fits.
    QVERIFY(continuations >= 2 * 39);
    Registry back;
    QVERIFY(lines.contains("\"" + QByteArray(70, 'x') + "\"=hex:\\"));
    QVERIFY(back.import(lines.join('\n')));
    QCOMPARE(back.dump(), r.dump());
}

void TestRegFile::exportOfOneKey()
{
    Registry r;
    QVERIFY(r.set("HKLM\\SOFTWARE\\Classes\\.gif", QString(), RegType::Sz, utf16("giffile")));
    QVERIFY(r.set("HKCU\\Software\\Classes\\.GIF", QString(), RegType::Sz, utf16("mine")));
    QVERIFY(r.set("HKCU\\Software\\Classes\\.GIF\\Sub", QString(), RegType::Sz, utf16("s")));
    QVERIFY(r.set("HKCU\\Software\\Other", QStringLiteral("x"), RegType::Sz, utf16("o")));

    // Only the subtree, named as stored, not as asked for.
    const QByteArray sub = r.exportKeys(key("HKCU\\SOFTWARE\\CLASSES"));
    QVERIFY(sub.contains("[HKEY_CURRENT_USER\\Software\\Classes]\n\n"));
    QVERIFY(sub.contains("[HKEY_CURRENT_USER\\Software\\Classes\\.GIF\\Sub]\n"));
    QVERIFY(!sub.contains("Other"));
    QVERIFY(!sub.contains("giffile"));

    // The merged view, named as such, with the per-user value winning.
    const QByteArray merged = r.exportKeys(key("HKCR\\.gif"));
    QCOMPARE(merged, v5 + "[HKEY_CLASSES_ROOT\\.GIF]\n@=\"mine\"\n\n"
                          "[HKEY_CLASSES_ROOT\\.GIF\\Sub]\n@=\"s\"\n\n");

    // Hives are written only when they hold values themselves.
    QVERIFY(!r.exportKeys().contains("[HKEY_CURRENT_USER]"));
    QVERIFY(r.set("HKCU", QStringLiteral("top"), RegType::Sz, utf16("t")));
    QVERIFY(r.exportKeys().contains("\n[HKEY_CURRENT_USER]\n\"top\"=\"t\"\n\n"));
    QCOMPARE(r.exportKeys(key("HKLM")).count("[HKEY_LOCAL_MACHINE"), 3);

    const QString error = exportError(*r.store, key("HKCU\\Software\\Missing"));
    QVERIFY2(error.contains(QStringLiteral("Missing")), qPrintable(error));
}

void TestRegFile::exportRefusesNamesNoLineCanHold()
{
    const struct
    {
        QString key;
        QString value;
    } names[] = {
        {QStringLiteral("two\nlines"), QStringLiteral("v")},
        {QStringLiteral("k"), QStringLiteral("a\rb")},
        {QStringLiteral("carriage\rreturn"), QStringLiteral("v")},
    };
    const RegKeyPath software = key("HKCU\\Software");
    for (const auto &n : names) {
        Registry r;
        // The store takes no such name...
        QVERIFY(!r.store->setValue(software.child(n.key), n.value, RegType::Sz, utf16("x")));
        // ...but a registry written before it refused them may hold one, and
        // the export still refuses to write a file that regedit would misread.
        // The names are put in a copy, which the store opens as a file of its own.
        QVERIFY(r.store->setValue(software.child(QStringLiteral("k")), QStringLiteral("v"),
                                  RegType::Sz, utf16("x")));
        const QString old = r.dir.filePath(QStringLiteral("old.sqlite"));
        QVERIFY(copyRegistryFile(r.store->fileName(), old));
        const QByteArray rename = QStringLiteral("UPDATE keys SET name = '%1', fold = upper('%1') "
                                                 "WHERE name = 'k'; "
                                                 "UPDATE vals SET name = '%2', fold = upper('%2') "
                                                 "WHERE name = 'v';")
                                      .arg(n.key, n.value)
                                      .toUtf8();
        QCOMPARE(runSql(old, rename.constData()), QByteArray());
        QVERIFY(exportError(*RegistryStore::open(old)).contains(QStringLiteral("cannot hold")));
    }
}

// A file as a whole has no limit: what export writes in either encoding
// comes back, however large. One value has: export refuses what import would.
void TestRegFile::filesAtTheSizeLimitRoundTrip_data()
{
    QTest::addColumn<bool>("deep");
    // Every ancestor's [KEY] line repeats the path: 32 Mi characters.
    QTest::newRow("512 levels of 255-character names") << true;
    QTest::newRow("a value of one byte more than a file takes") << false;
}

void TestRegFile::filesAtTheSizeLimitRoundTrip()
{
    QFETCH(bool, deep);

    Registry a;
    const QString file = a.dir.filePath(QStringLiteral("exported.reg"));
    if (deep) {
        RegKeyPath k = key("HKCU");
        for (int level = 0; level < maxKeyDepth; ++level)
            k = k.child(QString(maxKeyNameLength, QLatin1Char(char('a' + level % 26))));
        QVERIFY(a.store->createKey(k));
        Registry b;
        QString error;
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY2(exportRegFile(*a.store, std::nullopt, out, &error, RegFileEncoding::Utf16),
                 qPrintable(error));
        out.close();
        QVERIFY2(importRegFile(*b.store, file, &error), qPrintable(error));
        QVERIFY(QFileInfo(file).size() > 64 * 1024 * 1024);
        QVERIFY(b.store->keyExists(k));
        return;
    }

    // Export says so rather than write what import refuses...
    QVERIFY(a.set("HKCU\\Big", QStringLiteral("v"), RegType::Binary,
                  QByteArray(maxRegValueBytes + 1, '\x5a')));
    QString error = exportError(*a.store);
    QVERIFY2(error.contains(QStringLiteral("HKEY_CURRENT_USER\\Big holds more than 32 MiB")),
             qPrintable(error));
    // ...which it refuses on the value's line, as a string and as hex lines.
    const QByteArray hexLine = QByteArray("5a,").repeated(16) + "\\\n  ";
    for (const QByteArray &value :
         {QByteArray('"' + QByteArray(maxRegValueBytes / 2, 'x') + '"'),
          QByteArray("hex:" + hexLine.repeated(maxRegValueBytes / 16) + "00")}) {
        Registry b;
        QVERIFY(!b.import(v5 + "[HKEY_CURRENT_USER\\Big]\n\"v\"=" + value + "\n", &error));
        QVERIFY2(error.startsWith(QStringLiteral("test.reg:4: the value holds more than 32 MiB")),
                 qPrintable(error));
        QVERIFY(b.dump().size() == 2);
    }
}

void TestRegFile::importsEveryValueSyntax_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data");
    const auto value = [](QTestData &row, const QByteArray &line, const char *name, uint type,
                          const QByteArray &data) {
        row << line << QString::fromUtf8(name) << type << data;
    };

    value(QTest::newRow("string"), "\"s\"=\"text\"", "s", RegType::Sz, utf16("text"));
    value(QTest::newRow("escapes"), R"("a\\\"b"="\"C:\\x\\\"")", "a\\\"b", RegType::Sz,
          utf16("\"C:\\x\\\""));
    value(QTest::newRow("empty string"), "\"s\"=\"\"", "s", RegType::Sz, utf16(QString()));
    value(QTest::newRow("unicode"), "\"\xc3\xa9\"=\"\xf0\x9f\x98\x80\"", "\xc3\xa9", RegType::Sz,
          utf16(QString::fromUtf8("\xf0\x9f\x98\x80")));
    value(QTest::newRow("default"), "@=\"d\"", "", RegType::Sz, utf16("d"));
    value(QTest::newRow("empty name is the default"), "\"\"=\"d\"", "", RegType::Sz, utf16("d"));
    value(QTest::newRow("blanks around ="), "  \"s\" \t=  \"v\"  \r", "s", RegType::Sz, utf16("v"));
    value(QTest::newRow("dword"), "\"d\"=dword:0000002a", "d", RegType::Dword, dword(42));
    value(QTest::newRow("dword one digit"), "\"d\"=dword:7", "d", RegType::Dword, dword(7));
    value(QTest::newRow("dword upper case"), "\"d\"=DWORD:FFFFFFFF", "d", RegType::Dword,
          dword(0xffffffff));
    value(QTest::newRow("binary"), "\"b\"=hex:00,7f,80,FF", "b", RegType::Binary,
          QByteArray::fromHex("007f80ff"));
    value(QTest::newRow("binary single digits"), "\"b\"=hex:0, a ,F", "b", RegType::Binary,
          QByteArray::fromHex("000a0f"));
    value(QTest::newRow("empty binary"), "\"b\"=hex:", "b", RegType::Binary, QByteArray());
    value(QTest::newRow("none"), "\"n\"=hex(0):", "n", RegType::None, QByteArray());
    value(QTest::newRow("expand kept as UTF-16"), "\"e\"=hex(2):41,00,00,00", "e",
          RegType::ExpandSz, QByteArray("A\0\0\0", 4));
    value(QTest::newRow("multi"), "\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00", "m",
          RegType::MultiSz, QByteArray("a\0\0\0b\0\0\0\0\0", 10));
    value(QTest::newRow("qword"), "\"q\"=hex(b):01,00,00,00,00,00,00,80", "q", RegType::Qword,
          QByteArray::fromHex("0100000000000080"));
    value(QTest::newRow("any type"), "\"t\"=hex(ffffffff):01", "t", 0xffffffffu, QByteArray("\1"));
    value(QTest::newRow("continued"), "\"b\"=hex:01,02,\\\n    03,04,\\\r\n\t05\r", "b",
          RegType::Binary, QByteArray::fromHex("0102030405"));
    value(QTest::newRow("continued right after the colon"), "\"b\"=hex(3):\\\n  0a", "b",
          RegType::Binary, QByteArray("\n"));
    value(QTest::newRow("a string ending in a backslash does not continue"),
          "\"p\"=\"C:\\\\\"\n\"q\"=\"x\"", "p", RegType::Sz, utf16("C:\\"));
    // Rows with a header of their own: REGEDIT4 widens hex strings, whose
    // bytes are 8-bit text there, to UTF-16, and takes the rest as it is.
    const QByteArray regedit4 = "REGEDIT4\n\n[HKEY_CURRENT_USER\\T]\n";
    value(QTest::newRow("REGEDIT4 expand"), regedit4 + "\"e\"=hex(2):41,e9,00", "e",
          RegType::ExpandSz, QByteArray("A\0\xe9\0\0\0", 6));
    value(QTest::newRow("REGEDIT4 multi"), regedit4 + "\"m\"=hex(7):61,00,62,00,00", "m",
          RegType::MultiSz, QByteArray("a\0\0\0b\0\0\0\0\0", 10));
    value(QTest::newRow("REGEDIT4 binary"), regedit4 + "\"b\"=hex:41,00", "b", RegType::Binary,
          QByteArray("A\0", 2));
    value(QTest::newRow("REGEDIT4 qword"), regedit4 + "\"q\"=hex(b):01,02,03,04,05,06,07,08", "q",
          RegType::Qword, QByteArray::fromHex("0102030405060708"));
    value(QTest::newRow("REGEDIT4 string"), regedit4 + "\"s\"=\"plain\"", "s", RegType::Sz,
          utf16("plain"));
    value(QTest::newRow("REGEDIT4 dword"), regedit4 + "\"d\"=dword:00000001", "d", RegType::Dword,
          dword(1));
}

void TestRegFile::importsEveryValueSyntax()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, name);
    QFETCH(uint, type);
    QFETCH(QByteArray, data);

    Registry r;
    const QByteArray header =
        line.startsWith("REGEDIT4") ? QByteArray() : QByteArray(v5 + "[HKEY_CURRENT_USER\\T]\n");
    QVERIFY(r.import(header + line + "\n"));
    const auto v = r.store->value(key("HKCU\\T"), name);
    QVERIFY(v);
    QCOMPARE(v->name, name);
    QCOMPARE(v->type, quint32(type));
    QCOMPARE(v->data, data);
}

void TestRegFile::importsUtf16AndBoms()
{
    const QString text = QString::fromUtf8("Windows Registry Editor Version 5.00\r\n\r\n"
                                           "; \xe2\x82\xac comment\r\n"
                                           "[HKEY_CURRENT_USER\\\xc3\x84pfel]\r\n"
                                           "@=\"\xe2\x82\xac \xf0\x9f\x98\x80\"\r\n"
                                           "\"b\"=hex:01,\\\r\n  02\r\n");
    // Regedit's UTF-16, and UTF-8 with and without its BOM.
    const auto encoded = [](int form, const QString &t) {
        return form == 0 ? regeditBytes(t)
                         : QByteArray(form == 1 ? "" : "\xef\xbb\xbf") + t.toUtf8();
    };
    // Read a megabyte at a time: a longer comment moves the value lines
    // across the end of the first, a byte or a UTF-16 unit at a time.
    QList<QByteArray> contents;
    for (int form = 0; form < 3; ++form) {
        const qsizetype step = form == 0 ? 2 : 1;
        const qsizetype at = encoded(form, text.left(text.indexOf(QLatin1Char('@')))).size();
        contents.append(encoded(form, text));
        for (qsizetype moved = (1 << 20) - at - 24; moved < (1 << 20) - at; moved += step) {
            QString longer = text;
            longer.replace(QStringLiteral("comment"),
                           QStringLiteral("comment") + QString(moved / step, QLatin1Char(' ')));
            contents.append(encoded(form, longer));
        }
    }
    for (const QByteArray &content : contents) {
        Registry r;
        QVERIFY(r.import(content));
        const RegKeyPath k = key("HKCU");
        QCOMPARE(r.store->subkeyNames(k), QStringList{QString::fromUtf8("\xc3\x84pfel")});
        const RegKeyPath apfel = k.child(QString::fromUtf8("\xc3\x84pfel"));
        QCOMPARE(r.store->value(apfel, QString())->data,
                 utf16(QString::fromUtf8("\xe2\x82\xac \xf0\x9f\x98\x80")));
        QCOMPARE(r.store->value(apfel, QStringLiteral("b"))->data, QByteArray("\1\2"));
    }
}

void TestRegFile::keysExistWithoutValues()
{
    Registry r;
    QVERIFY(r.import(v5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B\\C]\n"
                          "[HKLM\\SOFTWARE\\Mixed]\n"
                          "[hklm\\software\\MIXED]\n"
                          "\"v\"=\"1\"\n"
                          "[HKEY_CLASSES_ROOT\\MIME\\Database\\Content Type\\image/png]\n"));
    QVERIFY(r.store->keyExists(key("HKLM\\SOFTWARE\\A\\B\\C")));
    QVERIFY(r.store->values(key("HKLM\\SOFTWARE\\A\\B\\C")).isEmpty());
    // Another spelling opens the same key and keeps the first one.
    QCOMPARE(
        r.store->subkeyNames(key("HKLM\\SOFTWARE")),
        (QStringList{QStringLiteral("A"), QStringLiteral("Classes"), QStringLiteral("Mixed")}));
    QVERIFY(r.store->value(key("HKLM\\SOFTWARE\\Mixed"), QStringLiteral("v")));
    QCOMPARE(r.store->subkeyNames(key("HKCR\\MIME\\Database\\Content Type")),
             QStringList{QStringLiteral("image/png")});

    // As deep as each hive's keys go.
    QVERIFY(r.import(v5 + nestedKeyLine("HKEY_CURRENT_USER", 512, "u") +
                     nestedKeyLine("HKEY_CLASSES_ROOT", 510, "c")));
    QVERIFY(r.store->keyExists(key(nestedKeyLine("HKCR", 510, "c").mid(1).chopped(2))));
    QVERIFY(r.store->keyExists(key(nestedKeyLine("HKCU", 512, "u").mid(1).chopped(2))));
}

void TestRegFile::deletions()
{
    Registry r;
    QVERIFY(r.import(v5 + "[HKEY_CURRENT_USER\\Keep]\n\"a\"=\"1\"\n\"b\"=\"2\"\n@=\"d\"\n"
                          "[HKEY_CURRENT_USER\\Gone\\Child\\Grandchild]\n\"x\"=dword:1\n"
                          "[HKEY_CURRENT_USER\\Gone]\n@=\"top\"\n"
                          "[HKEY_CURRENT_USER\\Gone2]\n"
                          "[HKEY_CURRENT_USER\\Reborn\\Old]\n"));
    QVERIFY(r.import(v5 + "[-HKEY_CURRENT_USER\\Gone]\n"
                          "[-HKEY_CURRENT_USER\\Never\\There]\n"
                          "[-HKCU\\gone2]\n"
                          "[HKEY_CURRENT_USER\\Keep]\n\"a\"=-\n@=-\n\"missing\"=-\n"
                          "[-HKEY_CURRENT_USER\\Reborn]\n"
                          "[HKEY_CURRENT_USER\\Reborn]\n\"new\"=\"n\"\n"));
    QCOMPARE(r.dump(), (QStringList{
                           QStringLiteral("[HKEY_LOCAL_MACHINE]"),
                           QStringLiteral("[HKEY_CURRENT_USER]"),
                           QStringLiteral("[HKEY_CURRENT_USER\\Keep]"),
                           QStringLiteral("b=1:32000000"),
                           QStringLiteral("[HKEY_CURRENT_USER\\Reborn]"),
                           QStringLiteral("new=1:6e000000"),
                       }));
}

void TestRegFile::classesRootGoesThroughTheMergedView()
{
    Registry r;
    QVERIFY(r.set("HKLM\\SOFTWARE\\Classes\\.png", QString(), RegType::Sz, utf16("pngfile")));
    QVERIFY(r.set("HKLM\\SOFTWARE\\Classes\\.png", QStringLiteral("Content Type"), RegType::Sz,
                  utf16("image/png")));
    QVERIFY(r.set("HKCU\\Software\\Classes\\.png", QString(), RegType::Sz, utf16("mine")));
    QVERIFY(r.set("HKLM\\SOFTWARE\\Classes\\.gif", QString(), RegType::Sz, utf16("giffile")));

    QVERIFY(r.import(v5 + "[HKEY_CLASSES_ROOT\\.png]\n@=\"Talvimor.PNG\"\n"
                          "[HKCR\\.new]\n@=\"newfile\"\n"
                          "[-HKEY_CLASSES_ROOT\\.gif]\n"));
    // An existing per-user key takes the write; the machine copy stays.
    QCOMPARE(r.store->value(key("HKCU\\Software\\Classes\\.png"), QString())->data,
             utf16("Talvimor.PNG"));
    QCOMPARE(r.store->value(key("HKLM\\SOFTWARE\\Classes\\.png"), QString())->data,
             utf16("pngfile"));
    QCOMPARE(r.store->value(key("HKLM\\SOFTWARE\\Classes\\.new"), QString())->data,
             utf16("newfile"));
    QVERIFY(!r.store->keyExists(key("HKLM\\SOFTWARE\\Classes\\.gif")));

    // Removing the per-user copy lets the machine one show through again.
    QVERIFY(r.import(v5 + "[-HKEY_CLASSES_ROOT\\.png]\n"));
    QVERIFY(!r.store->keyExists(key("HKCU\\Software\\Classes\\.png")));
    QCOMPARE(r.store->value(key("HKCR\\.png"), QString())->data, utf16("pngfile"));
}

void TestRegFile::malformedInputWritesNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");

    // Valid lines first: none of them may land when a later one is bad.
    const QByteArray good = v5 + "[HKEY_CURRENT_USER\\Fresh]\n\"v\"=\"1\"\n"
                                 "[-HKEY_CURRENT_USER\\Existing]\n"
                                 "[HKEY_CURRENT_USER\\Existing2]\n\"w\"=-\n";
    const int next = 8;
    // A bad line after them, on the line after them or further below.
    const auto bad = [&](QTestData &row, const QByteArray &tail, const char *message,
                         int below = 0) {
        row << good + tail << next + below << QString::fromUtf8(message);
    };

    QTest::newRow("empty file") << QByteArray() << 1 << "not a registry file";
    QTest::newRow("other header") << QByteArray("Windows Registry Editor Version 4.00\n") << 1
                                  << "not a registry file";
    QTest::newRow("header not first") << QByteArray("\nREGEDIT4\n") << 1 << "not a registry file";
    QTest::newRow("value before a key") << v5 + "; c\n\"a\"=\"b\"\n" << 4 << "before any [KEY]";
    bad(QTest::newRow("value under a deleted key"), "[-HKEY_CURRENT_USER\\X]\n\"a\"=\"b\"\n",
        "deleted key", 1);
    bad(QTest::newRow("unknown hive"), "[HKEY_USERS\\S-1-5-18]\n", "unknown hive \"HKEY_USERS\"");
    bad(QTest::newRow("no hive"), "[Software\\Classes]\n", "unknown hive");
    bad(QTest::newRow("empty key"), "[]\n", "empty key name");
    // Names no export could write back as lines of their own.
    bad(QTest::newRow("key with CR"), "[HKEY_CURRENT_USER\\a\rb]\n", "line break");
    bad(QTest::newRow("key with NUL"), QByteArray("[HKEY_CURRENT_USER\\a\0]\n", 23),
        "line break or NUL");
    bad(QTest::newRow("value with CR"), "\"\r\"=\"\"\n", "value name cannot");
    bad(QTest::newRow("value with NUL"), QByteArray("\"\0\"=\"\"\n", 7), "value name cannot");
    // Taken for a byte-order mark, it would swap the rest of the name.
    bad(QTest::newRow("key starting with U+FFFE"),
        "[HKEY_CURRENT_USER\\\xef\xbf\xbe"
        "ab]\n",
        "U+FFFE");
    // Windows refuses longer names; a shortened one would name another.
    bad(QTest::newRow("key name of 256"),
        "[HKEY_CURRENT_USER\\ok\\" + QByteArray(256, 'k') + "\\below]\n",
        "key name is longer than 255 characters");
    bad(QTest::newRow("value name of 16,384"),
        "[HKEY_CURRENT_USER\\ok]\n\"" + QByteArray(16384, 'v') + "\"=\"\"\n",
        "value name is longer than 16383 characters", 1);
    bad(QTest::newRow("deleting a hive"), "[-HKEY_CLASSES_ROOT]\n", "whole hive");
    bad(QTest::newRow("no closing bracket"), "[HKEY_CURRENT_USER\\A\n", "no closing ]");
    bad(QTest::newRow("text after the key"), "[HKEY_CURRENT_USER\\A] ; no\n", "no closing ]");
    bad(QTest::newRow("stray text"), "HKEY_CURRENT_USER\\A\n", "expected [KEY]");
    bad(QTest::newRow("unclosed name"), "\"abc\n", "no closing \"");
    bad(QTest::newRow("unclosed string"), "\"a\"=\"b\n", "no closing \"");
    bad(QTest::newRow("string ends in an escape"), "\"a\"=\"b\\\"\n", "no closing \"");
    bad(QTest::newRow("unknown escape"), "\"a\"=\"line\\nbreak\"\n", "unknown escape \\n");
    bad(QTest::newRow("no ="), "\"a\" \"b\"\n", "expected =");
    bad(QTest::newRow("text after the string"), "\"a\"=\"b\" x\n", "after the string");
    bad(QTest::newRow("unknown data"), "\"a\"=str:x\n", "unknown value data");
    bad(QTest::newRow("bare word"), "\"a\"=b\n", "unknown value data");
    bad(QTest::newRow("dword too long"), "\"a\"=dword:000000001\n", "dword:");
    bad(QTest::newRow("dword empty"), "\"a\"=dword:\n", "dword:");
    bad(QTest::newRow("dword not hex"), "\"a\"=dword:12g4\n", "dword:");
    bad(QTest::newRow("dword negative"), "\"a\"=dword:-1\n", "dword:");
    bad(QTest::newRow("bad byte"), "\"a\"=hex:01,zz\n", "found \"zz\"");
    bad(QTest::newRow("three digits"), "\"a\"=hex:123\n", "found \"123\"");
    bad(QTest::newRow("missing comma"), "\"a\"=hex:01 02\n", "found \"01 02\"");
    bad(QTest::newRow("trailing comma"), "\"a\"=hex:01,\n", "ends in a ,");
    bad(QTest::newRow("empty byte"), "\"a\"=hex:01,,02\n", "found \"\"");
    bad(QTest::newRow("bad type"), "\"a\"=hex(xyz):01\n", "hex(N):");
    bad(QTest::newRow("type too long"), "\"a\"=hex(100000000):01\n", "hex(N):");
    bad(QTest::newRow("unclosed type"), "\"a\"=hex(2:01\n", "hex(N):");
    bad(QTest::newRow("no colon"), "\"a\"=hex(2)01\n", "expected :");
    bad(QTest::newRow("continues past the end"), "\"a\"=hex:01,\\\n  02,\\\n", "past the end");
    bad(QTest::newRow("bad byte on a continuation line"), "\"a\"=hex:01,\\\n  02,\\\n  0x\n",
        "found \"0x\"", 2);
    bad(QTest::newRow("invalid UTF-8"), "\"a\"=\"\xc3\x28\"\n", "UTF-8");
    bad(QTest::newRow("overlong UTF-8"), "\"a\"=\"\xc0\xaf\"\n", "UTF-8");
    bad(QTest::newRow("UTF-8 surrogate"), "\"a\"=\"\xed\xa0\x80\"\n", "UTF-8");
    bad(QTest::newRow("truncated UTF-8"), "\"a\"=\"\xe2\x82", "UTF-8");
    // After a header, since the lines before are read first.
    QTest::newRow("UTF-16 half a character")
        << regeditBytes(QString::fromLatin1(v5)) + "x" << 3 << "half a character";
    QTest::newRow("UTF-16 lone surrogate")
        << regeditBytes(QString::fromLatin1(v5 + "\n")) + QByteArray("\x00\xdc", 2) << 4
        << "UTF-16";
    QTest::newRow("UTF-16 big-endian") << QByteArray("\xfe\xff\0W", 4) << 1 << "big-endian";
    // Only the first U+FEFF marks the byte order; the second is text.
    QTest::newRow("UTF-8 with two byte-order marks")
        << "\xef\xbb\xbf\xef\xbb\xbf" + good << 1 << "two byte-order marks";
    QTest::newRow("UTF-16 with two byte-order marks")
        << regeditBytes(QChar(0xfeff) + QString::fromLatin1(good)) << 1 << "two byte-order marks";
    // Windows nests keys at most 512 levels deep, and HKEY_CLASSES_ROOT's
    // lie two levels down in a hive, under Software\Classes.
    bad(QTest::newRow("513 levels"), nestedKeyLine("HKEY_CURRENT_USER", 513), "at most 512 levels");
    bad(QTest::newRow("511 levels of HKEY_CLASSES_ROOT"), nestedKeyLine("HKEY_CLASSES_ROOT", 511),
        "at most 510 levels");
    bad(QTest::newRow("512 levels of HKCR, deleted"), "[-" + nestedKeyLine("HKCR", 512).mid(1),
        "at most 510 levels");
}

void TestRegFile::malformedInputWritesNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QFETCH(QString, message);

    Registry r;
    QVERIFY(r.import(v5 + "[HKEY_CURRENT_USER\\Existing\\Sub]\n\"x\"=\"1\"\n"
                          "[HKEY_CURRENT_USER\\Existing2]\n\"w\"=hex:01\n"));
    const QByteArray before = r.exportKeys();

    QString error;
    QVERIFY(!r.import(content, &error));
    const QString prefix = QStringLiteral("test.reg:%1: ").arg(line);
    QVERIFY2(error.startsWith(prefix), qPrintable(error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(r.exportKeys(), before);
}

void TestRegFile::unreadableOrReadOnly()
{
    Registry r;
    QString error;
    const QString missing = r.dir.filePath(QStringLiteral("missing.reg"));
    QVERIFY(!importRegFile(*r.store, missing, &error));
    QVERIFY2(error.startsWith(missing + QStringLiteral(": cannot be read")), qPrintable(error));

    // Read from disk, messages name the file as it was given.
    const QString bad = r.dir.filePath(QStringLiteral("bad.reg"));
    writeFile(bad, v5 + "[HKEY_CURRENT_USER\\A]\n\"x\"=dword:xyz\n");
    QVERIFY(!importRegFile(*r.store, bad, &error));
    QCOMPARE(error.left(error.indexOf(QStringLiteral(": "))), bad + QStringLiteral(":4"));

    // A registry that cannot be written takes nothing and says so.
    const QString readOnly = r.dir.filePath(QStringLiteral("ro.sqlite"));
    QVERIFY(r.import(v5 + "[HKEY_CURRENT_USER\\Kept]\n"));
    QVERIFY(copyRegistryFile(r.store->fileName(), readOnly));
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner));
    auto store = RegistryStore::open(readOnly);
    QVERIFY(store->isUsable() && !store->isWritable());
    QVERIFY(
        !importRegFile(*store, v5 + "[HKEY_CURRENT_USER\\A]\n", QStringLiteral("x.reg"), &error));
    QVERIFY2(error.startsWith(QStringLiteral("x.reg: ")), qPrintable(error));
    QVERIFY(store->keyExists(key("HKCU\\Kept")));
    QVERIFY(!store->keyExists(key("HKCU\\A")));
}

void TestRegFile::defaultRegistryDescribesTheViewer()
{
    const QByteArray content = readFile(QStringLiteral(PELLVARIN_DEFAULT_REGISTRY));
    Registry r;
    QVERIFY(r.import(content));

    const RegKeyPath classes = key("HKLM\\SOFTWARE\\Classes");
    QStringList progIds;
    for (const QString &name : r.store->subkeyNames(classes)) {
        if (name.startsWith(QStringLiteral("Talvimor.")))
            progIds.append(name);
    }
    QCOMPARE(progIds.size(), 37);

    // Generated from FreeImage's own table, and still matching it.
    FreeImage_Initialise(FALSE);
    QCOMPARE(FreeImage_GetFIFCount(), 37);
    const RegKeyPath associations =
        key("HKLM\\SOFTWARE\\Talvimor\\Image Viewer\\Capabilities\\FileAssociations");
    std::set<QString> claimed;
    for (int fif = 0; fif < FreeImage_GetFIFCount(); ++fif) {
        const auto format = FREE_IMAGE_FORMAT(fif);
        const QString progId =
            QStringLiteral("Talvimor.") + QString::fromLatin1(FreeImage_GetFormatFromFIF(format));
        const RegKeyPath k = classes.child(progId);
        QVERIFY2(progIds.contains(progId), qPrintable(progId));
        QCOMPARE(decodeRegSz(r.store->value(k, QString())->data),
                 QString::fromLatin1(FreeImage_GetFIFDescription(format)));
        QVERIFY(r.store->value(k.child(QStringLiteral("DefaultIcon")), QString()));
        const auto command = r.store->value(
            k.child(QStringLiteral("shell")).child(QStringLiteral("open")).child("command"),
            QString());
        QVERIFY(command);
        QCOMPARE(decodeRegSz(command->data),
                 QStringLiteral("\"C:\\Program Files\\Talvimor\\Talvimor.exe\" \"%1\""));
        for (const QString &ext :
             QString::fromLatin1(FreeImage_GetFIFExtensionList(format)).split(QLatin1Char(','))) {
            const auto owner = r.store->value(associations, QLatin1Char('.') + ext);
            QVERIFY2(owner, qPrintable(ext));
            // A shared extension belongs to the first format that lists it.
            if (claimed.insert(ext).second)
                QCOMPARE(decodeRegSz(owner->data), progId);
        }
    }
    FreeImage_DeInitialise();
    QCOMPARE(r.store->valueNames(associations).size(), qsizetype(claimed.size()));

    QCOMPARE(decodeRegSz(r.store
                             ->value(key("HKLM\\SOFTWARE\\RegisteredApplications"),
                                     QStringLiteral("Talvimor Image Viewer"))
                             ->data),
             QStringLiteral("Software\\Talvimor\\Image Viewer\\Capabilities"));
    const RegKeyPath nt = key("HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    QCOMPARE(decodeRegSz(r.store->value(nt, QStringLiteral("CurrentVersion"))->data),
             QStringLiteral("5.1"));
    // Other programs own the common extensions through the merged view.
    QCOMPARE(decodeRegSz(r.store->value(key("HKCR\\.jpg"), QString())->data),
             QStringLiteral("jpegfile"));
    QVERIFY(!r.store->subkeyNames(key("HKCR\\jpegfile")).isEmpty());
    QVERIFY(r.store->keyExists(key("HKCU\\Software\\Classes")));
    QVERIFY(r.store->keyExists(
        key("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts")));

    // The file is kept in the exporter's own order: regenerating it gives a
    // diff of what changed only. Comments are the one thing export drops.
    QCOMPARE(r.exportKeys(), withoutComments(content));
}

QTEST_GUILESS_MAIN(TestRegFile)
#include "tst_regfile.moc"
