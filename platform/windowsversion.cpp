#include "windowsversion.h"

#include <iterator>

int winVersionFromNt(int major, int minor)
{
    // The first release of each NT version stands for it: the ones after it
    // are told apart by build alone. The first of a major stands for a minor
    // below it too, so that whatever the minor, the major decides.
    const WindowsRelease *found = nullptr;
    for (const WindowsRelease &r : windowsReleases) {
        if (r.ntMajor > major)
            return (found ? *found : r).winVersion;
        if (r.ntMajor == major && (!found || (r.ntMinor <= minor && r.ntMinor > found->ntMinor)))
            found = &r;
    }
    return (found ? *found : std::end(windowsReleases)[-1]).winVersion;
}
