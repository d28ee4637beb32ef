#include "shellnotify.h"

#include <shlobj.h>

static_assert(associationsChangedEvent == SHCNE_ASSOCCHANGED);

void notifyAssociationsChanged()
{
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
