#include "bitmapdepths_freeimage.h"
#include "bitmaptypes.h"
#include "messagecapture.h"

#include <QtTest>

class TestBitmapDepths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void invalidQuietly_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<unsigned>("bpp");

        QTest::newRow("2 bits") << int(FIT_BITMAP) << 2u;
        QTest::newRow("no bits") << int(FIT_BITMAP) << 0u;
        QTest::newRow("48 bits") << int(FIT_BITMAP) << 48u;
        QTest::newRow("4 bits of another type") << int(FIT_UINT16) << 4u;
    }

    void invalidQuietly()
    {
        QFETCH(int, type);
        QFETCH(unsigned, bpp);
        fakeImageType = FREE_IMAGE_TYPE(type);
        fakeBpp = bpp;

        // Never dereferenced: the stand-in ignores which bitmap it is asked about.
        FIBITMAP bitmap{nullptr};
        MessageCapture capture;
        QCOMPARE(imageFormatForBitmap(&bitmap), QImage::Format_Invalid);
        QCOMPARE(capture.messages().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBitmapDepths)
#include "tst_bitmapdepths.moc"
