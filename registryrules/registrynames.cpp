#include "registrynames.h"

namespace {

// A leading U+FEFF or U+FFFE is what readers of UTF-16 take for a
// byte-order mark, the toolkit's among them: one drops the first and the
// other reads every unit after it byte-swapped, so that such a name would
// come back as another.
bool storableName(QStringView name)
{
    return name.isValidUtf16() && !name.startsWith(QChar(0xFEFF)) &&
           !name.startsWith(QChar(0xFFFE)) && !name.contains(QChar(0));
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
