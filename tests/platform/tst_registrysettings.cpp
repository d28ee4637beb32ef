// RegistrySettings' naming rules, on the substitute and on the real registry
// alike: the substitute must answer as QSettings does on Windows.

#include "registrylayout.h"
#include "registrysettings.h"
#include "registrysettings_p.h"
#include "testregistry.h"

#include <QtTest>

namespace {

// The registry itself, but every removal answered with success and nothing
// removed, as Qt's native settings on Windows do when RegDeleteValue fails
// or a key cannot be opened.
class StubbornBackend final : public RegistryBackend
{
public:
    explicit StubbornBackend(const QString &path) : real(createRegistryBackend(path)) {}
    bool contains(const QString &k) const override { return real->contains(k); }
    bool containsGroup(const QString &k) const override { return real->containsGroup(k); }
    QVariant value(const QString &k) const override { return real->value(k); }
    bool setValue(const QString &k, const QString &v) override { return real->setValue(k, v); }
    bool remove(const QString &) override { return true; }
    bool clear() override { return true; }
    QStringList childKeys(const QString &g) const override { return real->childKeys(g); }
    QStringList childGroups(const QString &g) const override { return real->childGroups(g); }

private:
    const std::unique_ptr<RegistryBackend> real;
};

} // namespace

class TestRegistrySettings : public QObject
{
    Q_OBJECT

    const QString png = userClassesPath + QStringLiteral("\\.png");

private Q_SLOTS:
    void separatorsAndTheDefaultValueAreSpelledAsOnWindows()
    {
        TestRegistry reg;
        RegistrySettings s(userClassesPath);
        s.beginGroup(QStringLiteral(".png"));
        // Only the exact spellings name the default value.
        QVERIFY(!s.contains(QStringLiteral("Default")));
        s.setValue(QStringLiteral("Default"), QStringLiteral("pngfile"));
        QCOMPARE(s.value(QStringLiteral(".")).toString(), QStringLiteral("pngfile"));
        QVERIFY(!s.contains(QStringLiteral("default")));
        // "/" separates keys; a "\\" belongs to the name.
        s.setValue(QStringLiteral("b\\c"), QStringLiteral("flat"));
        s.setValue(QStringLiteral("d/e"), QStringLiteral("deep"));
        s.setValue(QStringLiteral("default"), QStringLiteral("named"));
        QCOMPARE(s.status(), QSettings::NoError);
        QCOMPARE(s.childKeys(), (QStringList{QStringLiteral("."), QStringLiteral("b\\c"),
                                             QStringLiteral("default")}));
        QCOMPARE(s.childGroups(), QStringList{QStringLiteral("d")});
        s.endGroup();
        QCOMPARE(reg.get(png, QString()), QStringLiteral("pngfile"));

        // The constructor's path is the registry's own: "\" separates there.
        RegistrySettings nested(png + QStringLiteral("\\d"));
        QCOMPARE(nested.value(QStringLiteral("E")).toString(), QStringLiteral("deep"));
        RegistrySettings flat(png);
        QCOMPARE(flat.value(QStringLiteral("B\\C")).toString(), QStringLiteral("flat"));
        QVERIFY(!flat.contains(QStringLiteral("B/C")));
        QVERIFY(!reg.exists(png + QStringLiteral("\\b")));
    }

