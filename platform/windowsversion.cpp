#include "windowsversion.h"

int winVersionFromNt(int major, int minor)
{
    if (major >= 10)
        return 0xc0;
    if (major == 6)
        return minor <= 0 ? 0x80 : minor == 1 ? 0x90 : minor == 2 ? 0xa0 : 0xb0;
    if (major == 5)
        return minor <= 0 ? 0x20 : minor == 1 ? 0x30 : 0x40;
    if (major > 6)
        return 0xc0;
    return 0x10; // NT 4 and older
}
