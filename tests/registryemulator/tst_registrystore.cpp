// The SQLite registry itself, below any settings object. In order: names
// and values as Windows keeps them (case, the default value, listings,
// removal, the merged classes view, every value type); transactions; the
// file refused when it is broken, open to others, damaged, busy or
// read-only; two processes and snapshots; the registry's name limits; large
// values; hives it does not keep.
#include "messagecapture.h"
#include "registrydump.h"
#include "registryfile.h"
#include "registrysettings.h"
#include "registrystore.h"
#include "registrytrouble.h"
#include "shellrecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <list>

#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// What a write could change of the registry at path, as hashes: the file
// and its journal, each empty while it does not exist.
QByteArrayList onDisk(const QString &path)
{
    QByteArrayList hashes;
    for (const char *suffix : {"", "-journal"}) {
        QFile f(path + QLatin1String(suffix));
        hashes.append(f.open(QIODevice::ReadOnly)
                          ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                          : QByteArray());
    }
    return hashes;
}

RegKeyPath key(const char *path)
{
    return *parseKeyPath(QString::fromLatin1(path));
}

// A child process that writes its own value into one key many times.
int runWriter(const QString &tag)
{
    for (int i = 0; i < 200; ++i) {
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Race"));
        s.setValue(tag + QString::number(i), tag);
        if (s.status() != QSettings::NoError)
            return 1;
    }
    return 0;
}

// This test's own program as other processes, one per tag and all at once,
// that write as runWriter() does; impatient, they give up at once on a busy
// file. Whether every one of them ran to its end and wrote all it meant to.
bool writersSucceed(const QStringList &tags, bool impatient = false)
{
    std::list<QProcess> writers;
    for (const QString &tag : tags) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PELLVARIN_WRITER"), tag);
        if (impatient)
            env.insert(QStringLiteral("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS"), QStringLiteral("0"));
        QProcess &writer = writers.emplace_back();
        writer.setProcessEnvironment(env);
        writer.start(QCoreApplication::applicationFilePath(), QStringList());
    }
    return std::all_of(writers.begin(), writers.end(), [](QProcess &writer) {
        return writer.waitForFinished(120000) && writer.exitStatus() == QProcess::NormalExit &&
               writer.exitCode() == 0;
    });
}

QString units(std::initializer_list<char16_t> list)
{
    QString s;
    for (char16_t u : list)
        s.append(QChar(u));
    return s;
}

// A healthy registry with enough keys to span several pages.
bool fillSeveralPages()
{
    RegistryTransaction tx;
    RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software"));
    for (int i = 0; i < 400; ++i)
        s.setValue(QStringLiteral("k%1/v").arg(i), QString(40, QLatin1Char('x')));
    return tx.commit();
}

// Whether text is one line that says each of said and none of unsaid.
bool saysInOneLine(const QString &text, const QStringList &said, const QStringList &unsaid = {})
{
    const auto says = [&](const QString &words) { return text.contains(words); };
    return !text.contains(QLatin1Char('\n')) && std::all_of(said.begin(), said.end(), says) &&
           std::none_of(unsaid.begin(), unsaid.end(), says);
}

// The registry at path, used as a settings object would use it, must be
// refused as a whole: nothing read of what it holds, the write failing,
// nothing changed on disk, not even where a link leads, and one warning, in
// one line, that says each of said and none of unsaid. A file the store
// holds open is said to be refused once, however often it is used again:
// then the classes view and a transaction are refused too, without a word.
void refusedInOneLine(const QString &path, const QStringList &said, const QStringList &unsaid = {},
                      bool usedAgain = true)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    QVERIFY2(!real.isEmpty(), qPrintable(path));
    const QByteArrayList before = onDisk(real);
    qputenv("PELLVARIN_REGISTRY", QFile::encodeName(path));
    MessageCapture capture(QtWarningMsg);
    {
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software"));
        QVERIFY(!s.contains(QStringLiteral("k1/v")) && s.childGroups().isEmpty());
        s.setValue(QStringLiteral("new"), QStringLiteral("value"));
        QCOMPARE(s.status(), QSettings::AccessError);
        if (usedAgain) {
            RegistrySettings again(QStringLiteral("HKEY_CLASSES_ROOT"));
            again.remove(QStringLiteral("anything"));
            QCOMPARE(again.status(), QSettings::AccessError);
            QVERIFY(!RegistryTransaction().commit());
        }
    }
    capture.stop();
    const QStringList warnings = capture.texts();
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(saysInOneLine(warnings.first(), said, unsaid), qPrintable(warnings.first()));
    QCOMPARE(onDisk(real), before);
}

} // namespace

class TestRegistryStore : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    int counter = 0;
    QString file;

