#pragma once

#include <FreeImage.h>

// A FreeImage format's id by its name, as the tests speak of formats.
inline int fifOf(const char *name)
{
    return int(FreeImage_GetFIFFromFormat(name));
}
