#include "registrynames.h"

namespace {

// SQLite keeps names as UTF-8 and takes a leading U+FEFF of UTF-16 text for
// a byte-order mark: such a name would come back as another.
bool storableName(QStringView name)
{
    return name.isValidUtf16() && !name.startsWith(QChar(0xFEFF)) && !name.contains(QChar(0));
}

} // namespace

bool isValidKeyName(QStringView name)
{
    return !name.isEmpty() && name.size() <= maxKeyNameLength && !name.contains(u'\\') &&
           storableName(name);
}

bool isWritableName(QStringView name)
{
    return !name.contains(u'\n') && !name.contains(u'\r');
}

bool isValidValueName(QStringView name)
{
    return name.size() <= maxValueNameLength && storableName(name);
}