    // Each removal is checked afterwards; one that landed must not read as
    // failed, whatever the spelling it was asked in. A name takes the value
    // and the key it names.
    void removalsThatLandLeaveNoError()
    {
        TestRegistry reg;
        QVERIFY(reg.set(png, QString(), QStringLiteral("pngfile")));
        QVERIFY(reg.set(png, QStringLiteral("x"), QStringLiteral("value")));
        QVERIFY(reg.set(png + QStringLiteral("\\x\\y"), QStringLiteral("z"), QStringLiteral("1")));
        QVERIFY(reg.set(png, QStringLiteral("kept"), QStringLiteral("2")));
        QVERIFY(reg.set(png + QStringLiteral("\\OpenWithProgids"), QStringLiteral("Other"), {}));
        QVERIFY(reg.set(png + QStringLiteral("\\Deep\\Er"), QStringLiteral("v"), {}));
        RegistrySettings at(png);
        at.remove(QStringLiteral("X"));
        QCOMPARE(at.status(), QSettings::NoError);
        RegistrySettings s(userClassesPath);
        s.beginGroup(QStringLiteral(".PNG"));
        // A key whose own name holds a "/", which a key name may.
        s.setValue(QStringLiteral("a\\b/v"), QString());
        QCOMPARE(s.childGroups().size(), 3);
        s.remove(QStringLiteral("Default"));
        s.remove(QStringLiteral("openwithprogids/other"));
        s.remove(QStringLiteral("deep/ER"));
        s.remove(QStringLiteral("A\\B"));
        s.remove(QStringLiteral("never there"));
        QCOMPARE(s.status(), QSettings::NoError);
        QCOMPARE(reg.valueNames(png), QStringList{QStringLiteral("kept")});
        QCOMPARE(reg.subkeyNames(png),
                 (QStringList{QStringLiteral("Deep"), QStringLiteral("OpenWithProgids")}));
        // The registry's own fold tells names apart, not the toolkit's: to it
        // the Kelvin sign is no "k", and a key of that name is another.
        QVERIFY(reg.set(png + QStringLiteral("\\k"), QString(), QString()));
        QVERIFY(reg.set(png + QLatin1Char('\\') + QChar(0x212A), QString(), QString()));
        s.remove(QStringLiteral("k"));
        QCOMPARE(s.status(), QSettings::NoError);
        QCOMPARE(reg.subkeyNames(png),
                 (QStringList{QStringLiteral("Deep"), QStringLiteral("OpenWithProgids"),
                              QString(QChar(0x212A))}));
        // An empty name removes the group itself.
        s.remove(QString());
        s.endGroup();
        QCOMPARE(s.status(), QSettings::NoError);
        QVERIFY(!reg.exists(png));
    }

    void valuesOfEveryTypeReadAsQSettingsReadsThem_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QVariant>("expected");
        // REG_NONE 0, REG_BINARY 3, REG_DWORD_BIG_ENDIAN 5, REG_MULTI_SZ 7,
        // REG_QWORD 11; text is UTF-16LE.
        QTest::newRow("binary as text")
            << 3u << QByteArray("a\0b\0", 4) << QVariant(QStringLiteral("ab"));
        QTest::newRow("binary, odd last byte")
            << 3u << QByteArray("a\0b", 3) << QVariant(QStringLiteral("a"));
        QTest::newRow("binary, empty") << 3u << QByteArray() << QVariant(QString());
        QTest::newRow("none as text")
            << 0u << QByteArray("x\0", 2) << QVariant(QStringLiteral("x"));
        QTest::newRow("big-endian dword, unswapped")
            << 5u << QByteArray("\x04\x03\x02\x01", 4) << QVariant(int(0x01020304));
        QTest::newRow("qword") << 11u << QByteArray("\x01\0\0\0\0\0\0\x80", 8)
                               << QVariant(qint64(Q_UINT64_C(0x8000000000000001)));
        QTest::newRow("list up to its first empty string")
            << 7u << QByteArray("a\0\0\0\0\0b\0\0\0\0\0", 12)
            << QVariant(QStringList{QStringLiteral("a")});
    }

    void valuesOfEveryTypeReadAsQSettingsReadsThem()
    {
        QFETCH(uint, type);
        QFETCH(QByteArray, data);
        QFETCH(QVariant, expected);
        TestRegistry reg;
        QVERIFY(reg.setData(png, QStringLiteral("typed"), type, data));
        RegistrySettings s(png);
        QVERIFY(s.contains(QStringLiteral("typed")));
        const QVariant value = s.value(QStringLiteral("typed"));
        QCOMPARE(value.userType(), expected.userType());
        QCOMPARE(value, expected);
    }

    void removalsThatDoNotLandAreReported()
    {
        TestRegistry reg;
        const QString value = QStringLiteral("value"), key = QStringLiteral("key/inner");
        for (const QString &name : {value, QStringLiteral("key"), QString()}) {
            RegistrySettings s(std::make_unique<StubbornBackend>(png));
            s.setValue(value, QStringLiteral("1"));
            s.setValue(key, QStringLiteral("2"));
            QCOMPARE(s.status(), QSettings::NoError);
            s.remove(name);
            QVERIFY2(s.status() == QSettings::AccessError, qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestRegistrySettings)

#include "tst_registrysettings.moc"
