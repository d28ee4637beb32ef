// Stands in for libfreeimage with a format table that has no formats at all.
// Asking about a format anyway gets an answer that is not empty, so a loop that
// runs past the count shows up in the results.

#include <FreeImage.h>

int DLL_CALLCONV FreeImage_GetFIFCount(void)
{
    return 0;
}

const char *DLL_CALLCONV FreeImage_GetFIFExtensionList(FREE_IMAGE_FORMAT)
{
    return "stray";
}

const char *DLL_CALLCONV FreeImage_GetFormatFromFIF(FREE_IMAGE_FORMAT)
{
    return "STRAY";
}

const char *DLL_CALLCONV FreeImage_GetFIFDescription(FREE_IMAGE_FORMAT)
{
    return "Stray";
}
