// Prints FreeImage's format table, one format a line: id, name, description,
// extension list, and whether it reads and writes. The Linux and the Windows
// builds of FreeImage must print the same table, since the selector offers
// exactly these formats on both.
#include <FreeImage.h>

#include <cstdio>

int main()
{
    const int count = FreeImage_GetFIFCount();
    for (int i = 0; i < count; ++i) {
        const auto fif = FREE_IMAGE_FORMAT(i);
        std::printf("%d\t%s\t%s\t%s\t%c%c\n", i, FreeImage_GetFormatFromFIF(fif),
                    FreeImage_GetFIFDescription(fif), FreeImage_GetFIFExtensionList(fif),
                    FreeImage_FIFSupportsReading(fif) ? 'r' : '-',
                    FreeImage_FIFSupportsWriting(fif) ? 'w' : '-');
    }
    std::printf("%d formats\n", count);
    return count > 0 ? 0 : 1;
}
