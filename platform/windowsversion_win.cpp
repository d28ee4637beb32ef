#include "windowsversion.h"

#include <QOperatingSystemVersion>

int windowsVersion()
{
    const QOperatingSystemVersion v = QOperatingSystemVersion::current();
    return winVersionFromNt(v.majorVersion(), v.minorVersion());
}

int windowsBuild()
{
    // RtlGetVersion's answer, which no compatibility shim lowers.
    return qMax(0, QOperatingSystemVersion::current().microVersion());
}
