#include "bitmaptypes.h"
#include "messagecapture.h"

#include <QtTest>

#include <FreeImage.h>

#include <memory>

namespace {

struct Unload
{
    void operator()(FIBITMAP *bitmap) const { FreeImage_Unload(bitmap); }
};
using Bitmap = std::unique_ptr<FIBITMAP, Unload>;

Bitmap allocate(int type, int bpp, unsigned red = 0, unsigned green = 0, unsigned blue = 0)
{
    return Bitmap(FreeImage_AllocateT(FREE_IMAGE_TYPE(type), 4, 4, bpp, red, green, blue));
}

uchar *paletteBytes(FIBITMAP *bitmap)
{
    return reinterpret_cast<uchar *>(FreeImage_GetPalette(bitmap));
}

void setPaletteEntry(FIBITMAP *bitmap, unsigned index, uchar b0, uchar b1, uchar b2, uchar b3)
{
    uchar *entry = paletteBytes(bitmap) + index * sizeof(RGBQUAD);
    entry[0] = b0;
    entry[1] = b1;
    entry[2] = b2;
    entry[3] = b3;
}

QImage indexedWithTable(int colours)
{
    QImage image(4, 4, QImage::Format_Indexed8);
    image.setColorTable(QVector<QRgb>(colours, qRgb(0x11, 0x22, 0x33)));
    return image;
}

using Entries = QMap<int, uint>;

} // namespace

class TestBitmapTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void imageFormat_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("bpp");
        QTest::addColumn<uint>("red");
        QTest::addColumn<uint>("green");
        QTest::addColumn<uint>("blue");
        QTest::addColumn<QImage::Format>("expected");

        // Types whose depth would map to a QImage format if only the depth counted.
        QTest::newRow("16-bit grey with 555 masks")
            << int(FIT_UINT16) << 16 << 0x7C00u << 0x03E0u << 0x001Fu << QImage::Format_Invalid;
        QTest::newRow("32-bit float")
            << int(FIT_FLOAT) << 32 << 0u << 0u << 0u << QImage::Format_Invalid;

        QTest::newRow("1 bit") << int(FIT_BITMAP) << 1 << 0u << 0u << 0u << QImage::Format_Mono;
        QTest::newRow("8 bits") << int(FIT_BITMAP) << 8 << 0u << 0u << 0u
                                << QImage::Format_Indexed8;
        QTest::newRow("16 bits 555")
            << int(FIT_BITMAP) << 16 << 0x7C00u << 0x03E0u << 0x001Fu << QImage::Format_RGB555;
        QTest::newRow("16 bits 565")
            << int(FIT_BITMAP) << 16 << 0xF800u << 0x07E0u << 0x001Fu << QImage::Format_RGB16;
        QTest::newRow("16 bits, 555 but red")
            << int(FIT_BITMAP) << 16 << 0xF800u << 0x03E0u << 0x001Fu << QImage::Format_RGB16;
        QTest::newRow("16 bits, 555 but green")
            << int(FIT_BITMAP) << 16 << 0x7C00u << 0x07E0u << 0x001Fu << QImage::Format_RGB16;
        QTest::newRow("16 bits, 555 but blue")
            << int(FIT_BITMAP) << 16 << 0x7C00u << 0x03E0u << 0x003Eu << QImage::Format_RGB16;
        QTest::newRow("16 bits without masks")
            << int(FIT_BITMAP) << 16 << 0u << 0u << 0u << QImage::Format_RGB16;
        QTest::newRow("24 bits") << int(FIT_BITMAP) << 24 << 0u << 0u << 0u
                                 << QImage::Format_RGB888;
        QTest::newRow("32 bits") << int(FIT_BITMAP) << 32 << 0u << 0u << 0u
                                 << QImage::Format_ARGB32;
    }

    void imageFormat()
    {
        QFETCH(int, type);
        QFETCH(int, bpp);
        QFETCH(uint, red);
        QFETCH(uint, green);
        QFETCH(uint, blue);
        QFETCH(QImage::Format, expected);

        const Bitmap bitmap = allocate(type, bpp, red, green, blue);
        QVERIFY(bitmap);
        QCOMPARE(int(FreeImage_GetBPP(bitmap.get())), bpp);

        MessageCapture capture;
        QCOMPARE(imageFormatForBitmap(bitmap.get()), expected);
        QCOMPARE(capture.messages().size(), 0);
    }

    void fourBitsReported()
    {
        const Bitmap bitmap = allocate(FIT_BITMAP, 4);
        QVERIFY(bitmap);

        MessageCapture capture;
        QCOMPARE(imageFormatForBitmap(bitmap.get()), QImage::Format_Invalid);
        QCOMPARE(capture.messages().size(), 1);
        QCOMPARE(capture.messages().first().type, QtDebugMsg);
        QCOMPARE(capture.messages().first().text, QStringLiteral("4bits - unsupported"));
    }

    // A 32-bit bitmap whose every pixel is opaque, as a converted 24-bit one
    // is, still names the format with alpha: the choice goes by depth alone.
    void opaqueThirtyTwoBitsKeepAlpha()
    {
        const Bitmap rgb = allocate(FIT_BITMAP, 24);
        QVERIFY(rgb);
        const Bitmap opaque(FreeImage_ConvertTo32Bits(rgb.get()));
        QVERIFY(opaque);
        QCOMPARE(int(FreeImage_GetBPP(opaque.get())), 32);
        for (unsigned y = 0; y < FreeImage_GetHeight(opaque.get()); ++y) {
            const BYTE *row = FreeImage_GetScanLine(opaque.get(), int(y));
            for (unsigned x = 0; x < FreeImage_GetWidth(opaque.get()); ++x)
                QCOMPARE(int(row[4 * x + FI_RGBA_ALPHA]), 0xFF);
        }
        FreeImage_SetTransparent(opaque.get(), FALSE);
        QVERIFY(!FreeImage_IsTransparent(opaque.get()));
        QCOMPARE(imageFormatForBitmap(opaque.get()), QImage::Format_ARGB32);
    }

    void paletteReplacesTable_data()
    {
        QTest::addColumn<int>("bpp");
        QTest::addColumn<int>("tableBefore");
        QTest::addColumn<Entries>("written");
        QTest::addColumn<int>("colours");
        QTest::addColumn<Entries>("expected");

        QTest::newRow("bytes in memory order")
            << 8 << 0 << Entries{{0, 0x10203040}, {255, 0x01020300}} << 256
            << Entries{{0, 0xFF102030}, {255, 0xFF010203}};
        QTest::newRow("a smaller palette replaces the table")
            << 1 << 256 << Entries{{0, 0xAABBCC00}, {1, 0x000000FF}} << 2
            << Entries{{0, 0xFFAABBCC}, {1, 0xFF000000}};
        QTest::newRow("no palette empties the table") << 24 << 16 << Entries{} << 0 << Entries{};
    }

    void paletteReplacesTable()
    {
        QFETCH(int, bpp);
        QFETCH(int, tableBefore);
        QFETCH(Entries, written);
        QFETCH(int, colours);
        QFETCH(Entries, expected);

        const Bitmap bitmap = allocate(FIT_BITMAP, bpp);
        QVERIFY(bitmap);
        QCOMPARE(int(FreeImage_GetColorsUsed(bitmap.get())), colours);
        for (auto it = written.cbegin(); it != written.cend(); ++it)
            setPaletteEntry(bitmap.get(), unsigned(it.key()), uchar(it.value() >> 24),
                            uchar(it.value() >> 16), uchar(it.value() >> 8), uchar(it.value()));

        QImage image = indexedWithTable(tableBefore);
        copyPaletteToImage(bitmap.get(), image);
        QCOMPARE(image.colorCount(), colours);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(image.color(it.key()), QRgb(it.value()));
    }
};

// Palette entries by index: written as their four bytes in memory order,
// read back as the colour the image's table holds.
QTEST_GUILESS_MAIN(TestBitmapTypes)
#include "tst_bitmaptypes.moc"