private Q_SLOTS:
    void init()
    {
        QVERIFY(dir.isValid());
        file = dir.filePath(QStringLiteral("reg%1.sqlite").arg(++counter));
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(file));
    }

    void namesIgnoreCaseButKeepIt()
    {
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software"));
        s.setValue(QStringLiteral("MixedCase/Name"), QStringLiteral("v"));
        QCOMPARE(s.value(QStringLiteral("MIXEDCASE/name")).toString(), QStringLiteral("v"));
        QCOMPARE(s.childGroups(), QStringList{QStringLiteral("MixedCase")});
        s.setValue(QStringLiteral("mixedcase/NAME"), QStringLiteral("w"));
        s.beginGroup(QStringLiteral("MIXEDcase"));
        // Overwriting through another spelling keeps one value, and its name.
        QCOMPARE(s.childKeys(), QStringList{QStringLiteral("Name")});
        QCOMPARE(s.value(QStringLiteral("Name")).toString(), QStringLiteral("w"));
        s.endGroup();

        // Folding is per UTF-16 unit: no full-string mapping of sharp s to SS.
        s.setValue(QString::fromUtf8("stra\u00dfe/x"), QStringLiteral("1"));
        s.setValue(QStringLiteral("STRASSE/x"), QStringLiteral("2"));
        s.setValue(QString::fromUtf8("\u00e9t\u00e9/x"), QStringLiteral("3"));
        QCOMPARE(s.value(QString::fromUtf8("\u00c9T\u00c9/x")).toString(), QStringLiteral("3"));
        QCOMPARE(s.value(QString::fromUtf8("STRA\u00dfE/x")).toString(), QStringLiteral("1"));
        QCOMPARE(s.childGroups().size(), 4);
        QCOMPARE(s.status(), QSettings::NoError);
    }

    // Stored folds find stored names, so the fold is the same in every build
    // and never follows the toolkit's Unicode: letters that gained a case
    // after Unicode 13 keep none, those that gained one before have it, and
    // each UTF-16 unit folds alone, one unit to one.
    void foldIsFrozen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folded");
        QTest::newRow("ASCII") << QStringLiteral("azAZ09_ -.{}~`@")
                               << QStringLiteral("AZAZ09_ -.{}~`@");
        QTest::newRow("Latin-1") << units({0xE0, 0xE9, 0xFE, 0xFF, 0xB5, 0xDF, 0xD7, 0xF7})
                                 << units({0xC0, 0xC9, 0xDE, 0x178, 0x39C, 0xDF, 0xD7, 0xF7});
        QTest::newRow("Greek") << units({0x3B1, 0x3C9, 0x3C2, 0x390, 0x1FB3, 0x345})
                               << units({0x391, 0x3A9, 0x3A3, 0x390, 0x1FB3, 0x399});
        QTest::newRow("Cyrillic") << units({0x436, 0x451, 0x45F, 0x1C80, 0xA641})
                                  << units({0x416, 0x401, 0x40F, 0x412, 0xA640});
        // Case that came with Unicode 11 to 13: Georgian Mtavruli, Latin
        // letters of 13.
        QTest::newRow("cased before 14")
            << units({0x10D0, 0xA7C8, 0xA7F6, 0xAB53}) << units({0x1C90, 0xA7C7, 0xA7F5, 0xA7B3});
        // Glagolitic caudate chi and the Latin letters that Unicode 14 gave
        // a case: the Qt 6 build's toUpper folds the small ones.
        QTest::newRow("cased from 14 on") << units({0x2C5F, 0xA7C1, 0xA7D1, 0xA7D7, 0xA7D9})
                                          << units({0x2C5F, 0xA7C1, 0xA7D1, 0xA7D7, 0xA7D9});
        QTest::newRow("capital sharp s") << units({0x1E9E, 0x149}) << units({0x1E9E, 0x149});
        // Deseret and Vithkuqi small letters, whose capitals lie beyond the
        // BMP, and halves of a pair on their own.
        QTest::newRow("surrogates")
            << units({0xD801, 0xDC28, 0xD801, 0xDD97, 0x61, 0xD800, 0xDFFF})
            << units({0xD801, 0xDC28, 0xD801, 0xDD97, 0x41, 0xD800, 0xDFFF});
        QTest::newRow("ends of the BMP")
            << units({0xFF41, 0xFF5A, 0xFFFF, 0x0}) << units({0xFF21, 0xFF3A, 0xFFFF, 0x0});
    }

    void foldIsFrozen()
    {
        QFETCH(QString, name);
        QFETCH(QString, folded);
        QCOMPARE(foldName(name), folded);
        QCOMPARE(foldName(folded), folded);
    }

    // A file of version 1 holds the folds of the build that wrote it; here
    // those of the Qt 6 build, whose toUpper knows Unicode 14. Opened for
    // writing, it gets the frozen folds once, copies the old fault made are
    // left alone, and what it held is found; read-only, it is read as it is.
    void versionOneFileIsBroughtUpToDate()
    {
        RegistrySettings(QStringLiteral("HKEY_CURRENT_USER\\Software"))
            .setValue(QStringLiteral("plain"), QStringLiteral("p"));
        const QString old = dir.filePath(QStringLiteral("version1-%1.sqlite").arg(counter));
        QVERIFY(copyRegistryFile(file, old));
        // ⱟ-key and the value ꟁ as the Qt 6 build folded them, and the same
        // key twice as that build and the Qt 5.15 build folded it; and a name
        // with U+FFFF, which the fold must read as it is written.
        const QByteArray seeded =
            runSql(old, "PRAGMA user_version = 1;"
                        "INSERT INTO keys(parent, name, fold) SELECT id, char(0x2C5F) || '-key', "
                        "char(0x2C2F) || '-KEY' FROM keys WHERE parent = 2 AND fold = 'SOFTWARE';"
                        "INSERT INTO vals(key, name, fold, type, data) SELECT id, char(0xA7C1), "
                        "char(0xA7C0), 1, X'31000000' FROM keys WHERE fold = 'SOFTWARE';"
                        "INSERT INTO vals(key, name, fold, type, data) VALUES (1, "
                        "'n' || char(0xFFFF), 'N' || char(0xFFFF), 1, X'32000000');"
                        "INSERT INTO keys(parent, name, fold) SELECT id, 'dup' || char(0x2C5F), "
                        "'DUP' || char(0x2C2F) FROM keys WHERE fold = 'SOFTWARE';"
                        "INSERT INTO keys(parent, name, fold) SELECT id, 'dup' || char(0x2C5F), "
                        "'DUP' || char(0x2C5F) FROM keys WHERE fold = 'SOFTWARE';");
        QVERIFY2(seeded.isEmpty(), seeded.constData());
        QCOMPARE(runSql(old, "SELECT count(*) FROM keys"), QByteArray("6"));
        const QString readOnly = old + QStringLiteral(".ro");
        QVERIFY(QFile::copy(old, readOnly));
        QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner));
        const QByteArrayList readOnlyBefore = onDisk(readOnly);

        const RegKeyPath software = key("HKCU\\Software");
        const QString chi = units({0x2C5F});
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(old));
        // Another program's write, under way, holds it up: busy, never
        // condemned, and brought up to date at the next operation once the
        // write is done.
        qputenv("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS", "100");
        HeldRegistry writer(old, HeldRegistry::Writing);
        QVERIFY2(writer.isHeld(), writer.whyNot());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is locked")));
        auto store = RegistryStore::openDefault();
        const bool usableWhileWritten = store->isUsable();
        const RegistryStore::Problem problemWhileWritten = store->problem();
        writer.release();
        qunsetenv("PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS");
        QVERIFY(!usableWhileWritten);
        QCOMPARE(problemWhileWritten, RegistryStore::Problem::Busy);
        QVERIFY(store->keyExists(software.child(chi + QStringLiteral("-key"))));
        QVERIFY(store->isUsable());
        QVERIFY(store->keyExists(software.child(chi + QStringLiteral("-KEY"))));
        QVERIFY(!store->keyExists(software.child(units({0x2C2F}) + QStringLiteral("-key"))));
        const auto value = store->value(software, units({0xA7C1}));
        QVERIFY(value);
        QCOMPARE(decodeRegSz(value->data), QStringLiteral("1"));
        QVERIFY(store->value(key("HKLM"), units({0x6E, 0xFFFF})));
        QVERIFY(store->keyExists(software.child(QStringLiteral("DUP") + chi)));
        QCOMPARE(runSql(old, "SELECT group_concat(hex(fold), ' ') FROM (SELECT fold FROM keys "
                             "WHERE name LIKE 'dup%' ORDER BY fold)"),
                 QByteArray("445550E2B0AF 445550E2B19F"));
        // Found, it is one key again: set, get and delete reach it.
        QVERIFY(store->setValue(software.child(chi + QStringLiteral("-key")), QStringLiteral("v"),
                                RegType::Sz, encodeRegSz(QStringLiteral("x"))));
        QCOMPARE(runSql(old, "SELECT count(*) FROM keys"), QByteArray("6"));
        QVERIFY(store->removeKey(software.child(chi + QStringLiteral("-KEY"))));
        QVERIFY(!store->keyExists(software.child(chi + QStringLiteral("-key"))));
        QCOMPARE(store->subkeyNames(software), (QStringList{QStringLiteral("dup") + chi}));

        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(readOnly));
        auto unchanged = RegistryStore::openDefault();
        QVERIFY(unchanged->isUsable());
        QCOMPARE(decodeRegSz(unchanged->value(software, QStringLiteral("PLAIN"))->data),
                 QStringLiteral("p"));
        QVERIFY(unchanged->keyExists(software.child(QStringLiteral("DUP") + chi)));
        QCOMPARE(onDisk(readOnly), readOnlyBefore);
        QCOMPARE(runSql(readOnly, "PRAGMA user_version"), QByteArray("1"));
        // Brought up to date once, and a new file starts there.
        QCOMPARE(runSql(old, "PRAGMA user_version"), QByteArray("2"));
        QCOMPARE(runSql(file, "PRAGMA user_version"), QByteArray("2"));
    }

    void defaultValueAndSeparators()
    {
        RegistrySettings s(QStringLiteral("HKCU/Software/Classes"));
        s.beginGroup(QStringLiteral(".png"));
        s.setValue(QStringLiteral("Default"), QStringLiteral("pngfile"));
        QVERIFY(s.contains(QStringLiteral("Default")));
        QVERIFY(s.contains(QStringLiteral(".")));
        // Only the exact spelling names the default value.
        s.setValue(QStringLiteral("default"), QStringLiteral("named"));
        // "/" separates keys; a "\\" is part of the name, a "/" to the
        // registry, as QSettings on Windows writes it.
        s.setValue(QStringLiteral("b\\c"), QStringLiteral("flat"));
        s.setValue(QStringLiteral("d/e"), QStringLiteral("deep"));
        QVERIFY(RegistryStore::openDefault()
                    ->valueNames(*parseKeyPath(QStringLiteral("HKCU\\Software\\Classes\\.png")))
                    .contains(QStringLiteral("b/c")));
        s.endGroup();

        RegistrySettings other(QStringLiteral("\\HKEY_CURRENT_USER\\SOFTWARE\\classes\\.PNG"));
        QCOMPARE(other.value(QStringLiteral("B\\C")).toString(), QStringLiteral("flat"));
        QVERIFY(!other.contains(QStringLiteral("B/C")));
        QCOMPARE(other.value(QStringLiteral("D/E")).toString(), QStringLiteral("deep"));
        QCOMPARE(other.value(QStringLiteral("Default")).toString(), QStringLiteral("pngfile"));
        QVERIFY(!other.value(QStringLiteral("missing")).isValid());
    }

    void listingsAreSortedAndEmptyKeysExist()
    {
        auto store = RegistryStore::openDefault();
        QVERIFY(store->createKey(key("HKCU\\Software\\Empty\\Leaf")));
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software"));
        QCOMPARE(s.childGroups(), QStringList{QStringLiteral("Empty")});
        s.beginGroup(QStringLiteral("Empty"));
        QCOMPARE(s.childGroups(), QStringList{QStringLiteral("Leaf")});
        QVERIFY(s.childKeys().isEmpty());
        s.endGroup();

        for (const char *n : {"b", "B2", "a", "_", "A1", "z"})
            s.setValue(QStringLiteral("Sorted/") + QLatin1String(n), QString());
        s.beginGroup(QStringLiteral("Sorted"));
        // QString order: code units, so upper case before lower case.
        QCOMPARE(s.childKeys(),
                 (QStringList{QStringLiteral("A1"), QStringLiteral("B2"), QStringLiteral("_"),
                              QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("z")}));
    }

    void removeTakesValueAndSubkey()
    {
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\R"));
        s.setValue(QStringLiteral("x"), QStringLiteral("value"));
        s.setValue(QStringLiteral("x/deep/deeper"), QStringLiteral("below"));
        s.setValue(QStringLiteral("keep"), QStringLiteral("k"));
        s.remove(QStringLiteral("X"));
        QVERIFY(!s.contains(QStringLiteral("x")));
        QVERIFY(s.childGroups().isEmpty());
        QCOMPARE(s.childKeys(), QStringList{QStringLiteral("keep")});
        QVERIFY(!RegistryStore::openDefault()->keyExists(key("HKCU\\Software\\R\\x\\deep")));

        s.setValue(QStringLiteral("Default"), QStringLiteral("d"));
        s.remove(QStringLiteral("Default"));
        QVERIFY(!s.contains(QStringLiteral("Default")));
        s.remove(QStringLiteral("never-there"));
        QCOMPARE(s.status(), QSettings::NoError);
    }

    void mergedClassesView()
    {
        auto store = RegistryStore::openDefault();
        auto sz = [&](const char *k, const char *name, const char *v) {
            QVERIFY(store->setValue(key(k), QLatin1String(name), RegType::Sz,
                                    encodeRegSz(QLatin1String(v))));
        };
        sz("HKLM\\SOFTWARE\\Classes\\.jpg", "", "jpegfile");
        sz("HKLM\\SOFTWARE\\Classes\\.jpg", "Content Type", "image/jpeg");
        sz("HKLM\\SOFTWARE\\Classes\\.jpg\\OpenWithProgids", "jpegfile", "");
        sz("HKCU\\Software\\Classes\\.JPG", "", "Talvimor.JPEG");
        sz("HKCU\\Software\\Classes\\.jpg\\OpenWithProgids", "Other", "");
        QVERIFY(store->createKey(key("HKLM\\SOFTWARE\\Classes\\.jpg\\ShellNew")));

        RegistrySettings hkcr(QStringLiteral("HKEY_CLASSES_ROOT"));
        hkcr.beginGroup(QStringLiteral(".jpg"));
        QCOMPARE(hkcr.value(QStringLiteral("Default")).toString(), QStringLiteral("Talvimor.JPEG"));
        QCOMPARE(hkcr.value(QStringLiteral("Content Type")).toString(),
                 QStringLiteral("image/jpeg"));
        QCOMPARE(hkcr.childKeys(),
                 (QStringList{QStringLiteral("."), QStringLiteral("Content Type")}));
        // One name per key whatever the case of each copy; the user's spelling wins.
        QCOMPARE(hkcr.childGroups(),
                 (QStringList{QStringLiteral("OpenWithProgids"), QStringLiteral("ShellNew")}));
        hkcr.beginGroup(QStringLiteral("OpenWithProgids"));
        QCOMPARE(hkcr.childKeys(),
                 (QStringList{QStringLiteral("Other"), QStringLiteral("jpegfile")}));
        hkcr.endGroup();

        // Live: a per-user change shows through at once, and its removal
        // lets the machine value show again.
        RegistrySettings user(QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Classes"));
        user.remove(QStringLiteral(".jpg/Default"));
        QCOMPARE(hkcr.value(QStringLiteral("Default")).toString(), QStringLiteral("jpegfile"));
        hkcr.endGroup();

        // Through the view, a write goes where the key exists per user...
        hkcr.setValue(QStringLiteral(".jpg/OpenWithProgids/ViaView"), QString());
        QVERIFY(store->value(key("HKCU\\Software\\Classes\\.jpg\\OpenWithProgids"),
                             QStringLiteral("ViaView")));
        // ...and to the machine copy otherwise.
        hkcr.setValue(QStringLiteral("machineonly/x"), QStringLiteral("m"));
        QVERIFY(store->value(key("HKLM\\SOFTWARE\\Classes\\machineonly"), QStringLiteral("x")));
        QVERIFY(!store->keyExists(key("HKCU\\Software\\Classes\\machineonly")));
        // Opening a per-user key through the view leaves the machine alone,
        // and the view's root cannot be removed as a whole.
        QVERIFY(store->createKey(key("HKCR\\.jpg\\OpenWithProgids")));
        QVERIFY(store->createKey(key("HKCU\\Software\\Classes\\useronly")));
        QVERIFY(store->createKey(key("HKCR\\useronly")));
        QVERIFY(!store->keyExists(key("HKLM\\SOFTWARE\\Classes\\useronly")));
        QVERIFY(!store->removeKey(key("HKCR")));
        QVERIFY(store->keyExists(key("HKCU\\Software\\Classes\\useronly")));
        QCOMPARE(hkcr.status(), QSettings::NoError);
    }

    void otherValueTypesAreKeptByteExact()
    {
        auto store = RegistryStore::openDefault();
        const RegKeyPath k = key("HKCU\\Software\\Typed");
        const QByteArray dword("\x01\x02\x03\x04", 4);
        const QByteArray binary("\x00\xff\x00\x10\x7f", 5);
        QVERIFY(store->setValue(k, QStringLiteral("dw"), RegType::Dword, dword));
        QVERIFY(store->setValue(k, QStringLiteral("bin"), RegType::Binary, binary));
        QVERIFY(store->setValue(k, QStringLiteral("odd"), 0x1234, binary));

        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Typed"));
        QCOMPARE(s.value(QStringLiteral("dw")).toInt(), 0x04030201);
        s.setValue(QStringLiteral("str"), QStringLiteral("text"));
        s.remove(QStringLiteral("nothing"));
        QCOMPARE(store->value(k, QStringLiteral("dw"))->data, dword);
        QCOMPARE(store->value(k, QStringLiteral("bin"))->data, binary);
        QCOMPARE(store->value(k, QStringLiteral("odd"))->type, 0x1234u);
        QCOMPARE(store->value(k, QStringLiteral("str"))->type, quint32(RegType::Sz));
        QCOMPARE(store->value(k, QStringLiteral("str"))->data, encodeRegSz(QStringLiteral("text")));
    }

    void transactionsAreAllOrNothing()
    {
        auto store = RegistryStore::openDefault();
        {
            RegistryTransaction tx;
            RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tx"));
            s.setValue(QStringLiteral("a"), QStringLiteral("1"));
            QVERIFY(s.contains(QStringLiteral("a"))); // visible inside at once
        }
        QVERIFY(!store->keyExists(key("HKCU\\Software\\Tx")));
        {
            RegistryTransaction tx;
            RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tx"));
            s.setValue(QStringLiteral("a"), QStringLiteral("1"));
            s.setValue(QStringLiteral("b/c"), QStringLiteral("2"));
            QVERIFY(tx.commit());
        }
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tx"));
        QCOMPARE(s.value(QStringLiteral("b/c")).toString(), QStringLiteral("2"));

        // A failed write dooms the whole transaction.
        {
            RegistryTransaction tx;
            RegistrySettings w(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tx"));
            w.setValue(QStringLiteral("lost"), QStringLiteral("x"));
            QVERIFY(!store->removeKey(key("HKCU"))); // a hive cannot go
            // Later writes of a doomed transaction must not land on their own.
            w.remove(QStringLiteral("a"));
            w.setValue(QStringLiteral("after"), QStringLiteral("x"));
            QCOMPARE(w.status(), QSettings::AccessError);
            QVERIFY(!tx.commit());
        }
        QVERIFY(!s.contains(QStringLiteral("lost")));
        QVERIFY(!s.contains(QStringLiteral("after")));
        QVERIFY(s.contains(QStringLiteral("a")));
    }

    void newFileIsOwnerOnly()
    {
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software"));
        s.setValue(QStringLiteral("x"), QStringLiteral("y"));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    void brokenFilesReadEmptyAndStayUntouched_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("not a database") << QByteArray("just some text\n");
        QTest::newRow("corrupt page") << QByteArray("corrupt");
        QTest::newRow("foreign database") << QByteArray("foreign");
    }

    void brokenFilesReadEmptyAndStayUntouched()
    {
        QFETCH(QByteArray, damage);
        QVERIFY(fillSeveralPages());
        const QString broken = dir.filePath(QStringLiteral("broken%1.sqlite").arg(counter));
        if (damage == "corrupt") {
            QVERIFY(copyRegistryFile(file, broken));
            QFile f(broken);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.size() > 4 * 4096);
            f.seek(2 * 4096);
            f.write(QByteArray(4096, '\x5a'));
        } else if (damage == "foreign") {
            QVERIFY(QFile(broken).open(QIODevice::WriteOnly)); // empty: a database to SQLite
            QCOMPARE(runSql(broken, "CREATE TABLE t(x); INSERT INTO t VALUES (1);"), QByteArray());
        } else {
            QFile f(broken);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(damage);
        }
        refusedInOneLine(broken, {broken});
    }

    // Whoever else could write the file, its journal or a folder on its way
    // decides what opens every file type: such a registry is refused, said
    // in one line that names the path and why, and left as it was.
    void registryOthersCouldChangeIsRefused_data()
    {
        // What of the registry is opened to others, with which mode; whom it
        // is given to, another user or a group the owner is not alone in; and
        // the word the refusal blames it with.
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("blamed");
        const QString folder = QStringLiteral("folder"), journal = QStringLiteral("journal"),
                      whole = QStringLiteral("file"), user = QStringLiteral("user"), kept;
        QTest::newRow("folder the group can write")
            << folder << 0775 << QStringLiteral("group") << folder;
        QTest::newRow("sticky folder anyone can write") << folder << 01777 << kept << folder;
        QTest::newRow("journal others can write") << journal << 0666 << kept << journal;
        QTest::newRow("journal of another user") << journal << 0644 << user << journal;
        QTest::newRow("file of another user") << whole << 0644 << user << whole;
        QTest::newRow("file others can write")
            << whole << 0606 << kept << QStringLiteral("can be written by other users");
        QTest::newRow("link into a shared folder")
            << QStringLiteral("linked folder") << 01777 << kept << folder;
    }

    void registryOthersCouldChangeIsRefused()
    {
        QFETCH(QString, part);
        QFETCH(int, mode);
        QFETCH(QString, given);
        QFETCH(QString, blamed);
        if (given == QLatin1String("user") && ::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        QVERIFY(fillSeveralPages());

        const QString registry =
            dir.filePath(QStringLiteral("case%1/registry.sqlite").arg(counter));
        const QString target =
            part == QLatin1String("linked folder")
                ? QFileInfo(registry).path() + QStringLiteral("/shared/registry.sqlite")
                : registry;
        QVERIFY(QDir().mkpath(QFileInfo(target).path()));
        if (target != registry)
            QVERIFY(QFile::link(target, registry));
        QVERIFY(copyRegistryFile(file, target));
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0600), 0);
        const QString journal = target + QStringLiteral("-journal");
        if (part == QLatin1String("journal"))
            QVERIFY(QFile(journal).open(QIODevice::WriteOnly));
        const QString opened = part.endsWith(QLatin1String("folder")) ? QFileInfo(target).path()
                               : part == QLatin1String("journal")     ? journal
                                                                      : target;
        const QByteArray name = QFile::encodeName(opened);
        QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
        if (given == QLatin1String("user")) {
            QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
        } else if (given == QLatin1String("group")) {
            // Not the owner's primary group, which may be a group of its own
            // that nobody else is in: root can give any, others one they are in.
            gid_t shared = 65534;
            if (::geteuid() != 0) {
                gid_t groups[64];
                const int n = ::getgroups(64, groups);
                const auto other = std::find_if(groups, groups + std::max(n, 0),
                                                [](gid_t g) { return g != ::getegid(); });
                if (other == groups + std::max(n, 0))
                    QSKIP("no group but the primary one to share the folder with");
                shared = *other;
            }
            QCOMPARE(::chown(name.constData(), uid_t(-1), shared), 0);
        }
        // A file the store does not trust it does not hold either: each use
        // looks at it afresh, and says so again.
        refusedInOneLine(registry, {QStringLiteral("other users"), blamed, opened}, {}, false);
    }

    void troubleIsOneLineAndNothingWritten_data() { addTroubleRows(); }

    // Reading goes on where the trouble allows, without a word: a damaged
    // index is not paid for by reading. A write is refused, with nothing
    // written, and the store says why in one line that names the file,
    // never condemning a file that is only busy. Once the trouble is gone,
    // the same process writes, and reads what another program wrote.
    void troubleIsOneLineAndNothingWritten()
    {
        QFETCH(int, trouble);
        QFETCH(QString, reason);
        QFETCH(bool, readable);
        QFETCH(bool, passes);
        {
            // Names whose case the index must fold, for damage to matter.
            RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Mixed"));
            for (int i = 0; i < 20; ++i)
                s.setValue(QStringLiteral("Key%1/Value").arg(i), QStringLiteral("x"));
        }
        PELLVARIN_TROUBLED_REGISTRY(troubled, trouble, file);
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(troubled.fileName()));
        const QByteArray before = troubled.contents();

        MessageCapture capture(QtWarningMsg);
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Mixed"));
        const QString read = s.value(QStringLiteral("Key3/Value")).toString();
        const qsizetype warnedOnReading = capture.messages().size();
        s.setValue(QStringLiteral("KEY3/value"), QStringLiteral("y"));
        s.setValue(QStringLiteral("key99/Value"), QStringLiteral("y"));
        capture.stop();
        const QStringList warnings = capture.texts();
        QCOMPARE(read, readable ? QStringLiteral("x") : QString());
        QCOMPARE(warnedOnReading, readable ? 0 : 1);
        QCOMPARE(s.status(), QSettings::AccessError);
        QVERIFY(!s.contains(QStringLiteral("key99/Value")));
        QCOMPARE(troubled.contents(), before);
        // The store's reason, which the tool and the window say; a refusal
        // of the whole file, or a lock, is also logged, once, while a write
        // that the file's state refuses is its caller's to report.
        const QString w = RegistryStore::openDefault()->problemText();
        QStringList unsaid{QStringLiteral("not a database"), QStringLiteral("damaged")};
        unsaid.removeOne(reason);
        QVERIFY2(saysInOneLine(w, {reason, troubled.fileName()}, unsaid), qPrintable(w));
        const bool logs = trouble != int(Trouble::ReadOnly) && trouble != int(Trouble::Full);
        QCOMPARE(warnings.size(), logs ? 1 : 0);
        for (const QString &logged : warnings)
            QVERIFY2(saysInOneLine(logged, {reason}), qPrintable(logged));

        QVERIFY(troubled.end());
        if (!passes)
            return;
        RegistrySettings again(QStringLiteral("HKEY_CURRENT_USER\\Software\\Mixed"));
        again.setValue(QStringLiteral("key99/Value"), QStringLiteral("y"));
        QCOMPARE(again.status(), QSettings::NoError);
        QCOMPARE(runSql(troubled.fileName(),
                        "UPDATE vals SET data = X'6E006F000000' WHERE name = 'Value' AND "
                        "key = (SELECT id FROM keys WHERE name = 'Key3')"),
                 QByteArray());
        QCOMPARE(s.value(QStringLiteral("Key3/Value")).toString(), QStringLiteral("no"));
        QCOMPARE(s.value(QStringLiteral("Key99/VALUE")).toString(), QStringLiteral("y"));
    }

    // A copy taken while a write was under way holds a journal that must be
    // rolled back before the file can be read; read-only, it cannot be.
    // Files from before the write-ahead log, which only a write converts,
    // still have such journals.
    void readOnlyFileWithLeftoverJournalSaysSo()
    {
        QVERIFY(fillSeveralPages());
        const QString crashed = dir.filePath(QStringLiteral("crashed%1.sqlite").arg(counter));
        const QString old = dir.filePath(QStringLiteral("old%1.sqlite").arg(counter));
        QVERIFY(copyRegistryFile(file, old));
        sqlite3 *writer = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(old).constData(), &writer), SQLITE_OK);
        // A cache too small to hold the change spills pages into the file.
        QCOMPARE(sqlite3_exec(writer,
                              "PRAGMA journal_mode = DELETE; PRAGMA cache_size = 2; BEGIN; "
                              "UPDATE vals SET data = randomblob(300)",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        QVERIFY(QFile::copy(old, crashed));
        QVERIFY(
            QFile::copy(old + QStringLiteral("-journal"), crashed + QStringLiteral("-journal")));
        sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(writer);
        QVERIFY(QFile::setPermissions(crashed, QFile::ReadOwner));
        QVERIFY(QFile::setPermissions(crashed + QStringLiteral("-journal"),
                                      QFile::ReadOwner | QFile::WriteOwner));
        refusedInOneLine(crashed, {crashed, QStringLiteral("read-only"), QStringLiteral("journal")},
                         {QStringLiteral("not a database")});
    }

    // Two programs writing at once lose nothing of each other's writes. A
    // thread opening the file after another must leave the first one's
    // hold on the log in place: a program closing after them would fold the
    // log in and delete it while this process still uses it.
    void otherProcessesWritingAtOnceLoseNothingNorDeleteTheLogInUse()
    {
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software"));
        s.setValue(QStringLiteral("seed"), QString()); // the file exists before the race
        QVERIFY(QFile::exists(file + QStringLiteral("-wal")));
        std::thread([] {
            RegistrySettings(QStringLiteral("HKEY_CURRENT_USER\\Software")).childGroups();
        }).join();
        QVERIFY(writersSucceed({QStringLiteral("a"), QStringLiteral("b")}));
        QVERIFY(QFile::exists(file + QStringLiteral("-wal")));
        // Read on through the hold this process kept, and checked whole as a
        // third process would see the file.
        s.beginGroup(QStringLiteral("Race"));
        QCOMPARE(s.childKeys().size(), 400);
        QCOMPARE(s.value(QStringLiteral("a199")).toString(), QStringLiteral("a"));
        QCOMPARE(s.value(QStringLiteral("b0")).toString(), QStringLiteral("b"));
        QCOMPARE(runSql(file, "PRAGMA integrity_check"), QByteArray("ok"));
    }

    // As on Windows, a reader never holds up a writer: another process's
    // save goes through while a snapshot is held, and what is read over
    // many calls is still the one state the snapshot began on, never half
    // of one and half of another. This process cannot write meanwhile.
    void snapshotHoldsOneState()
    {
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Race"));
        s.setValue(QStringLiteral("seed"), QStringLiteral("1"));
        const QStringList seeded{QStringLiteral("seed")};
        {
            const RegistrySnapshot snapshot;
            QCOMPARE(s.childKeys(), seeded);
            QVERIFY(writersSucceed({QStringLiteral("late")}, true));
            QCOMPARE(s.childKeys(), seeded);
            s.setValue(QStringLiteral("mine"), QStringLiteral("x"));
            QCOMPARE(s.status(), QSettings::AccessError);
            QVERIFY(snapshot.isComplete());
        }
        QCOMPARE(s.childKeys().size(), 201);
        QVERIFY(!s.contains(QStringLiteral("mine")));

        // Inside a transaction the snapshot is the transaction's own.
        RegistrySettings t(QStringLiteral("HKEY_CURRENT_USER\\Software\\Race"));
        {
            RegistryTransaction transaction;
            const RegistrySnapshot inner;
            t.setValue(QStringLiteral("mine"), QStringLiteral("x"));
            QCOMPARE(t.value(QStringLiteral("mine")).toString(), QStringLiteral("x"));
            QVERIFY(transaction.commit());
        }
        QCOMPARE(t.status(), QSettings::NoError);
        QCOMPARE(t.value(QStringLiteral("mine")).toString(), QStringLiteral("x"));
    }

    // Windows refuses longer names outright; taking them here would let a
    // test pass that fails there, and a name cut short would alias another.
    void namesUpToTheRegistrysLimitsAndNoFurther()
    {
        auto store = RegistryStore::openDefault();
        const RegKeyPath base = key("HKCU\\Software\\Limits");
        QVERIFY(store->createKey(base));
        const QString longestKey(maxKeyNameLength, QLatin1Char('k'));
        const QString longestValue(maxValueNameLength, QLatin1Char('v'));

        QVERIFY(store->createKey(base.child(longestKey).child(longestKey)));
        QVERIFY(store->setValue(base.child(longestKey), longestValue, RegType::Sz,
                                encodeRegSz(QStringLiteral("fits"))));
        QCOMPARE(store->subkeyNames(base), QStringList{longestKey});
        QCOMPARE(store->valueNames(base.child(longestKey)), QStringList{longestValue});
        QCOMPARE(decodeRegSz(store->value(base.child(longestKey), longestValue)->data),
                 QStringLiteral("fits"));
        // QSettings' spelling reaches the same names, whatever their case.
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Limits"));
        QCOMPARE(s.value(longestKey + QLatin1Char('/') + longestValue.toUpper()).toString(),
                 QStringLiteral("fits"));

        const QString tooLongKey = longestKey + QLatin1Char('k');
        const QString tooLongValue = longestValue + QLatin1Char('v');
        const QStringList before = dumpRegistry(*store);
        QVERIFY(!store->createKey(base.child(tooLongKey)));
        QVERIFY(!store->createKey(base.child(QStringLiteral("fresh")).child(tooLongKey)));
        QVERIFY(!store->setValue(base.child(tooLongKey), QString(), RegType::Sz, {}));
        QVERIFY(!store->setValue(base, tooLongValue, RegType::Sz, encodeRegSz({})));
        s.setValue(QStringLiteral("fresh/") + tooLongKey + QStringLiteral("/x"),
                   QStringLiteral("y"));
        QCOMPARE(s.status(), QSettings::AccessError);
        // Nothing was made on the way, not even the parent that did fit.
        QCOMPARE(dumpRegistry(*store), before);
        QVERIFY(!store->keyExists(base.child(tooLongKey)));
        QVERIFY(!store->value(base, tooLongValue));
        QVERIFY(store->removeKey(base.child(tooLongKey)));
        QVERIFY(store->removeValue(base, tooLongValue));
        QCOMPARE(dumpRegistry(*store), before);
    }

    // A name is only ever one name in one key: separators cannot make a
    // store key reach elsewhere, a NUL cannot cut it short, and quotes or
    // LIKE wildcards mean nothing to the file underneath. Readers of UTF-16
    // take a leading U+FEFF or U+FFFE for a byte-order mark (U+FFFE then
    // swaps a U+5C00 after it into "\\") and a lone surrogate would not
    // survive UTF-8: such names are refused, not aliased. Elsewhere in a name
    // both, and U+FFFF, are characters like any other.
    void namesStayInTheirKey()
    {
        auto store = RegistryStore::openDefault();
        const RegKeyPath base = key("HKCU\\Software\\Names");
        QVERIFY(store->createKey(base.child(QStringLiteral("a"))));
        QVERIFY(store->createKey(base.child(QStringLiteral("abc"))));
        QVERIFY(store->setValue(base, QStringLiteral("a"), RegType::Sz, encodeRegSz({})));
        QVERIFY(store->setValue(base, QStringLiteral("abc"), RegType::Sz, encodeRegSz({})));
        const QStringList seeded = dumpRegistry(*store);

        // A key name cannot hold "\", so no part may; a NUL would end it.
        const QString nul = QStringLiteral("a") + QChar(0) + QStringLiteral("x");
        const QString bom = QChar(0xFEFF) + QStringLiteral("abc");
        const QString swapped = QChar(0xFFFE) + QStringLiteral("abc");
        const QString swappedSeparator = units({0xFFFE, 0x5C00});
        const QString half = QStringLiteral("x") + QChar(0xD800);
        for (const QString &bad :
             {QStringLiteral("..\\..\\Machine"), QStringLiteral("a\\b"), QStringLiteral("\\"), nul,
              QString(), bom, swapped, swappedSeparator, half}) {
            QVERIFY(!store->createKey(base.child(bad)));
            QVERIFY(!store->setValue(base.child(bad), QString(), RegType::Sz, {}));
            QVERIFY(!store->keyExists(base.child(bad)));
        }
        for (const QString &bad : {nul, bom, swapped, units({0xFFFE, 0x0A00}), half}) {
            QVERIFY(!store->setValue(base, bad, RegType::Sz, encodeRegSz(QStringLiteral("cut"))));
            QVERIFY(!store->value(base, bad));
        }
        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Names"));
        QVERIFY(!s.contains(bom));
        s.setValue(bom, QStringLiteral("aliased"));
        QCOMPARE(s.status(), QSettings::AccessError);
        QCOMPARE(dumpRegistry(*store), seeded);

        // Value names may hold "\" on Windows; they stay values of this key.
        // "/" is an ordinary character in key names too, as in "image/png".
        const QStringList valuesOnly{QStringLiteral("..\\..\\x"), QStringLiteral("\\")};
        const QStringList both{
            QStringLiteral("image/png"),    QStringLiteral("tab\there"),
            QStringLiteral("\x01\x1b\x7f"), QStringLiteral("'); DROP TABLE keys; --"),
            QStringLiteral("a%"),           QStringLiteral("a_c"),
            QStringLiteral("\"quoted\""),   units({0x61, 0xFFFE, 0x62, 0xFEFF, 0xFFFF})};
        for (const QString &name : valuesOnly + both)
            QVERIFY2(store->setValue(base, name, RegType::Sz, encodeRegSz(name)), qPrintable(name));
        for (const QString &name : both)
            QVERIFY2(store->createKey(base.child(name).child(QStringLiteral("below"))),
                     qPrintable(name));
        const QStringList plain{QStringLiteral("a"), QStringLiteral("abc")};
        auto sorted = [](QStringList l) {
            std::sort(l.begin(), l.end());
            return l;
        };
        QCOMPARE(store->valueNames(base), sorted(valuesOnly + both + plain));
        QCOMPARE(store->subkeyNames(base), sorted(both + plain));
        for (const QString &name : valuesOnly + both)
            QCOMPARE(decodeRegSz(store->value(base, name)->data), name);
        for (const QString &name : both)
            QCOMPARE(store->subkeyNames(base.child(name)), QStringList{QStringLiteral("below")});
        QCOMPARE(store->subkeyNames(key("HKCU")), QStringList{QStringLiteral("Software")});
        QVERIFY(store->subkeyNames(key("HKLM")).isEmpty());

        // Removing the odd names takes exactly them and leaves a and abc.
        for (const QString &name : valuesOnly + both)
            QVERIFY(store->removeValue(base, name));
        for (const QString &name : both)
            QVERIFY(store->removeKey(base.child(name)));
        QCOMPARE(dumpRegistry(*store), seeded);
        QCOMPARE(ShellRecord(*store).notifications(0).count, 0);
    }

    // The registry advises values under about 1 MB; such a value must still
    // land and come back whole, through the store and through QSettings.
    void megabyteValues()
    {
        auto store = RegistryStore::openDefault();
        const RegKeyPath base = key("HKCU\\Software\\Big");
        QByteArray binary(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = char((quint32(i) * 7919u) >> 3);
        const QString text(1 << 19, QChar(0x263A)); // 1 MiB as UTF-16
        QVERIFY(store->setValue(base, QStringLiteral("bin"), RegType::Binary, binary));
        QVERIFY(store->setValue(base, QStringLiteral("text"), RegType::Sz, encodeRegSz(text)));
        QCOMPARE(store->value(base, QStringLiteral("bin"))->data, binary);
        QCOMPARE(decodeRegSz(store->value(base, QStringLiteral("text"))->data), text);

        RegistrySettings s(QStringLiteral("HKEY_CURRENT_USER\\Software\\Big"));
        // As QSettings on Windows reads binary data: as UTF-16LE text.
        QCOMPARE(s.value(QStringLiteral("bin")).toString(),
                 QString(reinterpret_cast<const QChar *>(binary.constData()), binary.size() / 2));
        s.setValue(QStringLiteral("sub/text"), text + QStringLiteral("!"));
        QCOMPARE(s.status(), QSettings::NoError);
        QCOMPARE(s.value(QStringLiteral("sub/text")).toString(), text + QStringLiteral("!"));
        QCOMPARE(s.childKeys(), (QStringList{QStringLiteral("bin"), QStringLiteral("text")}));
        QCOMPARE(s.childGroups(), QStringList{QStringLiteral("sub")});
    }

    void otherHivesReadEmpty()
    {
        RegistrySettings s(QStringLiteral("HKEY_USERS\\.DEFAULT"));
        QVERIFY(s.childGroups().isEmpty());
        s.setValue(QStringLiteral("x"), QStringLiteral("y"));
        QCOMPARE(s.status(), QSettings::AccessError);
    }
};

int main(int argc, char **argv)
{
    const QString writer = qEnvironmentVariable("PELLVARIN_WRITER");
    if (!writer.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runWriter(writer);
    }
    QCoreApplication app(argc, argv);
    TestRegistryStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registrystore.moc"
