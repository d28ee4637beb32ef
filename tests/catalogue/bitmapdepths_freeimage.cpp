// Stands in for libfreeimage with a bitmap whose type and depth the test sets
// freely: the real library turns any depth it does not support into 8 bits.

#include "bitmapdepths_freeimage.h"

FREE_IMAGE_TYPE fakeImageType = FIT_BITMAP;
unsigned fakeBpp = 8;

FREE_IMAGE_TYPE DLL_CALLCONV FreeImage_GetImageType(FIBITMAP *)
{
    return fakeImageType;
}

unsigned DLL_CALLCONV FreeImage_GetBPP(FIBITMAP *)
{
    return fakeBpp;
}

unsigned DLL_CALLCONV FreeImage_GetRedMask(FIBITMAP *)
{
    return FI16_555_RED_MASK;
}

unsigned DLL_CALLCONV FreeImage_GetGreenMask(FIBITMAP *)
{
    return FI16_555_GREEN_MASK;
}

unsigned DLL_CALLCONV FreeImage_GetBlueMask(FIBITMAP *)
{
    return FI16_555_BLUE_MASK;
}

unsigned DLL_CALLCONV FreeImage_GetColorsUsed(FIBITMAP *)
{
    return 0;
}

RGBQUAD *DLL_CALLCONV FreeImage_GetPalette(FIBITMAP *)
{
    return nullptr;
}
