#include "formatcatalogue.h"

#include <QtTest>

// Qt 6 registers the type for QFETCH by itself; Qt 5 has to be told.
Q_DECLARE_METATYPE(FormatSelection)

namespace {

QBitArray bits(const char *pattern)
{
    const int size = int(qstrlen(pattern));
    QBitArray result(size);
    for (int i = 0; i < size; ++i)
        result.setBit(i, pattern[i] == '1');
    return result;
}

QStringList words(const char *list)
{
    return QString::fromLatin1(list).split(QLatin1Char(','));
}

} // namespace

class TestFormatCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formatTable_data()
    {
        QTest::addColumn<int>("fif");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("list");

        QTest::newRow("BMP") << 0 << "BMP" << QStringLiteral("bmp");
        QTest::newRow("JPEG") << 2 << "JPEG" << QStringLiteral("jpg,jif,jpeg,jpe");
        QTest::newRow("IFF") << 5 << "IFF" << QStringLiteral("iff,lbm");
        QTest::newRow("SGI") << 28 << "SGI" << QStringLiteral("sgi,rgb,rgba,bw");
        QTest::newRow("PICT") << 33 << "PICT" << QStringLiteral("pct,pict,pic");
        QTest::newRow("JPEG-XR, the last") << 36 << "JPEG-XR" << QStringLiteral("jxr,wdp,hdp");
    }

    void formatTable()
    {
        QFETCH(int, fif);
        QFETCH(QString, name);
        QFETCH(QString, list);

        QCOMPARE(formatCount(), 37);
        QCOMPARE(formatName(fif), name);
        QCOMPARE(extensionListString(fif), list);
        QCOMPARE(extensionsOfFormat(fif), list.split(QLatin1Char(',')));
    }

    void rawCameraExtensions()
    {
        const QStringList raw = extensionsOfFormat(34);
        QCOMPARE(formatName(34), QStringLiteral("RAW"));
        QCOMPARE(raw.size(), 43);
        QCOMPARE(raw.first(), QStringLiteral("3fr"));
        QCOMPARE(raw.last(), QStringLiteral("x3f"));
        QCOMPARE(formatDescription(2), QStringLiteral("JPEG - JFIF Compliant"));
    }

    void unknownFormatIsEmpty()
    {
        // FreeImage answers null for these, which must not turn into a crash or
        // into a one-element list.
        for (int fif : {-1, formatCount(), 1000}) {
            QVERIFY(formatName(fif).isEmpty());
            QVERIFY(formatDescription(fif).isEmpty());
            QVERIFY(extensionListString(fif).isEmpty());
            QVERIFY(extensionsOfFormat(fif).isEmpty());
        }
    }

    void sharedExtensionsKeptPerFormat()
    {
        const QStringList all = allExtensions();
        for (const char *shared : {"pbm", "pgm", "ppm"})
            QCOMPARE(all.count(QLatin1String(shared)), 2);

        QCOMPARE(extensionsOfFormat(7), QStringList{QStringLiteral("pbm")});
        QCOMPARE(extensionsOfFormat(8), QStringList{QStringLiteral("pbm")});
        QCOMPARE(extensionsOfFormat(11), extensionsOfFormat(12));
        QCOMPARE(extensionsOfFormat(14), extensionsOfFormat(15));
    }

    void allExtensionsInFormatOrder()
    {
        const QStringList all = allExtensions();
        QCOMPARE(all.size(), 96);
        QCOMPARE(all.mid(0, 7), words("bmp,ico,jpg,jif,jpeg,jpe,jng"));
        QCOMPARE(all.mid(10, 5), words("mng,pbm,pbm,pcd,pcx"));
        QCOMPARE(all.mid(all.size() - 4), words("webp,jxr,wdp,hdp"));
    }

    void filtersMatchExtensions()
    {
        const QStringList extensions = allExtensions();
        const QStringList filters = allExtensionFilters();
        QCOMPARE(filters.size(), extensions.size());
        for (int i = 0; i < filters.size(); ++i) {
            QCOMPARE(filters.at(i).size(), extensions.at(i).size() + 2);
            QVERIFY(filters.at(i).startsWith(QLatin1String("*.")));
            QCOMPARE(filters.at(i).mid(2), extensions.at(i));
        }
    }

    void flattenSelection_data()
    {
        QTest::addColumn<SelectionList>("list");
        QTest::addColumn<QBitArray>("expected");

        QTest::newRow("empty list") << SelectionList{} << QBitArray();
        QTest::newRow("two formats")
            << SelectionList{{0, bits("10")}, {2, bits("011")}} << bits("10011");
        QTest::newRow("format without extensions")
            << SelectionList{{0, bits("1")}, {1, QBitArray()}, {2, bits("01")}} << bits("101");
        QTest::newRow("only a format without extensions")
            << SelectionList{{4, QBitArray()}} << QBitArray();
    }

    void flattenSelection()
    {
        QFETCH(SelectionList, list);
        QFETCH(QBitArray, expected);

        const QBitArray flat = ::flattenSelection(list);
        QCOMPARE(flat.size(), expected.size());
        QCOMPARE(flat, expected);
    }

    void compareSelections_data()
    {
        QTest::addColumn<QBitArray>("a");
        QTest::addColumn<QBitArray>("b");
        QTest::addColumn<int>("expected");

        QTest::newRow("both empty") << QBitArray() << QBitArray() << 0;
        QTest::newRow("equal") << bits("101") << bits("101") << 0;
        QTest::newRow("a has an extra bit") << bits("101") << bits("100") << -1;
        QTest::newRow("b has an extra bit") << bits("100") << bits("101") << 1;
        QTest::newRow("lowest difference decides, a first") << bits("10") << bits("01") << -1;
        QTest::newRow("lowest difference decides, b first") << bits("01") << bits("10") << 1;
        QTest::newRow("a shorter, though its bits match") << bits("10") << bits("100") << -1;
        QTest::newRow("a longer, extra bits ignored") << bits("1001") << bits("100") << 0;
        QTest::newRow("b empty") << bits("11") << QBitArray() << 0;
    }

    void compareSelections()
    {
        QFETCH(QBitArray, a);
        QFETCH(QBitArray, b);
        QFETCH(int, expected);

        QCOMPARE(::compareSelections(a, b), expected);
    }
};

QTEST_GUILESS_MAIN(TestFormatCatalogue)
#include "tst_formatcatalogue.moc"
