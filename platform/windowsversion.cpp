#include "windowsversion.h"

int winVersionFromNt(int major, int minor)
{
    // NT 10.0 is Windows 10 and 11; whatever comes after 6 is at least that.
    if (major > 6)
        return 0xc0;
    if (major == 6)
        return minor <= 0 ? 0x80 : minor == 1 ? 0x90 : minor == 2 ? 0xa0 : 0xb0;
    if (major == 5)
        return minor <= 0 ? 0x20 : minor == 1 ? 0x30 : 0x40;
    return 0x10; // NT 4 and older
}
