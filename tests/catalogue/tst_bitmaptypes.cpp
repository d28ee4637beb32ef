#include "bitmaptypes.h"
#include "messagecapture.h"

#include <QtEndian>
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

// Palette entries by index: written as their four bytes in memory order,
// read back as the colour the image's table holds.
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
        // What it says at debug level; nothing at all at any other.
        QTest::addColumn<QStringList>("debug");
        const auto row = [](const char *name, FREE_IMAGE_TYPE type, int bpp, uint red, uint green,
                            uint blue, QImage::Format expected, const QStringList &debug = {}) {
            QTest::newRow(name) << int(type) << bpp << red << green << blue << expected << debug;
        };

        // Types whose depth would map to a QImage format if only the depth counted.
        row("16-bit grey with 555 masks", FIT_UINT16, 16, 0x7C00, 0x03E0, 0x001F,
            QImage::Format_Invalid);
        row("32-bit float", FIT_FLOAT, 32, 0, 0, 0, QImage::Format_Invalid);

        row("1 bit", FIT_BITMAP, 1, 0, 0, 0, QImage::Format_Mono);
        row("4 bits, reported", FIT_BITMAP, 4, 0, 0, 0, QImage::Format_Invalid,
            {QStringLiteral("4bits - unsupported")});
        row("8 bits", FIT_BITMAP, 8, 0, 0, 0, QImage::Format_Indexed8);
        row("16 bits 555", FIT_BITMAP, 16, 0x7C00, 0x03E0, 0x001F, QImage::Format_RGB555);
        row("16 bits 565", FIT_BITMAP, 16, 0xF800, 0x07E0, 0x001F, QImage::Format_RGB16);
        row("16 bits, 555 but red", FIT_BITMAP, 16, 0xF800, 0x03E0, 0x001F, QImage::Format_RGB16);
        row("16 bits, 555 but green", FIT_BITMAP, 16, 0x7C00, 0x07E0, 0x001F, QImage::Format_RGB16);
        row("16 bits, 555 but blue", FIT_BITMAP, 16, 0x7C00, 0x03E0, 0x003E, QImage::Format_RGB16);
        row("16 bits without masks", FIT_BITMAP, 16, 0, 0, 0, QImage::Format_RGB16);
        row("24 bits", FIT_BITMAP, 24, 0, 0, 0, QImage::Format_RGB888);
        row("32 bits", FIT_BITMAP, 32, 0, 0, 0, QImage::Format_ARGB32);
    }

    void imageFormat()
    {
        QFETCH(int, type);
        QFETCH(int, bpp);
        QFETCH(uint, red);
        QFETCH(uint, green);
        QFETCH(uint, blue);
        QFETCH(QImage::Format, expected);
        QFETCH(QStringList, debug);

        const Bitmap bitmap = allocate(type, bpp, red, green, blue);
        QVERIFY(bitmap);
        QCOMPARE(int(FreeImage_GetBPP(bitmap.get())), bpp);

        MessageCapture capture;
        QCOMPARE(imageFormatForBitmap(bitmap.get()), expected);
        QCOMPARE(capture.texts(), debug);
        for (const MessageCapture::Message &message : capture.messages())
            QCOMPARE(message.type, QtDebugMsg);
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
        auto *palette = reinterpret_cast<uchar *>(FreeImage_GetPalette(bitmap.get()));
        // The highest byte of each entry written first.
        for (auto it = written.cbegin(); it != written.cend(); ++it)
            qToBigEndian(quint32(it.value()), palette + sizeof(RGBQUAD) * unsigned(it.key()));

        QImage image(4, 4, QImage::Format_Indexed8);
        image.setColorTable(QVector<QRgb>(tableBefore, qRgb(0x11, 0x22, 0x33)));
        copyPaletteToImage(bitmap.get(), image);
        QCOMPARE(image.colorCount(), colours);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(image.color(it.key()), QRgb(it.value()));
    }
};

QTEST_GUILESS_MAIN(TestBitmapTypes)
#include "tst_bitmaptypes.moc"
