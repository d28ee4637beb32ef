#include "formatcatalogue.h"

#include <QtTest>

#include <FreeImage.h>

namespace {

// The format, description and extension arguments describe the plugin, so it
// needs no callbacks of its own.
void DLL_CALLCONV initWithoutCallbacks(Plugin *, int) {}

// FreeImage keeps the pointers it is given rather than copies, so the strings
// are duplicated and left to live as long as the process. Null stays null.
const char *keep(const QByteArray &text)
{
    return text.isNull() ? nullptr : qstrdup(text.constData());
}

int registerFormat(const QByteArray &name, const QByteArray &extensions,
                   const QByteArray &description = QByteArray())
{
    return int(FreeImage_RegisterLocalPlugin(initWithoutCallbacks, keep(name), keep(description),
                                             keep(extensions)));
}

} // namespace

class TestLocalPlugins : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oddExtensionLists_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("empty parts dropped") << QByteArray(",a,,b,") << QStringList{"a", "b"};
        QTest::newRow("spaces kept") << QByteArray(" a,b ") << QStringList{" a", "b "};
        QTest::newRow("case kept") << QByteArray("JPG,Tif") << QStringList{"JPG", "Tif"};
        QTest::newRow("dot and duplicates kept")
            << QByteArray(".x,x,x") << QStringList{".x", "x", "x"};
        QTest::newRow("latin-1") << QByteArray("\xe9t\xe9")
                                 << QStringList{QStringLiteral("\u00e9t\u00e9")};
        QTest::newRow("only commas") << QByteArray(",,,") << QStringList{};
        QTest::newRow("empty list") << QByteArray("") << QStringList{};
    }

    void oddExtensionLists()
    {
        QFETCH(QByteArray, list);
        QFETCH(QStringList, expected);

        const QStringList allBefore = allExtensions();
        const QStringList filtersBefore = allExtensionFilters();
        // Named after the row, so that no two formats in the table share a name.
        const int fif = registerFormat("PV " + QByteArray(QTest::currentDataTag()), list);
        QVERIFY(fif >= 0);

        QCOMPARE(extensionListString(fif), QString::fromLatin1(list));
        QCOMPARE(extensionsOfFormat(fif), expected);
        // A new format goes to the end of the table, so it adds exactly its own
        // extensions, and nothing at all for an empty list.
        QCOMPARE(allExtensions(), allBefore + expected);
        QStringList expectedFilters = filtersBefore;
        for (const QString &extension : expected)
            expectedFilters.append(QLatin1String("*.") + extension);
        QCOMPARE(allExtensionFilters(), expectedFilters);
    }

    void nullStringsAreEmpty()
    {
        const QStringList allBefore = allExtensions();
        const int fif = registerFormat("PVNULLS", QByteArray());
        QVERIFY(fif >= 0);
        QVERIFY(FreeImage_GetFIFExtensionList(FREE_IMAGE_FORMAT(fif)) == nullptr);

        QCOMPARE(formatName(fif), QStringLiteral("PVNULLS"));
        QVERIFY(formatDescription(fif).isEmpty());
        QVERIFY(extensionListString(fif).isEmpty());
        QVERIFY(extensionsOfFormat(fif).isEmpty());
        QCOMPARE(allExtensions(), allBefore);
    }

    void namesDecodedAsLatin1()
    {
        const int fif = registerFormat("PV\xc4", "pva", "Gr\xfc\xdf\x65");
        QVERIFY(fif >= 0);
        QCOMPARE(formatName(fif), QStringLiteral("PV\u00c4"));
        QCOMPARE(formatDescription(fif), QStringLiteral("Gr\u00fc\u00dfe"));
    }

    void laterRegistrationSeen()
    {
        const int count = formatCount();
        const QStringList allBefore = allExtensions();
        QVERIFY(extensionsOfFormat(count).isEmpty());
        QVERIFY(formatName(count).isEmpty());

        QCOMPARE(registerFormat("PVLATER", "late,later", "Registered late"), count);

        QCOMPARE(formatCount(), count + 1);
        QCOMPARE(formatName(count), QStringLiteral("PVLATER"));
        QCOMPARE(formatDescription(count), QStringLiteral("Registered late"));
        QCOMPARE(extensionsOfFormat(count), (QStringList{"late", "later"}));
        QCOMPARE(allExtensions(), allBefore + QStringList({"late", "later"}));
    }
};

QTEST_GUILESS_MAIN(TestLocalPlugins)
#include "tst_localplugins.moc"
