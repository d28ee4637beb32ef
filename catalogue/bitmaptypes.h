#pragma once

#include "engineexport.h"

#include <QImage>

struct FIBITMAP;

// The QImage format that holds a FreeImage bitmap's pixels unconverted, or
// Format_Invalid when there is none.
PELLVARIN_ENGINE_EXPORT QImage::Format imageFormatForBitmap(FIBITMAP *bitmap);

// Replaces the image's colour table with the bitmap's palette; a bitmap
// without a palette leaves the image with an empty table.
PELLVARIN_ENGINE_EXPORT void copyPaletteToImage(FIBITMAP *bitmap, QImage &image);
