// RegistrySettings' naming rules, on the substitute and on the real registry
// alike: the substitute must answer as QSettings does on Windows.

#include "portableregistry.h"
#include "registrylayout.h"
#include "registrysettings.h"

#include <QtTest>

class TestRegistrySettings : public QObject
{
    Q_OBJECT

    const QString png = userClassesPath + QStringLiteral("\\.png");

private Q_SLOTS:
    void slashSeparatesAndBackslashBelongsToTheName()
    {
        PortableRegistry reg;
        RegistrySettings s(userClassesPath);
        s.beginGroup(QStringLiteral(".png"));
        s.setValue(QStringLiteral("b\\c"), QStringLiteral("flat"));
        s.setValue(QStringLiteral("d/e"), QStringLiteral("deep"));
        QCOMPARE(s.status(), QSettings::NoError);
        QCOMPARE(s.childKeys(), QStringList{QStringLiteral("b\\c")});
        QCOMPARE(s.childGroups(), QStringList{QStringLiteral("d")});
        s.endGroup();

        // The constructor's path is the registry's own: "\" separates there.
        RegistrySettings nested(png + QStringLiteral("\\d"));
        QCOMPARE(nested.value(QStringLiteral("E")).toString(), QStringLiteral("deep"));
        RegistrySettings flat(png);
        QCOMPARE(flat.value(QStringLiteral("B\\C")).toString(), QStringLiteral("flat"));
        QVERIFY(!flat.contains(QStringLiteral("B/C")));
        QVERIFY(!reg.exists(png + QStringLiteral("\\b")));
    }

    void onlyTheExactSpellingsNameTheDefaultValue()
    {
        PortableRegistry reg;
        RegistrySettings s(userClassesPath);
        s.beginGroup(QStringLiteral(".png"));
        QVERIFY(!s.contains(QStringLiteral("Default")));
        s.setValue(QStringLiteral("Default"), QStringLiteral("pngfile"));
        QCOMPARE(s.value(QStringLiteral(".")).toString(), QStringLiteral("pngfile"));
        QVERIFY(!s.contains(QStringLiteral("default")));
        s.setValue(QStringLiteral("default"), QStringLiteral("named"));
        QCOMPARE(s.childKeys(), (QStringList{QStringLiteral("."), QStringLiteral("default")}));
        QCOMPARE(reg.get(png, QString()), QStringLiteral("pngfile"));
    }

    void removeTakesTheValueAndTheKeyOfThatName()
    {
        PortableRegistry reg;
        QVERIFY(reg.set(png, QStringLiteral("x"), QStringLiteral("value")));
        QVERIFY(reg.set(png + QStringLiteral("\\x\\y"), QStringLiteral("z"), QStringLiteral("1")));
        QVERIFY(reg.set(png, QStringLiteral("kept"), QStringLiteral("2")));
        RegistrySettings s(png);
        s.remove(QStringLiteral("X"));
        QCOMPARE(s.status(), QSettings::NoError);
        QCOMPARE(reg.valueNames(png), QStringList{QStringLiteral("kept")});
        QVERIFY(reg.subkeyNames(png).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRegistrySettings)

#include "tst_registrysettings.moc"
