#pragma once

#include <FreeImage.h>

// What the stand-in's FreeImage_GetImageType and FreeImage_GetBPP answer for
// any bitmap.
extern FREE_IMAGE_TYPE fakeImageType;
extern unsigned fakeBpp;
