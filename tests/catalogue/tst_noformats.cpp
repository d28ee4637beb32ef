#include "formatcatalogue.h"

#include <QtTest>

class TestNoFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nothingListed();
};

void TestNoFormats::nothingListed()
{
    QCOMPARE(formatCount(), 0);
    QCOMPARE(allExtensions(), QStringList());
    QCOMPARE(allExtensionFilters(), QStringList());
}

QTEST_GUILESS_MAIN(TestNoFormats)
#include "tst_noformats.moc"
