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

bool registryTakesKeyName(QStringView name)
{
    return !name.isEmpty() && name.size() <= maxKeyNameLength && !name.contains(u'\\') &&
           storableName(name);
}

bool hasNoLineBreak(QStringView name)
{
    return !name.contains(u'\n') && !name.contains(u'\r');
}

bool fitsOnARegLine(QStringView text)
{
    return hasNoLineBreak(text) && !text.contains(QChar(0));
}

bool regFileCarries(QStringView text)
{
    return fitsOnARegLine(text) && text.isValidUtf16();
}

bool namesOneSettingsEntry(QStringView name, qsizetype limit)
{
    return !name.isEmpty() && name.size() <= limit && !name.contains(u'/') &&
           !name.contains(u'\\') && fitsOnARegLine(name);
}

bool registryTakesValueName(QStringView name)
{
    return name.size() <= maxValueNameLength && storableName(name);
}
