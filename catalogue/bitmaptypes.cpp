#include "bitmaptypes.h"

#include <QDebug>
#include <QList>

#include <FreeImage.h>

QImage::Format imageFormatForBitmap(FIBITMAP *bitmap)
{
    // Only standard bitmaps have a QImage twin; the other types (16-bit grey,
    // float, complex...) can have a bit depth that looks like one of ours.
    if (FreeImage_GetImageType(bitmap) != FIT_BITMAP)
        return QImage::Format_Invalid;

    switch (FreeImage_GetBPP(bitmap)) {
    case 1:
        return QImage::Format_Mono;
    case 4:
        qDebug("4bits - unsupported");
        return QImage::Format_Invalid;
    case 8:
        return QImage::Format_Indexed8;
    case 16:
        if (FreeImage_GetRedMask(bitmap) == FI16_555_RED_MASK &&
            FreeImage_GetGreenMask(bitmap) == FI16_555_GREEN_MASK &&
            FreeImage_GetBlueMask(bitmap) == FI16_555_BLUE_MASK)
            return QImage::Format_RGB555;
        return QImage::Format_RGB16;
    case 24:
        return QImage::Format_RGB888;
    case 32:
        return QImage::Format_ARGB32;
    default:
        return QImage::Format_Invalid;
    }
}

void copyPaletteToImage(FIBITMAP *bitmap, QImage &image)
{
    const unsigned count = FreeImage_GetColorsUsed(bitmap);
    // QVector, which is what setColorTable takes in Qt 5 and QList's other name in Qt 6.
    QVector<QRgb> table(count, 0);
    const RGBQUAD *palette = FreeImage_GetPalette(bitmap);
    if (palette) {
        // RGBQUAD's field names follow the build's colour order, so the bytes
        // are read where they lie: the first is taken as red on every build.
        const auto *bytes = reinterpret_cast<const uchar *>(palette);
        for (unsigned i = 0; i < count; ++i) {
            const uchar *entry = bytes + i * sizeof(RGBQUAD);
            table[i] =
                0xFF000000u | (QRgb(entry[0]) << 16) | (QRgb(entry[1]) << 8) | QRgb(entry[2]);
        }
    }
    image.setColorTable(table);
}
