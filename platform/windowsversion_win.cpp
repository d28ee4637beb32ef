#include "windowsversion.h"

#include <QOperatingSystemVersion>

int windowsVersion()
{
    const QOperatingSystemVersion v = QOperatingSystemVersion::current();
    return winVersionFromNt(v.majorVersion(), v.minorVersion());
}
